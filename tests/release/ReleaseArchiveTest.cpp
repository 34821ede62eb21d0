// Packs this build into a release archive with scripts/make-release.sh,
// unpacks it into a clean directory and plays a deliverable from it through
// the launcher, as someone who downloaded it would.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "FrameSink.h"
#include "PackRelease.h"
#include "robustness/ProcessEnv.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kDeliverables[] = {"ostrel-1600x900-4x", "ostrel-1920x1080-4x", "ostrel-1920x1080-8x",
                                     "ostrel-1920x1080-16x"};

class ReleaseArchive : public ::testing::Test {
protected:
    // One archive for all tests: packing copies the whole res/ tree.
    static void SetUpTestSuite()
    {
        work = new TempLayout(false, false);
        PackedRelease r = PackRelease(work->Root(), "9.8.7-test", work->Root() + "/unpacked");
        packOutput = new std::string(r.output);
        packExit = r.exitCode;
        archive = new std::string(r.archive);
        top = new std::string(r.top);
    }
    static void TearDownTestSuite()
    {
        delete work;
        delete packOutput;
        delete archive;
        delete top;
    }
    void SetUp() override { ASSERT_EQ(packExit, 0) << *packOutput; }

    static TempLayout* work;
    static std::string* packOutput;
    static int packExit;
    static std::string* archive;
    static std::string* top;
};

TempLayout* ReleaseArchive::work = nullptr;
std::string* ReleaseArchive::packOutput = nullptr;
int ReleaseArchive::packExit = -1;
std::string* ReleaseArchive::archive = nullptr;
std::string* ReleaseArchive::top = nullptr;

TEST_F(ReleaseArchive, HoldsTheDeliverablesResourcesLauncherAndGuide)
{
    ASSERT_TRUE(fs::exists(*archive)) << *packOutput;
    for (const char* d : kDeliverables) {
        struct stat st;
        ASSERT_EQ(stat((*top + "/bin/" + d).c_str(), &st), 0) << d;
        EXPECT_TRUE(st.st_mode & S_IXUSR) << d;
    }
    // Nothing but the four deliverables in bin/: no tools, tests or benchmarks.
    EXPECT_EQ(std::distance(fs::directory_iterator(*top + "/bin"), fs::directory_iterator()), 4);
    for (const char* file : {"res/audio/melody.mp3", "res/shaders/FullscreenQuad.vert", "res/shaders/Wireframe.frag",
                             "res/textures/smoothNoise.png", "HOW-TO-RUN.txt"})
        EXPECT_TRUE(fs::is_regular_file(*top + "/" + file)) << file;
    EXPECT_EQ(access((*top + "/ostrel").c_str(), X_OK), 0);

    // The guide asks for nothing to be installed but what every desktop has.
    std::string guide;
    ASSERT_TRUE(ReadWholeFile(*top + "/HOW-TO-RUN.txt", guide));
    for (const char* needed : {"./ostrel", "--list", "glibc 2.31", "OpenGL", "xvfb"})
        EXPECT_NE(guide.find(needed), std::string::npos) << needed;
    for (const char* package : {"apt-get install", "libsdl2", "libglew", "libmpg123", "libstb"})
        EXPECT_EQ(guide.find(package), std::string::npos) << package;
}

