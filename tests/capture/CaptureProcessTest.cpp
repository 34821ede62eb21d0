// Runs ostrel-capture from a temporary bin/ + res/ layout under the suite's X
// server and checks what it writes: PNG frames, their determinism, their
// agreement with an in-process render, and the MP4's streams.

#include <gtest/gtest.h>
#include <stb_image.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "FrameSink.h"
#include "support/TestSupport.h"
#include "engine/Engine.h"
#include "robustness/ProcessEnv.h"
#include "scene/Production.h"

namespace fs = std::filesystem;

// This program brings a GL context up in-process, and the software driver
// leaks a few blocks from code it unloads before exit, where no suppression
// can reach them. Leaks are judged by the robustness leak check instead.
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}

namespace {

const double kTimeout = 240.0;

// A soundtrack of 1 s: silence with a 1 kHz burst starting at exactly 0.5 s.
std::string ClickTrack()
{
    return TestData("click-1s.mp3");
}

ProcessResult RunCapture(const TempLayout& layout, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {layout.Bin() + "/ostrel-capture", "--quiet"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, layout.Bin(), ProgramEnv(), kTimeout);
}

// Tracks that put every kind of object in view of an orbiting camera, with the
// bloom chain off so that the picture is the scene itself.
void WriteShowcaseTracks(const TempLayout& layout, bool holdCamera)
{
    layout.ClearTracks();
    // Camera.Mode 1 (orbit); with holdCamera it switches to 3 (keep the last
    // view) at row 10, i.e. between frames 20 and 21 at 60 fps.
    if (holdCamera)
        WriteTrack(layout, "Camera.Mode", {{0, 1.0f, 0}, {10, 3.0f, 0}});
    else
        WriteConstantTrack(layout, "Camera.Mode", 1.0f);
    WriteConstantTrack(layout, "Camera.Distance", 60.0f);
    WriteConstantTrack(layout, "Camera.Pitch", 25.0f);
    WriteTrack(layout, "Camera.Yaw", {{0, 0.0f, 1}, {60, 360.0f, 1}});
    for (const char* visible : {"Grid.Visible", "Cube.Visible", "Needles.Visible", "Flakes.Visible"})
        WriteConstantTrack(layout, visible, 1.0f);
    WriteTrack(layout, "Ring1.Progress", {{0, 0.0f, 1}, {40, 1.0f, 1}});
    WriteConstantTrack(layout, "Ring2.Progress", 1.0f);
    WriteConstantTrack(layout, "Grid.NoiseMagnitude", 4.0f);
    WriteTrack(layout, "Needles.Time", {{0, 0.0f, 1}, {60, 10.0f, 1}});
    WriteTrack(layout, "Flakes.Time", {{0, 0.0f, 1}, {60, 10.0f, 1}});
    WriteConstantTrack(layout, "Needles.Fade", 1.0f);
    WriteConstantTrack(layout, "Flakes.Fade", 1.0f);
    WriteConstantTrack(layout, "Cube.Scale", 1.0f);
}

std::unique_ptr<TempLayout> CaptureLayout(bool holdCamera = false)
{
    std::unique_ptr<TempLayout> layout(new TempLayout);
    EXPECT_TRUE(layout->InstallProgram("ostrel-capture"));
    EXPECT_TRUE(layout->CopyFile(ClickTrack(), "audio/melody.mp3"));
    WriteShowcaseTracks(*layout, holdCamera);
    return layout;
}

// RGBA rows top first, as a PNG stores them.
bool LoadPng(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgba)
{
    int channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (!data) return false;
    rgba.assign(data, data + (size_t)width * height * 4);
    stbi_image_free(data);
    return true;
}

size_t LitPixels(const std::vector<uint8_t>& rgba)
{
    size_t lit = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) lit += (rgba[i] | rgba[i + 1] | rgba[i + 2]) != 0;
    return lit;
}

std::string MessagesText(const ProcessResult& r)
{
    return r.output.substr(r.output.size() > 4000 ? r.output.size() - 4000 : 0);
}

