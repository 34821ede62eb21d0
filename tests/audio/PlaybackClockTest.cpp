#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "audio/PlaybackClock.h"

namespace {

// One counter tick per frame, so that times and frames read alike.
constexpr ClockRate kPace{44100.0, 44100.0};
constexpr uint64_t kBuffer = 512;

// The clock as the device and the main thread drive it: callbacks hand
// buffers at given ticks, the reader asks what is heard.
struct Clock {
    PlaybackClock clock;
    uint64_t reported = 0;

    explicit Clock(uint64_t position = 0) { clockSeek(clock, position, &reported); }

    // A callback at `now` handing `frames` frames.
    void Hand(uint64_t now, uint64_t frames = kBuffer)
    {
        uint64_t before = clock.handed;
        clock.handed += frames;
        clock.cursor += frames;
        clockSteer(clock, now, before, kPace);
        clockDropPassedMarks(clock);
    }
    uint64_t Heard(uint64_t now) { return clockHeard(clock, true, now, &reported); }
    uint64_t Position(uint64_t now) { return clockPositionAt(clock, Heard(now)); }
};

// The output starves for a while, then callbacks come again: what is heard
// stops at what was handed, and after the gap goes on from there, never
// skipping ahead to where an unbroken clock would be nor going back.
struct Underrun {
    const char* name;
    uint64_t gap;         // ticks without a callback after the first buffer ends
    uint64_t heardAfter;  // heard 100 ticks after the late callback
};

class PlaybackClockUnderrun : public ::testing::TestWithParam<Underrun> {};

TEST_P(PlaybackClockUnderrun, HeardHoldsAtWhatWasHandedAndGoesOnFromThere)
{
    const Underrun& u = GetParam();
    Clock c;
    c.Hand(1000);
    EXPECT_EQ(c.Heard(1000), 0u);
    EXPECT_EQ(c.Heard(1256), 256u);
    EXPECT_EQ(c.Heard(1512), kBuffer);
    const uint64_t late = 1512 + u.gap;
    EXPECT_EQ(c.Heard(late), kBuffer) << "heard beyond the frames handed";
    c.Hand(late);
    EXPECT_EQ(c.Heard(late), kBuffer);
    EXPECT_EQ(c.Heard(late + 100), u.heardAfter);
    EXPECT_LE(c.Heard(late + 100 + 10 * kBuffer), 2 * kBuffer);
}

// A short gap slews the rate down by its limit (a tenth); a gap longer than a
// tenth of a second re-anchors at the nominal rate.
INSTANTIATE_TEST_SUITE_P(Gaps, PlaybackClockUnderrun,
                         ::testing::Values(Underrun{"Short", 2000, kBuffer + 90}, Underrun{"Long", 10000, kBuffer + 100}),
                         [](const ::testing::TestParamInfo<Underrun>& info) { return std::string(info.param.name); });

TEST(PlaybackClock, SeekWhilePlayingReadsTheTargetUntilTheNextCallbackThenGrowsFromIt)
{
    Clock c;
    for (uint64_t t = 0; t < 4; ++t) {
        c.Hand(1000 + t * kBuffer);
    }
    EXPECT_EQ(c.Position(1000 + 3 * kBuffer + 100), 3 * kBuffer + 100);

    clockSeek(c.clock, 20000, &c.reported);
    EXPECT_EQ(c.clock.cursor, 20000u);
    // Until the device takes the first frame from there, however long that takes.
    for (uint64_t now : {uint64_t{3200}, uint64_t{3700}, uint64_t{90000}}) {
        EXPECT_EQ(c.Position(now), 20000u) << "at tick " << now;
    }
    c.Hand(90000);
    EXPECT_EQ(c.Position(90000), 20000u);
    EXPECT_EQ(c.Position(90300), 20300u);
    EXPECT_EQ(c.Position(90000 + 4 * kBuffer), 20000u + kBuffer) << "beyond the frames handed";

    // A seek back behind what was heard reads the earlier target at once.
    clockSeek(c.clock, 100, &c.reported);
    EXPECT_EQ(c.Position(91000), 100u);
}

TEST(PlaybackClock, LoopWrapsWhenTheWrapIsHeardAndAClearedLoopRunsOn)
{
    // Loop [1000, 3000): the device is handed frames 0..2999, then 1000.. again.
    Clock c;
    c.Hand(0, 3000);
    EXPECT_EQ(c.Position(2999), 2999u);
    clockWrap(c.clock, 1000, 2000);
    EXPECT_EQ(c.clock.cursor, 1000u);
    EXPECT_EQ(c.Position(2999), 2999u) << "wrapped before the wrap was heard";
    c.Hand(3000, 2000);
    EXPECT_EQ(c.Position(3000), 1000u);
    EXPECT_EQ(c.Position(4999), 2999u);
    clockWrap(c.clock, 1000, 2000);
    c.Hand(5000, 500);
    EXPECT_EQ(c.Position(5000), 1000u);
    EXPECT_EQ(c.Position(5499), 1499u);
    // Later rounds of the same loop share the first wrap's mark.
    EXPECT_EQ(c.clock.markCount, 1);

    // Cleared after 500 frames of the third round: what follows runs on past
    // the old loop end instead of wrapping.
    clockLoopChanged(c.clock);
    c.Hand(5500, 3000);
    EXPECT_EQ(c.Position(6000), 2000u);
    EXPECT_EQ(c.Position(8000), 4000u);
}

TEST(PlaybackClock, WrapHandedAheadOfTheHeardPositionWaitsForIt)
{
    // The device runs 800 frames ahead of what is heard when the loop wraps.
    Clock c;
    c.Hand(0, 2800);
    c.Hand(2000, 200);
    clockWrap(c.clock, 1000, 2000);
    c.Hand(2100, kBuffer);
    uint64_t heard = c.Heard(2500);
    EXPECT_GT(heard, 2000u);
    EXPECT_LT(heard, 3000u);
    EXPECT_EQ(clockPositionAt(c.clock, heard), heard);
    EXPECT_EQ(clockPositionAt(c.clock, 3100), 1100u);
}

TEST(PlaybackClock, EndOfTheMusicOnlyOnceItsLastFrameIsHeard)
{
    Clock c;
    c.Hand(0);
    c.Hand(kBuffer);
    c.Hand(2 * kBuffer, 176);  // the last frames of a 1200-frame piece
    c.clock.drained = true;

    EXPECT_FALSE(clockFinished(c.clock, c.Heard(1199)));
    EXPECT_EQ(c.Position(1199), 1199u);
    EXPECT_TRUE(clockFinished(c.clock, c.Heard(1200)));
    EXPECT_EQ(c.Position(1200), 1200u);
    EXPECT_EQ(c.Position(100000), 1200u) << "a position past the end";

    // Not drained: the music goes on, whatever has been heard.
    c.clock.drained = false;
    EXPECT_FALSE(clockFinished(c.clock, c.Heard(100000)));
}

TEST(PlaybackClock, StoppedClockHoldsThePositionReported)
{
    Clock c;
    c.Hand(0);
    EXPECT_EQ(c.Heard(300), 300u);
    c.clock.running = false;
    EXPECT_EQ(c.Heard(400), 300u);
    EXPECT_EQ(clockHeard(c.clock, false, 500, &c.reported), 300u);
}

// The main thread reads whole copies while the audio thread stores them: every
// load must be one of the stores, never a mix of two.
TEST(PlaybackClock, PublishedCopyIsNeverTorn)
{
    PublishedClock published;
    auto clockFor = [](uint64_t i) {
        PlaybackClock c;
        c.handed = i;
        c.cursor = 3 * i;
        c.running = (i & 1) != 0;
        c.drained = (i & 2) != 0;
        c.ticks = 5 * i;
        c.frames = static_cast<double>(i) / 2;
        c.rate = static_cast<double>(i) + 0.25;
        c.markCount = 1 + static_cast<int>(i % kClockMarks);
        for (int k = 0; k < c.markCount; ++k) {
            c.marks[k] = ClockMark{i + k, 7 * i + k, i % 3};
        }
        return c;
    };
    published.Store(clockFor(0));
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> stores{0};
    std::thread writer([&] {
        for (uint64_t i = 1; !stop; ++i) {
            published.Store(clockFor(i));
            stores = i;
        }
    });
    // Both threads must have run side by side for a while for a tear to show.
    int torn = 0;
    uint64_t loads = 0;
    while (loads < 300000 || stores < 100000) {
        PlaybackClock got = published.Load();
        PlaybackClock want = clockFor(got.handed);
        bool same = got.cursor == want.cursor && got.running == want.running && got.drained == want.drained &&
                    got.ticks == want.ticks && got.frames == want.frames && got.rate == want.rate &&
                    got.markCount == want.markCount;
        for (int k = 0; same && k < got.markCount; ++k) {
            same = got.marks[k].at == want.marks[k].at && got.marks[k].position == want.marks[k].position &&
                   got.marks[k].period == want.marks[k].period;
        }
        torn += same ? 0 : 1;
        ++loads;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(torn, 0) << "of " << loads << " loads";
}

}  // namespace