// Runs the unpacked launcher from "/" on a virtual screen of the given size.
ProcessResult RunLauncherOnScreen(const std::string& top, const std::string& screen,
                                  const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {top + "/ostrel"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunOnOwnScreen(screen, argv, "/", ProgramEnv(), 180.0);
}

int CountOf(const std::vector<std::string>& messages, const std::string& text)
{
    return static_cast<int>(std::count(messages.begin(), messages.end(), text));
}

TEST_F(ReleaseArchive, LauncherPlaysTheSizeNearestTheScreenFromAnyDirectory)
{
    if (FindProgram("xvfb-run").empty()) GTEST_SKIP() << "xvfb-run is not installed";
    // A short soundtrack keeps the run to a second.
    fs::copy_file(TestData("tone-1s.mp3"), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    // Started from somewhere else entirely: the launcher finds bin/ itself. A
    // 1366x768 screen is nearer 1600x900 than full HD.
    ProcessResult r = RunLauncherOnScreen(*top, "1366x768", {});
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = LogMessagesOf(r.output);
    auto has = [&](const char* text) { return std::find(messages.begin(), messages.end(), text) != messages.end(); };
    EXPECT_TRUE(has("Window created with title 'Ostrel', width '1600' and height '900'")) << r.output;
    EXPECT_TRUE(has("Sucessfully built soundtrack")) << r.output;
    EXPECT_TRUE(has("Engine Shutting Down")) << r.output;
}

TEST_F(ReleaseArchive, LauncherFallsBackToTheMostSamplesTheDriverGives)
{
    if (FindProgram("xvfb-run").empty()) GTEST_SKIP() << "xvfb-run is not installed";
    fs::copy_file(TestData("tone-1s.mp3"), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    // Mesa's llvmpipe gives windows with 4 samples at most: 16x and 8x fail
    // to get one, and the full HD screen ends up with the 4x deliverable.
    ProcessResult r = RunLauncherOnScreen(*top, "1920x1080", {});
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    size_t at16 = r.output.find("ostrel: starting ostrel-1920x1080-16x");
    size_t at8 = r.output.find("ostrel: starting ostrel-1920x1080-8x");
    size_t at4 = r.output.find("ostrel: starting ostrel-1920x1080-4x");
    ASSERT_NE(at16, std::string::npos) << r.output;
    ASSERT_NE(at8, std::string::npos) << r.output;
    ASSERT_NE(at4, std::string::npos) << r.output;
    EXPECT_LT(at16, at8);
    EXPECT_LT(at8, at4);
    std::vector<std::string> messages = LogMessagesOf(r.output);
    EXPECT_EQ(CountOf(messages, "Failed to create window!"), 2) << r.output;
    EXPECT_EQ(CountOf(messages, "Window created with title 'Ostrel', width '1920' and height '1080'"), 1) << r.output;
    EXPECT_EQ(CountOf(messages, "Engine Shutting Down"), 1) << r.output;
}

TEST_F(ReleaseArchive, LauncherRunsANamedDeliverableAsAsked)
{
    if (FindProgram("xvfb-run").empty()) GTEST_SKIP() << "xvfb-run is not installed";
    // Asked for 8x where the driver has no such window: no fallback to 4x.
    ProcessResult r = RunLauncherOnScreen(*top, "1920x1080", {"1920x1080-8x"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = LogMessagesOf(r.output);
    EXPECT_EQ(CountOf(messages, "Failed to create window!"), 1) << r.output;
    EXPECT_EQ(r.output.find("Window created"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("ostrel: starting"), std::string::npos) << r.output;
}

TEST_F(ReleaseArchive, LauncherListsWhichDeliverablesRunHere)
{
    if (FindProgram("xvfb-run").empty()) GTEST_SKIP() << "xvfb-run is not installed";
    ProcessResult r = RunLauncherOnScreen(*top, "1920x1080", {"--list"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // One line per deliverable: its name, then whether it got a window.
    std::map<std::string, std::string> listed;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name, answer, more;
        if (words >> name >> answer && !(words >> more)) listed[name] = answer;
    }
    const std::pair<const char*, const char*> expected[] = {
        {"1600x900-4x", "yes"}, {"1920x1080-4x", "yes"}, {"1920x1080-8x", "no"}, {"1920x1080-16x", "no"}};
    for (const auto& [name, answer] : expected) EXPECT_EQ(listed[name], answer) << name << "\n" << r.output;
}

TEST_F(ReleaseArchive, LauncherNamesTheChoicesForAnUnknownDeliverable)
{
    ProcessResult r = RunProcess({*top + "/ostrel", "640x480-2x"}, "/", ProgramEnv(), 30.0);
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find("no deliverable '640x480-2x'"), std::string::npos) << r.output;
    for (const char* choice : {"1600x900-4x", "1920x1080-16x"}) EXPECT_NE(r.output.find(choice), std::string::npos);
}

TEST_F(ReleaseArchive, LauncherFallsBackToAVirtualScreenAndSilence)
{
    if (FindProgram("xvfb-run").empty()) GTEST_SKIP() << "xvfb-run is not installed";
    fs::copy_file(TestData("tone-1s.mp3"), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    // No display, no sound server, no driver chosen: the launcher must say so
    // and still play the production to its end.
    ProcessResult r = RunProcess({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "SDL_AUDIODRIVER",
                                  "XDG_RUNTIME_DIR=/nonexistent", *top + "/ostrel", "ostrel-1920x1080-4x"},
                                 "/", {"ASAN_OPTIONS=detect_leaks=0"}, 180.0);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("ostrel: no display"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("ostrel: no sound card"), std::string::npos) << r.output;
    std::vector<std::string> messages = LogMessagesOf(r.output);
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Engine Shutting Down"), messages.end()) << r.output;
}

}  // namespace
