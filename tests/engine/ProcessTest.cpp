// Runs the real deliverables from a temporary bin/ + res/ layout under the
// suite's X server with SDL's dummy audio driver.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/TestSupport.h"

namespace {

const char* const kDeliverable = "ostrel-1600x900-4x";

std::vector<std::string> Env()
{
    return {"SDL_AUDIODRIVER=dummy"};
}

// True when needles appear in haystack in this order (other lines may stand between).
bool InOrder(const std::vector<std::string>& haystack, const std::vector<std::string>& needles)
{
    auto it = haystack.begin();
    for (const std::string& needle : needles) {
        it = std::find(it, haystack.end(), needle);
        if (it == haystack.end()) return false;
        ++it;
    }
    return true;
}

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const std::string& line : lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix)
{
    int n = 0;
    for (const std::string& line : lines) n += line.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return n;
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(layout.InstallProgram(kDeliverable));
        ASSERT_TRUE(layout.CopyFile(TestData("tone-1s.mp3"), "audio/melody.mp3"));
    }

    ProcessResult Run(const std::string& program, double timeout = 60.0)
    {
        return RunProcess({layout.Bin() + "/" + program}, layout.Bin(), Env(), timeout);
    }

    TempLayout layout{true, false};
};

const std::vector<std::string> kStartup = {
    "Initializing Engine",
    "Window created with title 'Ostrel', width '1600' and height '900'",
    "Initialized window",
    "Sucessfully initialized GLEW",
    "Sucessfully initialized BASS Audio Device",
    "Sucessfully initialized Sync Device",
    "Sucessfully built soundtrack",
};

const std::vector<std::string> kShutdown = {
    "Engine Shutting Down",
    "Shut down Scene",
    "Shutting down window",
};

TEST_F(ProcessTest, PlaysToTheEndOfTheMusicAndShutsDownInOrder)
{
    ProcessResult r = Run(kDeliverable);
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_FALSE(r.signaled) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;

    std::vector<std::string> log = LogMessagesOf(r.output);
    EXPECT_TRUE(InOrder(log, kStartup)) << r.output;
    EXPECT_TRUE(InOrder(log, kShutdown)) << r.output;
    for (const char* prefix : {"OpenGL Vendor: ", "OpenGL Renderer: ", "OpenGL Version: ", "OpenGL GLSL Version: "}) {
        EXPECT_EQ(CountPrefix(log, prefix), 1) << prefix;
    }
    // The driver strings come between the context and the creation line.
    auto vendor = std::find_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("OpenGL Vendor: ", 0) == 0; });
    auto created = std::find(log.begin(), log.end(), kStartup[1]);
    EXPECT_LT(vendor, created);

    EXPECT_FALSE(HasPrefix(log, "OpenGL Error Encountered!")) << r.output;
    EXPECT_FALSE(HasPrefix(log, "Failed")) << r.output;
    // Ends by itself with the music: no quit line, and not long after a 1 s song.
    EXPECT_FALSE(HasPrefix(log, "Escape key pressed!"));
    EXPECT_FALSE(HasPrefix(log, "Received quit message"));
    EXPECT_GE(r.seconds, 1.0);
    // Nothing but log lines reaches the terminal.
    EXPECT_EQ(LogMessagesOf(r.output).size(),
              (size_t)std::count(r.output.begin(), r.output.end(), '\n'))
        << r.output;
}

TEST_F(ProcessTest, AnEglContextFromSdlStillRuns)
{
    ProcessResult r = RunProcess({layout.Bin() + "/" + kDeliverable}, layout.Bin(),
                                 {"SDL_AUDIODRIVER=dummy", "SDL_VIDEO_X11_FORCE_EGL=1"}, 60.0);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> log = LogMessagesOf(r.output);
    EXPECT_TRUE(InOrder(log, kStartup)) << r.output;
    EXPECT_TRUE(InOrder(log, kShutdown)) << r.output;
    EXPECT_FALSE(HasPrefix(log, "OpenGL Error Encountered!")) << r.output;
}

TEST_F(ProcessTest, MissingMusicFailsStartUpWithExitCodeZero)
{
    layout.RemoveFile("audio/melody.mp3");
    ProcessResult r = Run(kDeliverable);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(r.signaled);
    std::vector<std::string> log = LogMessagesOf(r.output);
    ASSERT_GE(log.size(), 3u) << r.output;
    EXPECT_EQ(log[log.size() - 3], "Failed to create soundtrack in bass audio device!");
    EXPECT_EQ(log[log.size() - 2].rfind("BASS Error Code: ", 0), 0u) << log[log.size() - 2];
    EXPECT_EQ(log.back(), "Failed to build soundtrack!");
    EXPECT_FALSE(HasPrefix(log, "Engine Shutting Down"));
}

