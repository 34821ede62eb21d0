// scripts/make-video.sh on a few seconds at a small size: chunks joined
// without re-encoding give the frames of one capture of the range, the film
// and its soundtrack last exactly as long as the range, an interrupted run
// keeps its finished chunks, and printed chunk commands run elsewhere (here by
// GNU parallel) leave only the join.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "FrameSink.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kScript = std::string(OSTREL_SOURCE_DIR) + "/scripts/make-video.sh";

// Seconds 1 to 4 in 1 s chunks: three chunks of 60 frames.
std::vector<std::string> VideoArgs(const std::string& output, std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"/bin/bash", kScript, "--build-dir", OSTREL_BINARY_DIR, "--size", "64x36",
                                     "--from", "1", "--to", "4", "--chunk", "1", "--crf", "0"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(output);
    return args;
}

// One MD5 per decoded video frame.
std::string FrameDigests(const std::string& file)
{
    ProcessResult r = RunProcess({FindProgram("ffmpeg"), "-v", "error", "-i", file, "-map", "0:v", "-f", "framemd5", "-"},
                                 "", {}, 120.0);
    std::string digests;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] != '#') digests += line.substr(line.rfind(',') + 1) + "\n";
    return digests;
}

// "key=value" of one stream (v:0 or a:0) from ffprobe.
std::string Probe(const std::string& file, const std::string& stream, const std::string& key)
{
    ProcessResult r = RunProcess({FindProgram("ffprobe"), "-v", "error", "-select_streams", stream, "-show_entries",
                                  "stream=" + key, "-of", "default=noprint_wrappers=1:nokey=1", file},
                                 "", {}, 60.0);
    std::string value = r.output;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    return value;
}

class ChunkedVideo : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (FindProgram("ffmpeg").empty() || FindProgram("ffprobe").empty()) GTEST_SKIP() << "no ffmpeg";
    }
    TempLayout work{false, false};
};

TEST_F(ChunkedVideo, LosslessChunksJoinIntoTheSingleRunsFramesAndExactLengths)
{
    const std::string film = work.Root() + "/film.mp4";
    ProcessResult joined = RunProcess(VideoArgs(film, {"--jobs", "2"}), "", {"SDL_AUDIODRIVER=dummy"}, 300.0);
    ASSERT_EQ(joined.exitCode, 0) << joined.output;
    EXPECT_NE(joined.output.find("make-video: rendering 3 of 3 chunks"), std::string::npos) << joined.output;
    EXPECT_NE(joined.output.find("make-video: 3/3 chunks done, "), std::string::npos) << joined.output;
    EXPECT_NE(joined.output.find(" frames/s, "), std::string::npos) << joined.output;

    const std::string single = work.Root() + "/single.mp4";
    ProcessResult one = RunProcess({OSTREL_BIN_DIR "/ostrel-capture", "-q", "--like", "ostrel-1920x1080-4x", "--size",
                                    "64x36", "--fps", "60", "--from", "60f", "--frames", "180", "--crf", "0", "-o",
                                    single},
                                   OSTREL_BIN_DIR, {"SDL_AUDIODRIVER=dummy"}, 300.0);
    ASSERT_EQ(one.exitCode, 0) << one.output;
    const std::string expected = FrameDigests(single);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 180);
    EXPECT_EQ(FrameDigests(film), expected);

    // Three seconds: 180 frames, and 144,000 samples at 48 kHz, as the
    // container states them (AAC's last frame is padded beyond that).
    EXPECT_EQ(Probe(film, "v:0", "nb_frames"), "180");
    EXPECT_EQ(Probe(film, "v:0", "duration"), "3.000000");
    EXPECT_EQ(Probe(film, "a:0", "codec_name"), "aac");
    EXPECT_EQ(Probe(film, "a:0", "profile"), "LC");
    EXPECT_EQ(Probe(film, "a:0", "sample_rate"), "48000");
    EXPECT_EQ(Probe(film, "a:0", "channels"), "2");
    EXPECT_EQ(Probe(film, "a:0", "time_base"), "1/48000");
    EXPECT_EQ(Probe(film, "a:0", "duration_ts"), "144000");
}

