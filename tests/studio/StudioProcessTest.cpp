// Runs ostrel-studio from a temporary tree (bin/, res/ and choreography/)
// under the suite's X server with SDL's dummy audio, types into it with
// xdotool, and reads what it did from its log, its stills and its files.

#include <gtest/gtest.h>
#include <signal.h>
#include <stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "robustness/ProcessEnv.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}

namespace {

const char* const kSize = "320x180";

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Sleep(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    double Mean() const
    {
        double sum = 0.0;
        for (size_t i = 0; i < rgba.size(); i += 4) sum += rgba[i] + rgba[i + 1] + rgba[i + 2];
        return rgba.empty() ? 0.0 : sum / (rgba.size() / 4 * 3);
    }
};

Image LoadPng(const std::string& path)
{
    Image image;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4);
    if (data != nullptr) {
        image.rgba.assign(data, data + (size_t)image.width * image.height * 4);
        stbi_image_free(data);
    }
    return image;
}

// The studio as a child process whose log goes to a file that the test reads
// as it grows.
class StudioRun {
public:
    StudioRun(const TempLayout& layout, std::vector<std::string> args) : logPath(layout.Root() + "/studio.log")
    {
        std::vector<std::string> argv = {layout.Bin() + "/ostrel-studio", "--size", kSize};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = ProgramEnv();
        std::string bin = layout.Bin();
        pid = fork();
        if (pid == 0) {
            FILE* log = freopen(logPath.c_str(), "w", stderr);
            if (log == nullptr || dup2(2, 1) < 0 || chdir(bin.c_str()) != 0) _exit(127);
            for (std::string& entry : env) putenv(&entry[0]);
            std::vector<char*> pointers;
            for (std::string& arg : argv) pointers.push_back(&arg[0]);
            pointers.push_back(nullptr);
            execv(pointers[0], pointers.data());
            _exit(127);
        }
    }

    ~StudioRun() { Quit(); }

    std::vector<std::string> Log() const
    {
        std::string text;
        ReadWholeFile(logPath, text);
        return LogMessagesOf(text);
    }

    std::string Text() const
    {
        std::string text;
        ReadWholeFile(logPath, text);
        return text;
    }

    // The first line after the ones already seen that matches; empty on timeout.
    std::string WaitFor(const std::string& pattern, double timeout = 60.0)
    {
        std::regex re(pattern);
        double end = Now() + timeout;
        do {
            std::vector<std::string> lines = Log();
            for (; seen < lines.size(); ++seen) {
                if (std::regex_search(lines[seen], re)) return lines[seen++];
            }
            Sleep(0.02);
        } while (Now() < end && Alive());
        return "";
    }

    bool Alive()
    {
        if (pid <= 0) return false;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exitStatus = status;
            pid = -1;
            return false;
        }
        return true;
    }

    // Once the first frame is up: give the window the keyboard.
    bool Ready()
    {
        if (WaitFor("^studio: seek to row .*\\(start\\)$").empty()) return false;
        return std::system("xdotool search --sync --onlyvisible --name '^Ostrel Studio$' windowfocus --sync "
                           ">/dev/null 2>&1") == 0;
    }

    void Key(const std::string& keys) { EXPECT_EQ(std::system(("xdotool key --delay 50 " + keys).c_str()), 0); }

    // The row the studio reports now.
    double StatusRow(bool* playing = nullptr)
    {
        kill(pid, SIGUSR1);
        std::string line = WaitFor("^studio: status row ", 30.0);
        double row = NAN;
        char state[16] = "";
        if (std::sscanf(line.c_str(), "studio: status row %lf seconds %*f %15s", &row, state) < 1) return NAN;
        if (playing) *playing = std::string(state) == "playing";
        return row;
    }

    // Seek lines read "seek to row T from row F (why)".
    static bool Seek(const std::string& line, double* to, double* from)
    {
        return std::sscanf(line.c_str(), "studio: seek to row %lf from row %lf", to, from) == 2;
    }

    std::string Still()
    {
        Key("F12");
        std::string line = WaitFor("^studio: saved still ");
        size_t start = std::string("studio: saved still ").size();
        return line.empty() ? "" : line.substr(start, line.find(" at row") - start);
    }

    int Quit()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            for (int i = 0; i < 200 && Alive(); ++i) Sleep(0.05);
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, &exitStatus, 0);
                pid = -1;
            }
        }
        return WIFEXITED(exitStatus) ? WEXITSTATUS(exitStatus) : -1;
    }

