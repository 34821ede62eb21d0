// The row clock every tool counts in: bar:beat:row text both ways, the start
// points the tools take, and the time a whole row is drawn at.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sync/Timeline.h"

namespace {

TEST(Timeline, PositionsRoundTripThroughTheirText)
{
    struct Known {
        int32_t row;
        const char* text;
    } known[] = {{0, "0:0:0"},       {15, "0:0:15"},   {16, "0:1:0"},   {63, "0:3:15"},
                 {64, "1:0:0"},      {152, "2:1:8"},   {1056, "16:2:0"}, {1088, "17:0:0"},
                 {INT32_MAX, "33554431:3:15"}, {-1, "-1"}, {-64, "-64"}, {INT32_MIN, "-2147483648"}};
    for (const Known& k : known) {
        EXPECT_EQ(formatBarBeatRow(k.row), k.text);
        int32_t row = 12345;
        std::string error;
        ASSERT_TRUE(parseBarBeatRow(k.text, &row, &error)) << k.text << ": " << error;
        EXPECT_EQ(row, k.row) << k.text;
    }
    // Every row of the song, and a spread up to the last, come back as written.
    for (int64_t r = -200; r <= INT32_MAX; r = r < 5000 ? r + 1 : r * 3 + 7) {
        int32_t row = 0;
        std::string error;
        ASSERT_TRUE(parseBarBeatRow(formatBarBeatRow((int32_t)r), &row, &error)) << r << ": " << error;
        ASSERT_EQ(row, r);
    }
    // The short forms.
    for (const Known& k : {Known{1056, "16:2"}, Known{480, "480"}, Known{480, "+480"}}) {
        int32_t row = 0;
        std::string error;
        ASSERT_TRUE(parseBarBeatRow(k.text, &row, &error)) << k.text;
        EXPECT_EQ(row, k.row) << k.text;
    }
}

TEST(Timeline, RefusesMalformedPositionsWithAReason)
{
    struct Bad {
        const char* text;
        const char* reason;
    } bad[] = {{"16:4", "past the bar's last beat"},  {"16:0:16", "past the beat's last row"},
               {"0:4:0", "past the bar's last beat"}, {"1:2:3:4", "more than bar:beat:row"},
               {"", "bad position"},                  {":", "bad position"},
               {"16:", "bad position"},               {"-1:0", "bad position"},
               {"1:+2", "bad position"},              {"1.5:0", "bad position"},
               {" 16", "bad position"},               {"0x10", "bad position"},
               {"9999999999999", "bad position"},     {"33554432:0:0", "out of range"},
               {"2147483648", "out of range"},        {"-2147483649", "out of range"},
               {"999999999999:3:15", "out of range"}};
    for (const Bad& b : bad) {
        int32_t row = 77;
        std::string error;
        EXPECT_FALSE(parseBarBeatRow(b.text, &row, &error)) << b.text;
        EXPECT_EQ(row, 77) << b.text;
        EXPECT_NE(error.find(b.reason), std::string::npos) << b.text << ": " << error;
        EXPECT_NE(error.find(std::string("'") + b.text + "'"), std::string::npos) << error;
    }
}

TEST(Timeline, ReadsEveryStartPointFormAndAgreesOnItsTime)
{
    const double rps = kProductionRowsPerSecond;
    struct Good {
        const char* text;
        TimeUnit unit;
        double value;
        double row;  // at 60 fps
    } good[] = {{"12.5s", TimeUnit::Seconds, 12.5, 12.5 * rps}, {"0s", TimeUnit::Seconds, 0.0, 0.0},
                {"480r", TimeUnit::Row, 480.0, 480.0},          {"480.5r", TimeUnit::Row, 480.5, 480.5},
                {"16b", TimeUnit::Bar, 16.0, 1024.0},           {"16:2", TimeUnit::Row, 1056.0, 1056.0},
                {"16:2:8", TimeUnit::Row, 1064.0, 1064.0},      {"0:0:0", TimeUnit::Row, 0.0, 0.0},
                {"600f", TimeUnit::Frame, 600.0, 10.0 * rps}};
    for (const Good& g : good) {
        TimePoint point;
        ASSERT_TRUE(parseTimePoint(g.text, &point)) << g.text;
        EXPECT_TRUE(point.set);
        EXPECT_EQ(point.unit, g.unit) << g.text;
        EXPECT_EQ(point.value, g.value) << g.text;
        EXPECT_NEAR(timePointRow(point, rps, 60), g.row, 1e-9) << g.text;
        EXPECT_NEAR(timePointSeconds(point, rps, 60) * rps, g.row, 1e-9) << g.text;
    }
    // Times given exactly stay exact: no detour through rows.
    TimePoint frame{true, TimeUnit::Frame, 3068.0};
    EXPECT_EQ(timePointSeconds(frame, rps, 60), 3068.0 / 60.0);
    EXPECT_EQ(timePointRow(TimePoint{}, rps, 60), 0.0);

    for (const char* text : {"12", "-5s", "+5s", "1.5f", "-1f", "16:5", "-1:0", "-16", "16:2r", "nans", "infs",
                             "1e999s", "s", "", "5x", "16 b", "0x10r", " 16s"}) {
        TimePoint point{true, TimeUnit::Bar, 3.0};
        EXPECT_FALSE(parseTimePoint(text, &point)) << text;
        EXPECT_EQ(point.unit, TimeUnit::Bar) << text;
        EXPECT_EQ(point.value, 3.0) << text;
    }
}

// A whole row drawn at secondsAtRow reads back as that row through the
// production's own single-precision formula, at any tempo, never as the row
// before (which a time rounded to the nearest sample gives for about a
// quarter of the rows at 110 beats per minute), and the time stays within a
// few steps of single precision of the exact one.
TEST(Timeline, AWholeRowIsDrawnAtATimeThatReadsBackAsThatRow)
{
    EXPECT_EQ(rowAtSeconds(1.0f, kProductionTempo), 29.333334f);
    EXPECT_EQ(rowAtSeconds(60.0f, kProductionTempo), 1760.0f);

    int nearestSampleBelow = 0;
    for (float tempo : {kProductionTempo, 97.0f, 100.0f, 123.4f, 140.0f}) {
        const double rps = rowsPerSecondAt(tempo);
        for (int32_t row = 0; row < 200000; ++row) {
            float seconds = secondsAtRow(row, tempo);
            ASSERT_EQ(std::floor(rowAtSeconds(seconds, tempo)), (float)row) << "tempo " << tempo << " row " << row;
            double exact = row / rps;
            ASSERT_LE(std::fabs(seconds - exact), 4.0 * std::fabs(std::nextafter((float)exact, INFINITY) - (float)exact))
                << "tempo " << tempo << " row " << row;
            if (tempo == kProductionTempo && row < 4608) {
                double sample = std::round(exact * 44100.0) / 44100.0;
                if (std::floor(rowAtSeconds((float)sample, tempo)) < row) ++nearestSampleBelow;
            }
        }
    }
    EXPECT_GT(nearestSampleBelow, 500) << "the sample rounding this guards against";
    // Rows no tempo can reach in single precision, and no row at all.
    EXPECT_EQ(secondsAtRow(1e300, kProductionTempo), INFINITY);
    EXPECT_EQ(secondsAtRow(-1e300, kProductionTempo), -INFINITY);
    EXPECT_TRUE(std::isnan(secondsAtRow(NAN, kProductionTempo)));
    // A fractional row keeps its own time: a frame's time is not moved.
    const double frameRow = 3068.0 / 60.0 * kProductionRowsPerSecond;
    EXPECT_EQ(secondsAtRow(frameRow, kProductionTempo), (float)(3068.0 / 60.0));
}

}  // namespace
