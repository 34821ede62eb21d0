#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "audio/AudioDevice.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackStore.h"

namespace {

// A device reading ../res/sync/ of a fresh layout, clocked by an audio device
// at the production's tempo.
struct Device {
    TempLayout layout{false, true};
    AudioDevice audio;
    SyncDevice sync;

    Device()
    {
        audio.SetTempo(110.0f);
        EXPECT_TRUE(sync.Init(&audio));
    }
    ~Device() { sync.Destroy(); }
};

}  // namespace

// ---- Row clock -----------------------------------------------------------------

TEST(RowClock, FollowsTheMusicPositionAtTheTempo)
{
    Device d;
    EXPECT_EQ(d.sync.GetRow(), 0.0f);
    const struct {
        float tempo, seconds, row;
    } cases[] = {{110.0f, 0.0f, 0.0f},     {110.0f, 1.0f, 29.333334f}, {110.0f, 60.0f, 1760.0f},
                 {110.0f, 0.5f, 14.666667f}, {120.0f, 1.0f, 32.0f},      {0.0f, 10.0f, 0.0f}};
    for (const auto& c : cases) {
        d.audio.SetTempo(c.tempo);
        d.sync.UpdateAt(c.seconds);
        EXPECT_EQ(d.sync.GetRow(), c.row) << c.seconds << " s at " << c.tempo;
    }
}

TEST(RowClock, QueriesAnswerAtTheCurrentRow)
{
    Device d;
    ASSERT_TRUE(WriteTrack(d.layout, "FX.Fade", {{0, 0.0f, 1}, {1760, 1.0f, 0}}));
    d.sync.UpdateAt(30.0f);  // row 880, halfway
    EXPECT_FLOAT_EQ(d.sync.GetFloat("FX.Fade"), 0.5f);
    EXPECT_EQ(d.sync.GetFloat("FX.Fade"), d.sync.GetFloat("FX.Fade"));
    d.sync.SetRow(440.0f);
    EXPECT_FLOAT_EQ(d.sync.GetFloat("FX.Fade"), 0.25f);
    d.sync.UpdateAt(90.0f);
    EXPECT_EQ(d.sync.GetFloat("FX.Fade"), 1.0f);
}

TEST(SyncDevice, WithoutAudioInitFailsAndEverythingReadsZero)
{
    TempLayout layout(false);  // no track files: the build's own would answer otherwise
    SyncDevice sync;
    EXPECT_EQ(sync.GetFloat("Camera.X"), 0.0f);
    EXPECT_FALSE(sync.Init(nullptr));
    sync.UpdateAt(1.0f);
    EXPECT_EQ(sync.GetRow(), 0.0f);
    EXPECT_FALSE(sync.GetBool("Camera.X"));
    EXPECT_EQ(sync.GetInt("Camera.X"), 0);
    sync.Destroy();
}

TEST(SyncDevice, SwappedStoreAnswersAtTheSameRowAndTheOldOneIsHandedBack)
{
    Device d;
    ASSERT_TRUE(WriteTrack(d.layout, "FX.Fade", {{0, 0.0f, 1}, {1760, 1.0f, 0}}));
    ASSERT_TRUE(WriteConstantTrack(d.layout, "Camera.X", 3.0f));
    d.sync.UpdateAt(30.0f);  // row 880
    EXPECT_EQ(d.sync.GetFloat("FX.Fade"), 0.5f);

    SyncTrackStore* replacement = syncStoreCreate("/nonexistent/");
    const SyncKey keys[] = {{0, 10.0f, 1}, {1760, 20.0f, 0}};
    ASSERT_EQ(syncStoreAddTrack(replacement, "FX.Fade", keys, 2), 0);
    SyncTrackStore* previous = d.sync.SwapStore(replacement);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(d.sync.GetRow(), 880.0f);
    EXPECT_EQ(d.sync.GetFloat("FX.Fade"), 15.0f);
    EXPECT_EQ(d.sync.GetFloat("Camera.X"), 0.0f);  // nothing falls back to the old store's files
    EXPECT_EQ(syncTrackValue(syncStoreGetTrack(previous, "Camera.X"), 880.0), 3.0);
    syncStoreDestroy(previous);

    d.sync.SetRow(1760.0f);
    EXPECT_EQ(d.sync.GetFloat("FX.Fade"), 20.0f);
    EXPECT_EQ(d.sync.SwapStore(nullptr), replacement);
    EXPECT_EQ(d.sync.GetFloat("FX.Fade"), 0.0f);
    syncStoreDestroy(replacement);

    SyncDevice fresh;
    EXPECT_EQ(fresh.SwapStore(syncStoreCreate("")), nullptr);
    fresh.Destroy();
}

// ---- Conversions -----------------------------------------------------------------

struct Conversion {
    float value;
    bool asBool;
    int asInt;
};

class Conversions : public testing::TestWithParam<Conversion> {};

TEST_P(Conversions, BoolIsAboveZeroIntIsFloor)
{
    const Conversion& c = GetParam();
    Device d;
    ASSERT_TRUE(WriteConstantTrack(d.layout, "Camera.Mode", c.value));
    d.sync.SetRow(12.5f);
    EXPECT_EQ(d.sync.GetFloat("Camera.Mode"), c.value);
    EXPECT_EQ(d.sync.GetBool("Camera.Mode"), c.asBool) << c.value;
    EXPECT_EQ(d.sync.GetInt("Camera.Mode"), c.asInt) << c.value;
}

INSTANTIATE_TEST_SUITE_P(Values, Conversions,
                         testing::Values(Conversion{1.0f, true, 1}, Conversion{0.9999f, true, 0},
                                         Conversion{-0.5f, false, -1}, Conversion{0.0001f, true, 0},
                                         Conversion{0.0f, false, 0}, Conversion{-0.0f, false, 0},
                                         Conversion{2.999f, true, 2}, Conversion{-1.0f, false, -1},
                                         Conversion{3e9f, true, 2147483647},
                                         Conversion{-3e9f, false, -2147483647 - 1},
                                         Conversion{INFINITY, true, 2147483647}),
                         [](const testing::TestParamInfo<Conversion>& info) {
                             return "Value" + std::to_string(info.index);
                         });

TEST(Conversions, NaNReadsAsFalseAndZero)
{
    Device d;
    ASSERT_TRUE(WriteConstantTrack(d.layout, "Camera.Mode", NAN));
    EXPECT_FALSE(d.sync.GetBool("Camera.Mode"));
    EXPECT_EQ(d.sync.GetInt("Camera.Mode"), 0);
}

TEST(Conversions, MissingTrackReadsFalseZeroAndZeroWithoutALogLine)
{
    Device d;
    LogCapture log;
    d.sync.SetRow(100.0f);
    EXPECT_FALSE(d.sync.GetBool("Cube.Visible"));
    EXPECT_EQ(d.sync.GetFloat("Cube.Z"), 0.0f);
    EXPECT_EQ(d.sync.GetInt("Camera.Mode"), 0);
    EXPECT_EQ(d.sync.GetFloat("No.Such.Track"), 0.0f);
    EXPECT_TRUE(log.Lines().empty());
}