private:
    pid_t pid = -1;
    int exitStatus = -1;
    std::string logPath;
    size_t seen = 0;
};

class StudioProcessTest : public ::testing::Test {
protected:
    StudioProcessTest() : layout(true, false), shots(layout.Root() + "/shots")
    {
        layout.InstallProgram("ostrel-studio");
        layout.InstallProgram("ostrel-capture");
        fs::create_directories(layout.Root() + "/choreography");
        for (const char* name : {"camera.tracks", "objects.tracks", "fx.tracks", "SECTIONS.md"})
            fs::copy_file(std::string(OSTREL_SOURCE_DIR) + "/choreography/" + name,
                          layout.Root() + "/choreography/" + name);
        fs::create_directories(shots);
    }

    std::string Choreography(const std::string& name) const { return layout.Root() + "/choreography/" + name; }

    // Replaces one track's keys in a choreography file, as a maker's save would.
    void RewriteTrack(const std::string& file, const std::string& track, const std::string& keys)
    {
        std::string text;
        ASSERT_TRUE(ReadWholeFile(Choreography(file), text));
        size_t start = text.find("track " + track + "\n");
        ASSERT_NE(start, std::string::npos);
        size_t end = text.find("\ntrack ", start + 1);
        text = text.substr(0, start) + "track " + track + "\n" + keys + (end == std::string::npos ? "" : text.substr(end));
        std::string temp = Choreography(file) + ".saving";
        FILE* out = std::fopen(temp.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        ASSERT_EQ(std::rename(temp.c_str(), Choreography(file).c_str()), 0);
    }

    TempLayout layout;
    std::string shots;
};

TEST_F(StudioProcessTest, TransportKeysMoveTheRowAndPauseHoldsIt)
{
    StudioRun studio(layout, {"--paused", "--from", "1024r", "--no-overlay"});
    ASSERT_TRUE(studio.Ready()) << studio.Text();

    // Paused, every key lands on an exact row.
    struct Step {
        const char* key;
        double row;
    } steps[] = {{"Right", 1040},     {"shift+Right", 1104}, {"Left", 1088},   {"shift+Left", 1024},
                 {"Page_Down", 2048}, {"Page_Down", 2560},   {"Page_Up", 2048}, {"Page_Up", 1024},
                 {"Home", 0}};
    for (const Step& step : steps) {
        studio.Key(step.key);
        double to = NAN, from = NAN;
        ASSERT_TRUE(StudioRun::Seek(studio.WaitFor("^studio: seek to row "), &to, &from)) << step.key;
        EXPECT_NEAR(to, step.row, 1e-6) << step.key;
        EXPECT_NEAR(studio.StatusRow(), step.row, 0.01) << step.key;
    }

    // Time passes, the row does not.
    double held = studio.StatusRow();
    Sleep(1.0);
    EXPECT_EQ(studio.StatusRow(), held);

    // Playing, a step moves by its amount from wherever the music is.
    studio.Key("space");
    ASSERT_FALSE(studio.WaitFor("^studio: playing from row").empty());
    Sleep(1.0);
    bool playing = false;
    double moving = studio.StatusRow(&playing);
    EXPECT_TRUE(playing);
    EXPECT_GT(moving, held + 5.0);
    studio.Key("Right");
    double to = NAN, from = NAN;
    ASSERT_TRUE(StudioRun::Seek(studio.WaitFor("^studio: seek to row "), &to, &from));
    EXPECT_NEAR(to - from, 16.0, 1e-6);
    EXPECT_GT(from, moving);

    // And pausing stops it again.
    studio.Key("space");
    ASSERT_FALSE(studio.WaitFor("^studio: paused at row").empty());
    double paused = studio.StatusRow(&playing);
    EXPECT_FALSE(playing);
    Sleep(0.5);
    EXPECT_EQ(studio.StatusRow(), paused);
    EXPECT_EQ(studio.Quit(), 0);
    EXPECT_EQ(studio.Text().find("OpenGL Error"), std::string::npos) << studio.Text();
}

TEST_F(StudioProcessTest, ALoopWrapsBackToItsStart)
{
    StudioRun studio(layout, {"--paused", "--from", "16:2", "--no-overlay"});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    // One bar, 16:0:0 to 17:0:0 (2.2 s), set at the bar the playhead is in.
    studio.Key("bracketleft bracketright l");
    ASSERT_FALSE(studio.WaitFor("^studio: loop 16:0:0 to 17:0:0 on").empty()) << studio.Text();
    studio.Key("space");
    std::string wrap = studio.WaitFor("^studio: loop wrapped to row ", 10.0);
    ASSERT_FALSE(wrap.empty()) << studio.Text();
    double row = NAN;
    ASSERT_EQ(std::sscanf(wrap.c_str(), "studio: loop wrapped to row %lf", &row), 1);
    EXPECT_GE(row, 1024.0);
    EXPECT_LT(row, 1024.0 + 20.0);
    // It keeps playing inside the loop.
    for (int i = 0; i < 3; ++i) {
        Sleep(0.6);
        double now = studio.StatusRow();
        EXPECT_GE(now, 1024.0);
        EXPECT_LT(now, 1088.0);
    }
}

TEST_F(StudioProcessTest, SavedEditsShowLiveAndBrokenOnesKeepTheLastGoodVersion)
{
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--no-overlay", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    ASSERT_NE(studio.Text().find("studio: compiled 53 tracks"), std::string::npos) << studio.Text();
    Image before = LoadPng(studio.Still());
    ASSERT_GT(before.Mean(), 2.0) << "the drop should be lit";

    // Fade to black from the start: the picture goes dark without a restart.
    RewriteTrack("fx.tracks", "FX.Fade", "    0:0:0      0\n");
    std::string swapped = studio.WaitFor("^studio: compiled 53 tracks", 5.0);
    ASSERT_FALSE(swapped.empty()) << studio.Text();
    double afterSave = NAN;
    ASSERT_EQ(std::sscanf(swapped.c_str() + swapped.find("; ") + 2, "%lf ms after the save", &afterSave), 1) << swapped;
    EXPECT_LT(afterSave, 500.0) << swapped;
    Image dark = LoadPng(studio.Still());
    EXPECT_LT(dark.Mean(), 0.5);

    // A typo: the error is reported where it is, and the last good tracks play on.
    RewriteTrack("fx.tracks", "FX.Fade", "    0:0:0      zero\n");
    std::string error = studio.WaitFor("fx\\.tracks:[0-9]+: ", 5.0);
    EXPECT_FALSE(error.empty()) << studio.Text();
    EXPECT_FALSE(studio.WaitFor("^studio: keeping the last good tracks", 5.0).empty());
    EXPECT_EQ(LoadPng(studio.Still()).rgba, dark.rgba);

    // Mended: the picture comes back.
    RewriteTrack("fx.tracks", "FX.Fade", "    0:0:0      1\n");
    ASSERT_FALSE(studio.WaitFor("^studio: compiled 53 tracks", 5.0).empty()) << studio.Text();
    Image lit = LoadPng(studio.Still());
    EXPECT_GT(lit.Mean(), 2.0);

    // A shader that does not compile keeps the last good program.
    std::string mix;
    ASSERT_TRUE(ReadWholeFile(layout.Path("shaders/Mix.frag"), mix));
    ASSERT_TRUE(layout.WriteFile("shaders/Mix.frag", mix + "\nthis is not glsl\n"));
    EXPECT_FALSE(studio.WaitFor("^studio: the program FullscreenQuad.vert \\+ Mix.frag did not build", 5.0).empty())
        << studio.Text();
    EXPECT_EQ(LoadPng(studio.Still()).rgba, lit.rgba);
    // A shader edit that builds takes over: a Mix that lifts every pixel to
    // at least half grey (and still reads every uniform the chain sets).
    size_t out = mix.find("    fragColor = ");
    ASSERT_NE(out, std::string::npos) << "Mix.frag writes its result differently";
    ASSERT_TRUE(layout.WriteFile("shaders/Mix.frag",
                                 mix.substr(0, out) + "    colour = max(colour, vec3(0.5));\n" + mix.substr(out)));
    EXPECT_FALSE(studio.WaitFor("^studio: rebuilt the program FullscreenQuad.vert \\+ Mix.frag", 5.0).empty())
        << studio.Text();
    EXPECT_GT(LoadPng(studio.Still()).Mean(), 126.0);
    EXPECT_EQ(studio.Quit(), 0);
    EXPECT_EQ(studio.Text().find("OpenGL Error"), std::string::npos) << studio.Text();
}

TEST_F(StudioProcessTest, APausedFrameEqualsTheCapturedFrame)
{
    // Frame 3068 at 60 fps (row 1500, in the drop), at the same size and samples.
    ProcessResult capture = RunProcess({layout.Bin() + "/ostrel-capture", "--quiet", "--size", kSize, "--from",
                                        "3068f", "--frames", "1", "-o", shots + "/"},
                                       layout.Bin(), ProgramEnv(), 240.0);
    ASSERT_EQ(capture.exitCode, 0) << capture.output;
    Image captured = LoadPng(shots + "/frame-003068.png");
    ASSERT_FALSE(captured.rgba.empty());

    StudioRun studio(layout, {"--paused", "--from", "3068f", "--no-overlay", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    Image still = LoadPng(studio.Still());
    ASSERT_EQ(still.width, captured.width);
    ASSERT_EQ(still.height, captured.height);
    EXPECT_GT(captured.Mean(), 2.0);
    EXPECT_TRUE(still.rgba == captured.rgba) << "the paused studio frame differs from the captured one";
}

TEST_F(StudioProcessTest, AResizedWindowRendersWholeAtItsNewSize)
{
    ProcessResult capture = RunProcess({layout.Bin() + "/ostrel-capture", "--quiet", "--size", "480x270", "--from",
                                        "3068f", "--frames", "1", "-o", shots + "/"},
                                       layout.Bin(), ProgramEnv(), 240.0);
    ASSERT_EQ(capture.exitCode, 0) << capture.output;
    Image captured = LoadPng(shots + "/frame-003068.png");

    StudioRun studio(layout, {"--paused", "--from", "3068f", "--no-overlay", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    ASSERT_EQ(std::system("xdotool search --name '^Ostrel Studio$' windowsize --sync 480 270 >/dev/null 2>&1"), 0);
    ASSERT_FALSE(studio.WaitFor("^studio: resized to 480x270").empty()) << studio.Text();
    Image still = LoadPng(studio.Still());
    ASSERT_EQ(still.width, 480);
    ASSERT_EQ(still.height, 270);
    EXPECT_TRUE(still.rgba == captured.rgba) << "the resized studio frame differs from a capture at that size";
    EXPECT_EQ(studio.Quit(), 0);
    EXPECT_EQ(studio.Text().find("OpenGL Error"), std::string::npos) << studio.Text();
}

}  // namespace