// ---- Command line and output errors -------------------------------------------------

TEST(CaptureProcess, BadOptionIsRefusedBeforeAnythingStarts)
{
    auto layout = CaptureLayout();
    for (auto args : std::vector<std::vector<std::string>>{{"--fps", "0", "-o", "x.mp4"}, {}}) {
        ProcessResult r = RunCapture(*layout, args);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_NE(r.output.find("ostrel-capture: "), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("--help"), std::string::npos) << r.output;
        // Refused before the engine came up: no log line of it.
        EXPECT_EQ(r.output.find("Initializing Engine"), std::string::npos) << r.output;
    }
}

TEST(CaptureProcess, RangeBeyondTheMusicIsRefused)
{
    auto layout = CaptureLayout();
    ProcessResult r = RunCapture(*layout, {"--from", "3s", "-o", "frames"});
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find("holds no frame"), std::string::npos) << r.output;
}

TEST(CaptureProcess, UnwritableOutputIsAClearError)
{
    auto layout = CaptureLayout();
    ASSERT_TRUE(layout->WriteFile("plain-file", "x"));
    const std::string file = layout->Path("plain-file");
    struct {
        std::string output;
        const char* reason;
    } cases[] = {{"/proc/ostrel-capture.mp4", "cannot write /proc/ostrel-capture.mp4"},
                 {file + "/x.mp4", "cannot write"},
                 {file, "not a directory"},
                 {"/proc/ostrel-frames", "cannot create the directory"},
                 {layout->Root() + "/missing/%04d.png", "does not exist"}};
    for (auto& c : cases) {
        ProcessResult r = RunCapture(*layout, {"--frames", "1", "-o", c.output});
        EXPECT_EQ(r.exitCode, 1) << c.output << "\n" << r.output;
        EXPECT_NE(r.output.find(c.reason), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("Initializing Engine"), std::string::npos) << r.output;
    }
}

TEST(CaptureProcess, MissingEncoderIsAClearError)
{
    auto layout = CaptureLayout();
    ProcessResult r = RunCapture(*layout, {"--ffmpeg", "/nonexistent/ffmpeg", "--frames", "1", "-o", "x.mp4"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("cannot find the program '/nonexistent/ffmpeg'"), std::string::npos) << r.output;
}

// ---- A capture that fails or is stopped ---------------------------------------------------

const char kEarlier[] = "an earlier capture, kept until a new one is complete";

// dir/keep.mp4 holding an earlier capture.
void PutEarlierCapture(const std::string& dir)
{
    fs::create_directories(dir);
    FILE* file = std::fopen((dir + "/keep.mp4").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(kEarlier, file);
    std::fclose(file);
}

// dir holds the earlier capture as it was and nothing else, no temporary.
void ExpectOnlyTheEarlierCapture(const std::string& dir)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.path().filename() != "filler") names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"keep.mp4"});
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(dir + "/keep.mp4", bytes));
    EXPECT_EQ(bytes, kEarlier);
}

struct FailedCase {
    const char* name;
    std::vector<std::string> args;
    const char* reason;
};

