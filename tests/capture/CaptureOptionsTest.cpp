#include <gtest/gtest.h>

#include <vector>

#include "CaptureOptions.h"
#include "FrameSink.h"

namespace {

const double kRowsPerSecond = 110.0 / 60.0 * 16.0;

bool Parse(std::vector<const char*> args, CaptureOptions& options, std::string& error)
{
    args.insert(args.begin(), "ostrel-capture");
    return ParseCaptureOptions((int)args.size(), args.data(), options, error);
}

struct BadLine {
    std::vector<const char*> args;
    const char* reason;  // part of the error text
};

void PrintTo(const BadLine& line, std::ostream* os)
{
    *os << '[';
    for (size_t i = 0; i < line.args.size(); ++i) *os << (i ? " " : "") << line.args[i];
    *os << ']';
}

class CaptureOptionsRejects : public ::testing::TestWithParam<BadLine> {};

TEST_P(CaptureOptionsRejects, WithAReason)
{
    CaptureOptions options;
    std::string error;
    EXPECT_FALSE(Parse(GetParam().args, options, error));
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, CaptureOptionsRejects,
    ::testing::Values(BadLine{{}, "no output"}, BadLine{{"-o", "a.mp4", "--bogus"}, "unknown option '--bogus'"},
                      BadLine{{"-o", "a.mp4", "--size"}, "needs a value"},
                      BadLine{{"-o", "a.mp4", "--size", "1600"}, "bad --size"},
                      BadLine{{"-o", "a.mp4", "--size", "20000x900"}, "bad --size"},
                      BadLine{{"-o", "a.mp4", "--samples", "4.5"}, "bad --samples"},
                      BadLine{{"-o", "a.mp4", "--fps", "0"}, "bad --fps"},
                      BadLine{{"-o", "a.mp4", "--fps", "29.97"}, "bad --fps"},
                      BadLine{{"-o", "a.mp4", "--from", "12"}, "bad --from"},
                      BadLine{{"-o", "a.mp4", "--from", "1.5f"}, "bad --from"},
                      BadLine{{"-o", "a.mp4", "--to", "nans"}, "bad --to"},
                      BadLine{{"-o", "a.mp4", "--to", "1e999s"}, "bad --to"},
                      BadLine{{"-o", "a.mp4", "--frames", "0"}, "bad --frames"},
                      BadLine{{"-o", "a.mp4", "--to", "2s", "--frames", "3"}, "cannot be used together"},
                      BadLine{{"-o", "a.mp4", "--like", "ostrel-1600x900"}, "bad --like"},
                      BadLine{{"-o", ""}, "non-empty"},
                      BadLine{{"-o", "frame.png"}, "needs a frame number"},
                      BadLine{{"-o", "f%d-%s.png"}, "exactly one %d"},
                      BadLine{{"-o", "f%123d.png"}, "exactly one %d"}));

TEST(CaptureOptions, DefaultsAreFullHdAt60WithFourSamples)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"-o", "out.MP4"}, options, error)) << error;
    EXPECT_EQ(options.width, 1920);
    EXPECT_EQ(options.height, 1080);
    EXPECT_EQ(options.samples, 4);
    EXPECT_EQ(options.fps, 60);
    EXPECT_EQ(options.outputKind, OutputKind::Video);
    EXPECT_FALSE(options.from.set);
    EXPECT_TRUE(options.progress);
}

TEST(CaptureOptions, ReadsEveryOptionInBothSpellings)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--like", "ostrel-1920x1080-16x", "--size=640x360", "--fps", "30", "--from=480r",
                       "--to", "12.5s", "--output=frames", "--crf", "0", "--ffmpeg", "/opt/ffmpeg", "-q"},
                      options, error))
        << error;
    EXPECT_EQ(options.width, 640);  // the later option wins
    EXPECT_EQ(options.height, 360);
    EXPECT_EQ(options.samples, 16);
    EXPECT_EQ(options.fps, 30);
    EXPECT_EQ(options.from.unit, TimeUnit::Row);
    EXPECT_DOUBLE_EQ(options.from.value, 480.0);
    EXPECT_EQ(options.to.unit, TimeUnit::Seconds);
    EXPECT_DOUBLE_EQ(options.to.value, 12.5);
    EXPECT_EQ(options.outputKind, OutputKind::PngDirectory);
    EXPECT_EQ(options.crf, 0);
    EXPECT_EQ(options.ffmpeg, "/opt/ffmpeg");
    EXPECT_FALSE(options.progress);
}

struct RangeCase {
    std::vector<const char*> args;
    long first;
    long end;
};

void PrintTo(const RangeCase& c, std::ostream* os)
{
    *os << '[';
    for (size_t i = 0; i < c.args.size(); ++i) *os << (i ? " " : "") << c.args[i];
    *os << ']';
}

