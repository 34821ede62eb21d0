// One frame from every section of the production, drawn with the committed
// tracks and read back: it must show glowing lines, not a black or washed-out
// screen, and draw without a GL error.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "scene/Production.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"
#include "sync/SyncDevice.h"

namespace {

const int kWidth = 960;
const int kHeight = 540;
const float kRowsPerSecond = 110.0f / 60.0f * 16.0f;

struct FrameStats {
    double lit = 0.0;    // share of pixels with a channel above 40
    double white = 0.0;  // share of pixels washed out to near white
    int brightest = 0;
};

FrameStats Measure(const std::vector<uint8_t>& rgba)
{
    FrameStats stats;
    size_t pixels = rgba.size() / 4;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = &rgba[i * 4];
        int top = std::max({p[0], p[1], p[2]});
        int bottom = std::min({p[0], p[1], p[2]});
        stats.brightest = std::max(stats.brightest, top);
        stats.lit += top > 40 ? 1 : 0;
        stats.white += bottom > 235 ? 1 : 0;
    }
    stats.lit /= pixels;
    stats.white /= pixels;
    return stats;
}

struct Moment {
    const char* section;
    int row;
};

class ChoreographyFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(engine.Init(kWidth, kHeight, 4));
        ASSERT_TRUE(engine.Get().GetScene().Init());
        PopulateScene(engine.Get().GetScene());
        live = true;
    }
    void TearDown() override
    {
        if (live) engine.Get().GetScene().Shutdown();
        engine.Shutdown();
    }

    FrameStats Draw(int row, const char* name)
    {
        engine.Get().GetSyncDevice().SetRow((float)row);
        engine.Get().GetScene().Render(row / kRowsPerSecond);
        std::vector<uint8_t> rgba = ReadWindowPixels(kWidth, kHeight);
        FrameStats stats = Measure(rgba);
        if (::testing::Test::HasFailure() || getenv("OSTREL_KEEP_FRAMES"))
            WritePNG(std::string(OSTREL_BINARY_DIR) + "/tests/choreography-" + name + ".png", kWidth, kHeight, rgba);
        return stats;
    }

    TempLayout layout;  // a copy of the built res/, with the committed tracks
    TestEngine engine;
    LogCapture log;
    bool live = false;
};

}  // namespace

TEST_F(ChoreographyFrames, EverySectionShowsGlowingLinesWithoutWashingOut)
{
    // Off the beat, where no flash is up.
    const Moment moments[] = {{"intro", 5 * 64 + 24},   {"build", 11 * 64 + 24},  {"main", 21 * 64 + 24},
                              {"break", 35 * 64 + 24},  {"rise", 42 * 64 + 24},   {"climax", 53 * 64 + 24},
                              {"outro", 66 * 64 + 24}};
    for (const Moment& moment : moments) {
        FrameStats stats = Draw(moment.row, moment.section);
        std::printf("%-7s lit %.3f white %.4f brightest %d\n", moment.section, stats.lit, stats.white, stats.brightest);
        EXPECT_GT(stats.lit, 0.01) << moment.section << " is (nearly) black";
        EXPECT_GT(stats.brightest, 120) << moment.section << " has no bright line";
        EXPECT_LT(stats.lit, 0.6) << moment.section << " has no dark background";
        EXPECT_LT(stats.white, 0.01) << moment.section << " is washed out";
    }
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(ChoreographyFrames, OpensAndClosesInBlack)
{
    const Moment moments[] = {{"start", 0}, {"end", 71 * 64 + 40}, {"after", 72 * 64 + 10}};
    for (const Moment& moment : moments) EXPECT_LE(Draw(moment.row, moment.section).brightest, 1) << moment.section;
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}