void PrintTo(const FailedCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptureFails : public ::testing::TestWithParam<FailedCase> {};

TEST_P(CaptureFails, KeepsTheEarlierFileAndSaysWhy)
{
    if (FindProgram("ffmpeg").empty() || FindProgram("ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
    const FailedCase& c = GetParam();
    auto layout = CaptureLayout();
    const std::string dir = layout->Root() + "/out";
    std::unique_ptr<SmallDisk> disk;
    if (std::string(c.name) == "DiskFull") {
        // Room for the earlier file and a little more, far less than the video.
        disk.reset(new SmallDisk(dir, 148 << 10));
        if (!disk->Mounted()) GTEST_SKIP() << disk->Why();
    }
    PutEarlierCapture(dir);
    std::vector<std::string> args = {"--size", "320x180", "--frames", "60", "-o", dir + "/keep.mp4"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProcessResult r = RunCapture(*layout, args);
    EXPECT_EQ(r.exitCode, 1) << MessagesText(r);
    EXPECT_NE(r.output.find(c.reason), std::string::npos) << MessagesText(r);
    ExpectOnlyTheEarlierCapture(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CaptureFails,
    ::testing::Values(FailedCase{"EngineDoesNotStart", {"--samples", "32"}, "the engine did not start"},
                      FailedCase{"EncoderFails", {"--ffmpeg", "/bin/false"}, "ffmpeg failed to write"},
                      // ffmpeg itself exits 0 when the file's index does not fit.
                      FailedCase{"DiskFull", {"--frames", "240"}, "No space left on device"}),
    [](const ::testing::TestParamInfo<FailedCase>& info) { return std::string(info.param.name); });

TEST(CaptureProcess, OutputFolderRemovedWhileWritingIsAFailure)
{
    if (FindProgram("ffmpeg").empty() || FindProgram("ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
    auto layout = CaptureLayout();
    // An ffmpeg that does its work and exits 0, with the output's folder
    // removed meanwhile, as a user tidying up might.
    const std::string wrapper = layout->Root() + "/ffmpeg-then-remove";
    {
        std::ofstream script(wrapper);
        script << "#!/bin/sh\nfor last; do :; done\n'" << FindProgram("ffmpeg")
               << "' \"$@\"\nstatus=$?\nrm -rf \"$(dirname \"$last\")\"\nexit $status\n";
    }
    fs::permissions(wrapper, fs::perms::owner_all);
    const std::string dir = layout->Root() + "/gone";
    fs::create_directories(dir);
    ProcessResult r = RunCapture(*layout, {"--size", "160x90", "--frames", "30", "--ffmpeg", wrapper, "-o",
                                           dir + "/out.mp4"});
    EXPECT_EQ(r.exitCode, 1) << MessagesText(r);
    EXPECT_NE(r.output.find("ostrel-capture: ffmpeg did not write a complete " + dir + "/out.mp4"),
              std::string::npos)
        << MessagesText(r);
    EXPECT_FALSE(fs::exists(dir));
}

// A signal ends the capture, removes what it had written and says so; an
// earlier file of the same name is left as it was.
class CaptureSignalled : public ::testing::TestWithParam<const char*> {};

TEST_P(CaptureSignalled, RemovesThePartialVideo)
{
    if (FindProgram("ffmpeg").empty() || FindProgram("ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
    // The production's own soundtrack: minutes of frames, far more than the
    // three seconds before the signal.
    TempLayout layout;
    ASSERT_TRUE(layout.InstallProgram("ostrel-capture"));
    const std::string dir = layout.Root() + "/out";
    PutEarlierCapture(dir);
    const std::string command = "'" + layout.Bin() + "/ostrel-capture' --quiet --size 64x36 -o '" + dir +
                                "/keep.mp4' & pid=$!; sleep 3; kill -" + GetParam() + " $pid; wait $pid";
    ProcessResult r = RunProcess({"/bin/sh", "-c", command}, layout.Bin(), ProgramEnv(), kTimeout);
    EXPECT_EQ(r.exitCode, 1) << MessagesText(r);
    EXPECT_NE(r.output.find("ostrel-capture: interrupted after "), std::string::npos) << MessagesText(r);
    EXPECT_NE(r.output.find("no new video; " + dir + "/keep.mp4 is as it was"), std::string::npos)
        << MessagesText(r);
    ExpectOnlyTheEarlierCapture(dir);
}

INSTANTIATE_TEST_SUITE_P(Signals, CaptureSignalled, ::testing::Values("TERM", "HUP"));

// ---- PNG frames -------------------------------------------------------------------------

TEST(CaptureProcess, SameFramesOnEveryRunShownOrHidden)
{
    auto layout = CaptureLayout();
    const std::vector<std::string> common = {"--size", "320x180", "--samples", "4", "--from", "30f", "--frames", "3"};
    for (const char* dir : {"a", "b"}) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"-o", layout->Root() + "/" + dir});
        // The second run in a window that is never shown, as beside the studio.
        if (dir[0] == 'b') args.push_back("--hidden");
        ProcessResult r = RunCapture(*layout, args);
        ASSERT_EQ(r.exitCode, 0) << MessagesText(r);
        ASSERT_FALSE(r.signaled);
    }
    std::vector<std::string> frames;
    for (int n = 30; n < 33; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06d.png", n);
        std::string a, b;
        ASSERT_TRUE(ReadWholeFile(layout->Root() + "/a" + name, a)) << name;
        ASSERT_TRUE(ReadWholeFile(layout->Root() + "/b" + name, b)) << name;
        EXPECT_EQ(a, b) << "frame " << n << " differs between two runs";
        frames.push_back(a);
    }
    EXPECT_FALSE(fs::exists(layout->Root() + "/a/frame-000033.png"));
    // The camera turns between frames, so equal files mean equal renders, not empty ones.
    EXPECT_NE(frames[0], frames[1]);
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(LoadPng(layout->Root() + "/a/frame-000030.png", w, h, rgba));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
    EXPECT_GT(LitPixels(rgba), 500u);
}

// Frame n of a capture against the engine's own picture when its clock reads
// n / 60 s, rendered here frame by frame from the start as the production would.
class CaptureMatchesEngine : public ::testing::TestWithParam<bool> {};

TEST_P(CaptureMatchesEngine, FramePixelsEqualAnInProcessRender)
{
    const bool holdCamera = GetParam();
    const int width = 320, height = 180, samples = 4, frame = 24;
    auto layout = CaptureLayout(holdCamera);
    ProcessResult r = RunCapture(*layout, {"--size", "320x180", "--samples", "4", "--from", std::to_string(frame) + "f",
                                           "--frames", "1", "-o", layout->Root() + "/shots"});
    ASSERT_EQ(r.exitCode, 0) << MessagesText(r);

    int w = 0, h = 0;
    std::vector<uint8_t> captured;
    ASSERT_TRUE(LoadPng(layout->Root() + "/shots/frame-000024.png", w, h, captured));
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);

    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::unique_ptr<Engine> engine(new Engine);
    ASSERT_TRUE(engine->Init(DisplayConfig{"Ostrel capture", width, height, samples, false}));
    PopulateScene(engine->GetScene());
    std::vector<uint8_t> drawn;
    for (int n = 0; n <= frame; ++n) {
        float seconds = (float)((double)n / 60.0);
        engine->GetSyncDevice().UpdateAt(seconds);
        engine->GetScene().Render(seconds);
        if (n == frame) drawn = ReadWindowPixels(width, height);
        engine->GetWindow().SwapBuffers();
    }
    engine->Shutdown();

    ASSERT_EQ(drawn.size(), captured.size());
    size_t differing = 0;
    const size_t row = (size_t)width * 4;
    for (int y = 0; y < height; ++y) {
        // GL rows run bottom-up, PNG rows top-down.
        const uint8_t* a = &drawn[(size_t)(height - 1 - y) * row];
        const uint8_t* b = &captured[(size_t)y * row];
        for (size_t i = 0; i < row; i += 4) differing += std::memcmp(a + i, b + i, 4) != 0;
    }
    EXPECT_EQ(differing, 0u) << "of " << width * height << " pixels";
    EXPECT_GT(LitPixels(captured), 500u);
}

INSTANTIATE_TEST_SUITE_P(Camera, CaptureMatchesEngine, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "HeldView" : "Orbiting");
                         });

// ---- MP4 ---------------------------------------------------------------------------------

using Stream = std::map<std::string, std::string>;

std::vector<Stream> Probe(const std::string& file)
{
    std::string ffprobe = FindProgram("ffprobe");
    std::vector<Stream> streams;
    if (ffprobe.empty()) return streams;
    ProcessResult r = RunProcess({ffprobe, "-v", "error", "-count_frames", "-show_entries",
                                  "stream=codec_type,codec_name,width,height,nb_read_frames,start_time,duration",
                                  "-of", "default=noprint_wrappers=0", file},
                                 "", {}, 120.0);
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "[STREAM]") streams.emplace_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos && !streams.empty()) streams.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return streams;
}

// Time of the first sample louder than half of full scale in the file's audio.
double OnsetSeconds(const TempLayout& layout, const std::string& file)
{
    std::string ffmpeg = FindProgram("ffmpeg");
    std::string raw = layout.Root() + "/onset.raw";
    ProcessResult r = RunProcess({ffmpeg, "-v", "error", "-y", "-i", file, "-map", "0:a:0", "-f", "s16le", "-ac", "1",
                                  "-ar", "44100", raw},
                                 "", {}, 120.0);
    std::string bytes;
    if (r.exitCode != 0 || !ReadWholeFile(raw, bytes)) return -1.0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        int16_t s;
        std::memcpy(&s, &bytes[i], 2);
        if (std::abs((int)s) > 8000) return (double)(i / 2) / 44100.0;
    }
    return -1.0;
}

