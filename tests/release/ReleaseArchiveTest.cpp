// Packs this build into a release archive with scripts/make-release.sh,
// unpacks it into a clean directory and plays a deliverable from it through
// the launcher, as someone who downloaded it would.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "FrameSink.h"
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
        ProcessResult r = RunProcess({"/bin/bash", std::string(OSTREL_SOURCE_DIR) + "/scripts/make-release.sh",
                                      "--no-build", "--build-dir", OSTREL_BINARY_DIR, "--output",
                                      work->Root() + "/dist", "--version", "9.8.7-test"},
                                     "", {}, 300.0);
        packOutput = new std::string(r.output);
        packExit = r.exitCode;
        archive = new std::string(work->Root() + "/dist/ostrel-9.8.7-test-linux-x86_64.tar.gz");
        top = new std::string(work->Root() + "/unpacked/ostrel-9.8.7-test-linux-x86_64");
        if (packExit == 0) {
            fs::create_directories(work->Root() + "/unpacked");
            RunProcess({"/bin/tar", "-xzf", *archive, "-C", work->Root() + "/unpacked"}, "", {}, 120.0);
        }
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

    std::string guide;
    ASSERT_TRUE(ReadWholeFile(*top + "/HOW-TO-RUN.txt", guide));
    for (const char* needed : {"./ostrel", "libsdl2-2.0-0", "libglew2.2", "libmpg123-0", "libstb0", "xvfb"})
        EXPECT_NE(guide.find(needed), std::string::npos) << needed;
}

TEST_F(ReleaseArchive, LauncherPlaysTheDefaultDeliverableFromAnyDirectory)
{
    // A short soundtrack keeps the run to a second.
    fs::copy_file(TestData("tone-1s.mp3"), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    // Started from somewhere else entirely: the launcher finds bin/ itself.
    ProcessResult r = RunProcess({*top + "/ostrel"}, "/", ProgramEnv(), 180.0);
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = LogMessagesOf(r.output);
    auto has = [&](const char* text) { return std::find(messages.begin(), messages.end(), text) != messages.end(); };
    EXPECT_TRUE(has("Window created with title 'Ostrel', width '1600' and height '900'")) << r.output;
    EXPECT_TRUE(has("Sucessfully built soundtrack")) << r.output;
    EXPECT_TRUE(has("Engine Shutting Down")) << r.output;
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
