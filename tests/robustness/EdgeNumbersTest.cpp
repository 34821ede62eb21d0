// Numbers at the edge of every range the tools read or compute: each is
// refused with its option and limit before any arithmetic, or served without
// overflow. Runs the real capture and track programs where the fault showed
// in what they wrote.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CaptureOptions.h"
#include "StudioOptions.h"
#include "TrackFormat.h"
#include "Transport.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

bool ParseCapture(std::vector<const char*> args, CaptureOptions& options, std::string& error)
{
    args.insert(args.begin(), "ostrel-capture");
    args.push_back("-o");
    args.push_back("frames/");
    return ParseCaptureOptions((int)args.size(), args.data(), options, error);
}

}  // namespace

TEST(EdgeNumbers, RefusedWithTheirLimitOrServedWithoutOverflow)
{
    // Capture: every time, size and count checked against its limit, whatever
    // the order of the options.
    struct Line {
        std::vector<const char*> args;
        const char* error;  // empty: accepted
    };
    const std::vector<Line> lines = {
        {{"--from", "2e17s"}, "--from '2e17s' is past the end of the timeline: at most 73209669s"},
        {{"--from", "73209669s"}, ""},
        {{"--to", "1e300r"}, "--to '1e300r' is past the end of the timeline: at most 2147483647r"},
        {{"--to", "2147483648r"}, "at most 2147483647r"},
        {{"--to", "2147483647r"}, ""},
        {{"--from", "33554432b"}, "--from '33554432b' is past the end of the timeline: at most 33554431b"},
        {{"--from", "33554431b"}, ""},
        {{"--from", "99999999999999999999f"}, "at most 4392580140f"},
        {{"--from", "73209669001f", "--fps", "1000"}, "at most 73209669000f"},
        {{"--fps", "1000", "--from", "73209669000f"}, ""},
        {{"--frames", "1000000001"}, "bad --frames '1000000001': expected a whole number from 1 to 1000000000"},
        {{"--frames", "99999999999999999999"}, "from 1 to 1000000000"},
        {{"--size", "3x100"}, "bad --size '3x100': expected WIDTHxHEIGHT, each 4 to 16384"},
        {{"--size", "100x3"}, "each 4 to 16384"},
        {{"--size", "4x4"}, ""},
        {{"--like", "ostrel-2x2-4x"}, "bad --like"},
    };
    for (const Line& line : lines) {
        CaptureOptions options;
        std::string error;
        bool ok = ParseCapture(line.args, options, error);
        std::string what = std::string(line.args[0]) + " " + line.args[1];
        if (line.error[0] == '\0') {
            EXPECT_TRUE(ok) << what << ": " << error;
        } else {
            EXPECT_FALSE(ok) << what;
            EXPECT_NE(error.find(line.error), std::string::npos) << what << ": " << error;
        }
    }

    // Range resolution at the limits: past the music is empty, never wrapped.
    struct Range {
        std::vector<const char*> args;
        long first, end;  // end 0: no frame
    };
    const double rowsPerSecond = kProductionRowsPerSecond;
    for (const Range& r : std::vector<Range>{{{"--from", "73209669s"}, 0, 0},
                                             {{"--from", "4392580140f", "--frames", "1000000000"}, 0, 0},
                                             {{"--from", "599f", "--frames", "1000000000"}, 599, 600},
                                             {{"--to", "2147483647r"}, 0, 600},
                                             {{"--from", "33554431b", "--to", "2147483647r"}, 0, 0}}) {
        CaptureOptions options;
        std::string error;
        ASSERT_TRUE(ParseCapture(r.args, options, error)) << error;
        FrameRange range;
        bool ok = ResolveFrameRange(options, 600, rowsPerSecond, range, error);
        EXPECT_EQ(ok, r.end != 0) << r.args[0] << " " << r.args[1] << ": " << error;
        if (ok) {
            EXPECT_EQ(range.first, r.first);
            EXPECT_EQ(range.end, r.end);
        } else {
            EXPECT_NE(error.find("holds no frame"), std::string::npos) << error;
        }
    }
    CaptureOptions plain;
    std::string error;
    FrameRange range;
    ASSERT_TRUE(ParseCapture({"--from", "10r"}, plain, error));
    // A row so far off that its frame does not fit a long is still just empty.
    EXPECT_FALSE(ResolveFrameRange(plain, 600, 1e-300, range, error));
    EXPECT_NE(error.find("holds no frame"), std::string::npos) << error;

    // The widest field a frame pattern allows, and the largest frame number.
    CaptureOptions wide;
    wide.output = "f%099d.png";
    wide.outputKind = OutputKind::PngPattern;
    EXPECT_EQ(FramePath(wide, 73209669000L), "f" + std::string(88, '0') + "73209669000.png");

    // The capture program itself: a usage error before any window, no frame.
    TempLayout layout(false, false);
    fs::create_directories(layout.Root() + "/frames");
    ProcessResult capture = RunProcess({std::string(OSTREL_BIN_DIR) + "/ostrel-capture", "--from", "2e17s",
                                        "--frames", "1", "-q", "-o", "frames/"},
                                       layout.Root(), {"SDL_AUDIODRIVER=dummy"}, 60.0);
    EXPECT_EQ(capture.exitCode, 2) << capture.output;
    EXPECT_NE(capture.output.find("at most 73209669s"), std::string::npos) << capture.output;
    EXPECT_TRUE(fs::is_empty(layout.Root() + "/frames"));

    // Studio: the same limits, then rows kept inside int32 by the transport.
    for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
             {"ostrel-studio", "--from", "2e17s"}, {"ostrel-studio", "--size", "2x2"},
             {"ostrel-studio", "--from", "33554432:0:0"}}) {
        StudioOptions options;
        std::string message;
        EXPECT_FALSE(ParseStudioOptions(3, bad.data(), options, message)) << bad[2];
        EXPECT_FALSE(message.empty());
    }
    StudioOptions studio;
    const char* last[] = {"ostrel-studio", "--from", "33554431:3:15"};
    ASSERT_TRUE(ParseStudioOptions(3, last, studio, error)) << error;
    EXPECT_EQ(StudioStartRow(studio.from, rowsPerSecond), 2147483647.0);
    for (double row : {2147483647.0, 1e12, (double)INFINITY}) {
        EXPECT_EQ(BarStartRow(row), 2147483520) << row;
        EXPECT_EQ(BarEndRow(row), 2147483584) << row;
        Loop loop;
        SetLoopEnd(loop, row);
        SetLoopStart(loop, row);
        EXPECT_TRUE(loop.Valid()) << row;
        EXPECT_EQ(FormatBarBeatRow(row), "33554431:3:15") << row;
    }
    EXPECT_EQ(BarStartRow(NAN), 0);
    EXPECT_EQ(FormatBarBeatRow(NAN), "0:0:0");
    EXPECT_EQ(StepRow(NAN, 16.0, 100.0), 0.0);
    EXPECT_EQ(StepRow(50.0, 1e300, 100.0), 100.0);

    // Track text positions: int32 exactly, and past it a message, not a wrap.
    struct Position {
        const char* text;
        int64_t row;  // INT64_MIN: refused
    };
    for (const Position& p : {Position{"33554431:3:15", INT32_MAX}, Position{"-2147483648", INT32_MIN},
                              Position{"33554432:0:0", INT64_MIN}, Position{"2147483648", INT64_MIN},
                              Position{"-2147483649", INT64_MIN}, Position{"999999999999:3:15", INT64_MIN},
                              Position{"9999999999999999999999:0", INT64_MIN}}) {
        int32_t row = 0;
        std::string message;
        bool ok = parsePosition(p.text, &row, &message);
        EXPECT_EQ(ok, p.row != INT64_MIN) << p.text;
        if (ok) {
            EXPECT_EQ(row, p.row) << p.text;
        } else {
            EXPECT_NE(message.find(p.text), std::string::npos) << message;
        }
    }

    // Plot: keys at both ends of int32, one bar past the last and the span
    // between them held in 64 bits; the curve rises from the left to the right.
    std::string track = layout.Path("_Test.Wide.track");
    std::string png = layout.Root() + "/wide.png";
    ASSERT_TRUE(layout.WriteFile("_Test.Wide.track", EncodeTrack({{INT32_MIN, 1.0f, 1}, {INT32_MAX, 2.0f, 0}})));
    ProcessResult plot = RunProcess({std::string(OSTREL_BIN_DIR) + "/ostrel-track", "plot", track, "-o", png,
                                     "--size", "200x100"},
                                    layout.Root(), {}, 60.0);
    ASSERT_EQ(plot.exitCode, 0) << plot.output;
    EXPECT_NE(plot.output.find("rows -2147483648..2147483711, values 1..2"), std::string::npos) << plot.output;
    int width = 0, height = 0;
    const std::vector<int> rows = PlotCurveRows(png, {10, 100, 190}, width, height);
    ASSERT_EQ(rows.size(), 3u);
    const int left = rows[0], middle = rows[1], right = rows[2];
    EXPECT_GT(left, middle);
    EXPECT_GT(middle, right);
    EXPECT_GE(right, 0);
}