struct VideoCase {
    const char* name;
    std::vector<std::string> range;
    long frames;
    double seconds;  // length of the audio
    double onset;    // where the burst must be heard
};

void PrintTo(const VideoCase& c, std::ostream* os)
{
    *os << c.name;
}

class CaptureVideo : public ::testing::TestWithParam<VideoCase> {};

TEST_P(CaptureVideo, HasTheFramesSizeAndAlignedSound)
{
    if (FindProgram("ffmpeg").empty() || FindProgram("ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
    const VideoCase& c = GetParam();
    auto layout = CaptureLayout();
    const std::string out = layout->Root() + "/out.mp4";
    std::vector<std::string> args = {"--size", "160x90", "--samples", "4", "-o", out};
    args.insert(args.end(), c.range.begin(), c.range.end());
    ProcessResult r = RunCapture(*layout, args);
    ASSERT_EQ(r.exitCode, 0) << MessagesText(r);

    std::vector<Stream> streams = Probe(out);
    ASSERT_EQ(streams.size(), 2u);
    const Stream& video = streams[0]["codec_type"] == "video" ? streams[0] : streams[1];
    const Stream& audio = streams[0]["codec_type"] == "audio" ? streams[0] : streams[1];
    EXPECT_EQ(video.at("codec_name"), "h264");
    EXPECT_EQ(video.at("width"), "160");
    EXPECT_EQ(video.at("height"), "90");
    EXPECT_EQ(std::atol(video.at("nb_read_frames").c_str()), c.frames);
    EXPECT_EQ(audio.at("codec_name"), "aac");

    const double frame = 1.0 / 60.0;
    EXPECT_NEAR(std::atof(video.at("start_time").c_str()), 0.0, 1e-3);
    EXPECT_NEAR(std::atof(audio.at("start_time").c_str()), 0.0, 1e-3);
    double videoLength = std::atof(video.at("duration").c_str());
    double audioLength = std::atof(audio.at("duration").c_str());
    EXPECT_NEAR(videoLength, c.frames * frame, 1e-3);
    EXPECT_NEAR(audioLength, c.seconds, 0.005);
    EXPECT_LT(std::fabs(videoLength - audioLength), frame);

    // The MP3's encoder delay (and the AAC encoder's own) would move the burst
    // by some 25 ms; the sound must stay where the frames show it.
    EXPECT_NEAR(OnsetSeconds(*layout, out), c.onset, 0.002);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CaptureVideo,
    ::testing::Values(VideoCase{"WholeProduction", {}, 60, 1.0, 0.5},
                      VideoCase{"FromQuarterSecond", {"--from", "0.25s", "--frames", "30"}, 30, 0.5, 0.25},
                      // rows 11 and 22 are 0.375 s and 0.75 s: frames 23 to 44
                      VideoCase{"ByRows", {"--from", "11r", "--to", "22r"}, 22, 22.0 / 60.0, 0.5 - 23.0 / 60.0}),
    [](const ::testing::TestParamInfo<VideoCase>& info) { return std::string(info.param.name); });

}  // namespace