TEST_F(ChunkedVideo, AnInterruptedRunKeepsFinishedChunksAndRendersTheRest)
{
    const std::string film = work.Root() + "/film.mp4";
    // 2 s chunks: the second is still rendering when the first is done.
    std::vector<std::string> args = VideoArgs(film, {"--chunk", "2"});
    std::string command;
    for (const std::string& a : args) command += "'" + a + "' ";
    const std::string dir = film + ".chunks/1080p60-64x36-crf0-from1-chunk2";
    ProcessResult first = RunProcess({"/bin/sh", "-c", command + R"(&
video=$!
while [ ! -f "$1/chunk-00000.mp4" ]; do sleep 0.1; kill -0 "$video" || exit 1; done
kill -TERM "$video"
wait "$video"
echo "scenario: exit $?"
ls "$1"
)",
                                      "scenario", dir},
                                     "", {"SDL_AUDIODRIVER=dummy"}, 300.0);
    EXPECT_NE(first.output.find("scenario: exit 130"), std::string::npos) << first.output;
    struct stat kept;
    ASSERT_EQ(stat((dir + "/chunk-00000.mp4").c_str(), &kept), 0) << first.output;
    EXPECT_FALSE(fs::exists(dir + "/chunk-00001.mp4")) << first.output;
    EXPECT_FALSE(fs::exists(film));
    // Nothing of the interrupted chunk renders on. Its encoder may take a
    // moment to exit after the capture has gone, so look for up to 5 s.
    ProcessResult left = RunProcess({"/bin/sh", "-c", R"sh(
tries=0
while :; do
  found=""
  for p in /proc/[0-9]*; do
    case "$( { tr '\0' ' ' <"$p/cmdline"; } 2>/dev/null)" in *"$1"*) [ "${p#/proc/}" = "$$" ] || found="$found$p " ;; esac
  done
  [ -z "$found" ] && exit 0
  tries=$((tries + 1))
  [ "$tries" -ge 50 ] && break
  sleep 0.1
done
for p in $found; do echo "$p: $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)"; done)sh", "sh", dir}, "", {}, 30.0);
    EXPECT_EQ(left.output, "") << left.output;

    ProcessResult second = RunProcess(args, "", {"SDL_AUDIODRIVER=dummy"}, 300.0);
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("make-video: rendering 1 of 2 chunks"), std::string::npos) << second.output;
    struct stat after;
    ASSERT_EQ(stat((dir + "/chunk-00000.mp4").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, kept.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, kept.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, kept.st_mtim.tv_nsec);
    EXPECT_EQ(Probe(film, "v:0", "nb_frames"), "180");
}

TEST_F(ChunkedVideo, PrintedChunksRunByParallelLeaveOnlyTheJoin)
{
    if (FindProgram("parallel").empty()) GTEST_SKIP() << "GNU parallel is not installed";
    const std::string film = work.Root() + "/film.mp4";
    std::string command;
    for (const std::string& a : VideoArgs(film, {"--print-chunks"})) command += "'" + a + "' ";
    ProcessResult spread =
        RunProcess({"/bin/sh", "-c", command + "| parallel --will-cite -j 2"}, "", {"SDL_AUDIODRIVER=dummy"}, 300.0);
    ASSERT_EQ(spread.exitCode, 0) << spread.output;
    EXPECT_FALSE(fs::exists(film));

    ProcessResult join = RunProcess(VideoArgs(film), "", {"SDL_AUDIODRIVER=dummy"}, 300.0);
    ASSERT_EQ(join.exitCode, 0) << join.output;
    EXPECT_EQ(join.output.find("make-video: rendering"), std::string::npos) << join.output;
    EXPECT_EQ(Probe(film, "v:0", "nb_frames"), "180");
}

TEST_F(ChunkedVideo, YouTubeMasterIsHighProfileClosedGopsAtTheRecommendedRate)
{
    const std::string film = work.Root() + "/master.mp4";
    ProcessResult r = RunProcess({"/bin/bash", kScript, "--build-dir", OSTREL_BINARY_DIR, "--target", "2160p60",
                                  "--size", "320x180", "--from", "20", "--to", "22", "--chunk", "1", film},
                                 "", {"SDL_AUDIODRIVER=dummy"}, 300.0);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Probe(film, "v:0", "codec_name"), "h264");
    EXPECT_EQ(Probe(film, "v:0", "profile"), "High");
    EXPECT_EQ(Probe(film, "v:0", "pix_fmt"), "yuv420p");
    EXPECT_EQ(Probe(film, "v:0", "nb_frames"), "120");
    EXPECT_GE(std::atol(Probe(film, "v:0", "bit_rate").c_str()), 53000000L);
    EXPECT_EQ(Probe(film, "a:0", "profile"), "LC");
    EXPECT_EQ(Probe(film, "a:0", "sample_rate"), "48000");
    EXPECT_EQ(Probe(film, "a:0", "channels"), "2");
    // A key frame every 30 frames and none between (GOPs closed with +cgop).
    ProcessResult frames = RunProcess({FindProgram("ffprobe"), "-v", "error", "-select_streams", "v:0", "-show_frames",
                                       "-show_entries", "frame=key_frame", "-of", "csv=p=0", film},
                                      "", {}, 60.0);
    std::string keys;
    for (char c : frames.output)
        if (c == '0' || c == '1') keys += c;
    ASSERT_EQ(keys.size(), 120u) << frames.output;
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], i % 30 == 0 ? '1' : '0') << "frame " << i;
    // +faststart: the index comes before the media data.
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(film, bytes));
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
}

}  // namespace