// With no display to reach, SDL would fall back to a driver that shows
// nothing; the run is refused in one line instead of playing unseen.
TEST_F(ProcessTest, NoReachableDisplayIsRefusedInOneLine)
{
    ProcessResult r = RunProcess({layout.Bin() + "/" + kDeliverable}, layout.Bin(),
                                 {"SDL_AUDIODRIVER=dummy", "DISPLAY=:7391", "WAYLAND_DISPLAY=ostrel-none"}, 60.0);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(r.signaled);
    std::vector<std::string> log = LogMessagesOf(r.output);
    ASSERT_GE(log.size(), 2u) << r.output;
    EXPECT_EQ(log[log.size() - 2], "No display to show the picture on: DISPLAY=:7391 reaches no X server and no "
                                   "Wayland display answers; start it on a desktop or under xvfb-run")
        << r.output;
    EXPECT_EQ(log.back(), "Failed to initialize window!");
    EXPECT_FALSE(HasPrefix(log, "Initialized window"));
}

TEST(DeliverableTest, SixteenAndEightSamplesFailCleanlyWhereTheDriverHasNoSuchVisual)
{
    for (const char* program : {"ostrel-1920x1080-16x", "ostrel-1920x1080-8x"}) {
        TempLayout layout(true, false);
        ASSERT_TRUE(layout.InstallProgram(program));
        ASSERT_TRUE(layout.CopyFile(TestData("tone-1s.mp3"), "audio/melody.mp3"));
        ProcessResult r = RunProcess({layout.Bin() + "/" + program}, layout.Bin(), Env(), 60.0);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        std::vector<std::string> log = LogMessagesOf(r.output);
        if (HasPrefix(log, "Window created with title 'Ostrel', width '1920' and height '1080'")) {
            // A driver that does offer the visual simply plays the run.
            EXPECT_TRUE(InOrder(log, kShutdown)) << r.output;
            continue;
        }
        ASSERT_GE(log.size(), 2u) << r.output;
        EXPECT_EQ(log[log.size() - 2], "Failed to create window!");
        EXPECT_EQ(log.back(), "Failed to initialize window!");
    }
}

TEST(DeliverableTest, FullHdFourSamplesOpensAtItsSize)
{
    TempLayout layout(true, false);
    ASSERT_TRUE(layout.InstallProgram("ostrel-1920x1080-4x"));
    ASSERT_TRUE(layout.CopyFile(TestData("tone-1s.mp3"), "audio/melody.mp3"));
    ProcessResult r = RunProcess({layout.Bin() + "/ostrel-1920x1080-4x"}, layout.Bin(), Env(), 60.0);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> log = LogMessagesOf(r.output);
    EXPECT_TRUE(InOrder(log, {"Window created with title 'Ostrel', width '1920' and height '1080'",
                              "Engine Shutting Down", "Shutting down window"}))
        << r.output;
    EXPECT_FALSE(HasPrefix(log, "OpenGL Error Encountered!")) << r.output;
}

// Runs a long song and interrupts it from outside once its window is up.
class InterruptTest : public ProcessTest {
protected:
    static int CommandOutputInt(const std::string& command)
    {
        FILE* p = popen(command.c_str(), "r");
        int value = 0;
        if (p) {
            if (fscanf(p, "%d", &value) != 1) value = 0;
            pclose(p);
        }
        return value;
    }

    ProcessResult RunAndInterrupt(const std::function<void(pid_t)>& interrupt)
    {
        EXPECT_TRUE(layout.CopyFile(TestData("tone-10s.mp3"), "audio/melody.mp3"));
        std::atomic<bool> done{false};
        std::thread sender([&] {
            for (int i = 0; i < 250 && !done; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (CommandOutputInt("xdotool search --name '^Ostrel$' 2>/dev/null | head -n 1") == 0) continue;
                // The bracket keeps the pattern from matching the shell that runs pgrep.
                int pid = CommandOutputInt("pgrep -n -f '" + layout.Bin() + "/[o]strel-1600x900-4x'");
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                if (pid > 0) interrupt((pid_t)pid);
                break;
            }
        });
        ProcessResult r = Run(kDeliverable, 60.0);
        done = true;
        sender.join();
        return r;
    }
};

TEST_F(InterruptTest, EscapeEndsTheRunWithAFullShutdown)
{
    ProcessResult r = RunAndInterrupt([](pid_t) {
        if (system("xdotool key Escape") != 0) {
        }
    });
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> log = LogMessagesOf(r.output);
    std::vector<std::string> expected = {"Escape key pressed!"};
    expected.insert(expected.end(), kShutdown.begin(), kShutdown.end());
    EXPECT_TRUE(InOrder(log, expected)) << r.output;
}

TEST_F(InterruptTest, CloseRequestEndsTheRunWithAFullShutdown)
{
    // SDL turns SIGTERM into the same quit request as a window close.
    ProcessResult r = RunAndInterrupt([](pid_t pid) { kill(pid, SIGTERM); });
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> log = LogMessagesOf(r.output);
    std::vector<std::string> expected = {"Received quit message from event system!"};
    expected.insert(expected.end(), kShutdown.begin(), kShutdown.end());
    EXPECT_TRUE(InOrder(log, expected)) << r.output;
}

}  // namespace