class CaptureRange : public ::testing::TestWithParam<RangeCase> {};

// A production of 10 s has 600 frames at 60 fps.
TEST_P(CaptureRange, Resolves)
{
    CaptureOptions options;
    std::string error;
    std::vector<const char*> args = GetParam().args;
    args.push_back("-o");
    args.push_back("x.mp4");
    ASSERT_TRUE(Parse(args, options, error)) << error;
    FrameRange range;
    ASSERT_TRUE(ResolveFrameRange(options, FramesCovering(10.0, options.fps), kRowsPerSecond, range, error))
        << error;
    EXPECT_EQ(range.first, GetParam().first);
    EXPECT_EQ(range.end, GetParam().end);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CaptureRange,
    ::testing::Values(RangeCase{{}, 0, 600}, RangeCase{{"--from", "2s"}, 120, 600},
                      RangeCase{{"--from", "2.001s"}, 121, 600},  // first frame at or after the time
                      RangeCase{{"--from", "100f", "--frames", "3"}, 100, 103},
                      RangeCase{{"--from", "1s", "--to", "2s"}, 60, 120},  // the end is exclusive
                      RangeCase{{"--from", "22r", "--to", "44r"}, 45, 90},
                      // Row 152 (5.18 s) to bar 3, row 192 (6.55 s), as the studio's --from reads them.
                      RangeCase{{"--from", "2:1:8", "--to", "3b"}, 311, 393}));

TEST(CaptureRange, RowsFollowTheTempo)
{
    // Row 480 at 29.333 rows/s is 16.3636 s: frame 981.8, so the first frame is 982.
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--from", "480r", "--frames", "2", "-o", "x.mp4"}, options, error));
    FrameRange range;
    ASSERT_TRUE(ResolveFrameRange(options, 60 * 60, kRowsPerSecond, range, error)) << error;
    EXPECT_EQ(range.first, 982);
    EXPECT_EQ(range.end, 984);
}

TEST(CaptureRange, EndIsClampedToTheMusic)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--from", "590f", "--frames", "50", "-o", "x.mp4"}, options, error));
    FrameRange range;
    ASSERT_TRUE(ResolveFrameRange(options, 600, kRowsPerSecond, range, error));
    EXPECT_EQ(range.end, 600);
}

TEST(CaptureRange, EmptyRangeIsAnError)
{
    for (auto args : std::vector<std::vector<const char*>>{{"--from", "600f"}, {"--from", "2s", "--to", "2s"},
                                                           {"--from", "11s"}}) {
        args.push_back("-o");
        args.push_back("x.mp4");
        CaptureOptions options;
        std::string error;
        ASSERT_TRUE(Parse(args, options, error));
        FrameRange range;
        EXPECT_FALSE(ResolveFrameRange(options, 600, kRowsPerSecond, range, error));
        EXPECT_NE(error.find("holds no frame"), std::string::npos) << error;
    }
}

TEST(CaptureTiming, FramesCoverTheMusicAndEndWithinOneFrame)
{
    struct {
        double seconds;
        int fps;
        long frames;
    } cases[] = {{10.0, 60, 600}, {10.001, 60, 601}, {1.0 / 60.0, 60, 1}, {0.0, 60, 0}, {183.4567, 30, 5504}};
    for (auto& c : cases) {
        long n = FramesCovering(c.seconds, c.fps);
        EXPECT_EQ(n, c.frames) << c.seconds;
        if (n > 0) {
            EXPECT_GE(n / (double)c.fps, c.seconds - 1e-6);
            EXPECT_LT(n / (double)c.fps - c.seconds, 1.0 / c.fps);
        }
    }
}

TEST(CaptureTiming, FrameTimeIsComputedFromTheFrameNumber)
{
    // Summing 1/60 drifts; dividing does not.
    EXPECT_EQ(FrameTime(3600, 60), 60.0f);
    EXPECT_EQ(FrameTime(10800, 60), 180.0f);
    EXPECT_EQ(FrameTime(45, 60), 0.75f);
    EXPECT_EQ(FrameTime(0, 24), 0.0f);
}

TEST(CaptureOutput, FramePathsAreNumberedByAbsoluteFrame)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"-o", "shots"}, options, error));
    EXPECT_EQ(FramePath(options, 42), "shots/frame-000042.png");
    ASSERT_TRUE(Parse({"-o", "out/%05d.png"}, options, error));
    EXPECT_EQ(FramePath(options, 42), "out/00042.png");
    ASSERT_TRUE(Parse({"-o", "/dev/null"}, options, error));
    EXPECT_EQ(options.outputKind, OutputKind::Discard);
    ASSERT_TRUE(Parse({"-o", "100%%-%d.png"}, options, error));
    EXPECT_EQ(FramePath(options, 1234567), "100%-1234567.png");
}

}  // namespace
