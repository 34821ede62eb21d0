// Runs ostrel-studio from a temporary tree (bin/, res/ and choreography/)
// under the suite's X server with SDL's dummy audio, types into it with
// xdotool, and reads what it did from its log, its stills and its files.

#include <gtest/gtest.h>
#include <signal.h>
#include <stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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
    // Started in bin/ beside res/, or in `cwd` when given.
    StudioRun(const TempLayout& layout, std::vector<std::string> args, std::string cwd = "")
        : logPath(layout.Root() + "/studio.log")
    {
        std::vector<std::string> argv = {layout.Bin() + "/ostrel-studio", "--size", kSize};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = ProgramEnv();
        std::string bin = cwd.empty() ? layout.Bin() : cwd;
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

    // The bar:beat:row the studio reports now, as its overlay shows it.
    std::string StatusPosition()
    {
        kill(pid, SIGUSR1);
        std::string line = WaitFor("^studio: status row ", 30.0);
        size_t at = line.rfind(" at ");
        return at == std::string::npos ? "" : line.substr(at + 4);
    }

    // User and system time of the whole process (the GL driver's threads too).
    double CpuSeconds() const
    {
        std::string stat;
        if (pid <= 0 || !ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", stat)) return NAN;
        size_t end = stat.rfind(')');
        unsigned long user = 0, system = 0;
        if (end == std::string::npos ||
            std::sscanf(stat.c_str() + end + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                        &system) != 2)
            return NAN;
        return (double)(user + system) / (double)sysconf(_SC_CLK_TCK);
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

    pid_t Pid() const { return pid; }

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

// What "capturing rows A to B into PATH (pid N, working in DIR)" names.
struct CaptureStart {
    int from = -1, to = -1;
    std::string path, dir;
    pid_t pid = -1;
};

CaptureStart ParseCaptureStart(const std::string& line)
{
    CaptureStart c;
    std::smatch m;
    if (std::regex_search(line, m, std::regex("capturing rows (\\d+) to (\\d+) into (.+) \\(pid (\\d+), working in (.+)\\)$"))) {
        c.from = std::stoi(m[1]);
        c.to = std::stoi(m[2]);
        c.path = m[3];
        c.pid = (pid_t)std::stol(m[4]);
        c.dir = m[5];
    }
    return c;
}

bool Ended(pid_t pid)
{
    return kill(pid, 0) != 0 && errno == ESRCH;
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

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
    // From the whole row it is in, to a whole row.
    EXPECT_EQ(to, std::floor(to));
    EXPECT_GT(to - from, 15.0);
    EXPECT_LE(to - from, 16.01);
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

// The lines of a text file, each with its end of line.
std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size() - 1);
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

TEST_F(StudioProcessTest, KeysEditTheTextInPlaceAndUndoRestoresItByteForByte)
{
    // 16:1:8 lies between FX.Fade's drop key (16:0:0, 1) and the next one.
    StudioRun studio(layout, {"--paused", "--from", "16:1:8", "--curves", "FX.Fade", "--no-overlay", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    std::string original;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), original));
    Image lit = LoadPng(studio.Still());

    // K: one line more, in row order, and no other byte changed.
    studio.Key("k");
    std::string inserted = studio.WaitFor("^studio: FX.Fade: inserted 16:1:8 1 step at fx.tracks:[0-9]+ ");
    ASSERT_FALSE(inserted.empty()) << studio.Text();
    std::string text;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), text));
    std::vector<std::string> before = LinesOf(original), after = LinesOf(text);
    ASSERT_EQ(after.size(), before.size() + 1);
    size_t at = 0;
    while (at < before.size() && before[at] == after[at]) ++at;
    EXPECT_EQ(after[at], "    16:1:8     1         step\n");
    EXPECT_EQ(after[at - 1], "    16:0:0     1         step\n");
    after.erase(after.begin() + (long)at);
    EXPECT_EQ(after, before);
    const std::string where = "fx.tracks:" + std::to_string(at + 1) + " ";
    EXPECT_NE(inserted.find(where), std::string::npos) << inserted;

    // Each - lowers that line's value; Shift makes it ten steps.
    double last = 1.0;
    int edits = 1;
    for (const char* key : {"minus", "minus", "shift+minus", "shift+minus", "shift+minus"}) {
        studio.Key(key);
        ASSERT_FALSE(studio.WaitFor("^studio: FX.Fade: 16:1:8 .* -> .* at " + where).empty()) << studio.Text();
        ++edits;
        ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), text));
        std::string line = LinesOf(text)[at];
        double value = NAN;
        ASSERT_EQ(std::sscanf(line.c_str(), " 16:1:8 %lf step", &value), 1) << line;
        EXPECT_LT(value, last) << line;
        last = value;
    }
    EXPECT_LT(last, 0.9);
    Image darker = LoadPng(studio.Still());
    EXPECT_LT(darker.Mean(), lit.Mean() * 0.95);

    // As many undos as edits: the file to the byte, and the picture with it.
    for (int i = 0; i < edits; ++i) {
        studio.Key("ctrl+z");
        ASSERT_FALSE(studio.WaitFor("^studio: undid FX.Fade").empty()) << studio.Text();
    }
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), text));
    EXPECT_EQ(text, original);
    EXPECT_EQ(LoadPng(studio.Still()).rgba, lit.rgba);

    // A save from an editor between two studio edits is not undone.
    studio.Key("k");
    ASSERT_FALSE(studio.WaitFor("^studio: FX.Fade: inserted ").empty()) << studio.Text();
    RewriteTrack("fx.tracks", "FX.Flash", "    0:0:0      0.25\n");
    ASSERT_FALSE(studio.WaitFor("^studio: compiled 53 tracks .* after the save").empty()) << studio.Text();
    std::string saved;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), saved));
    studio.Key("minus");
    ASSERT_FALSE(studio.WaitFor("^studio: FX.Fade: 16:1:8 ").empty()) << studio.Text();
    studio.Key("ctrl+z ctrl+z");
    ASSERT_FALSE(studio.WaitFor("^studio: undid FX.Fade").empty()) << studio.Text();
    ASSERT_FALSE(studio.WaitFor("studio: not undone: .*fx.tracks changed outside the studio").empty()) << studio.Text();
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), text));
    EXPECT_EQ(text, saved);

    // . and , step the playhead to the next and previous keys of FX.Fade
    // (16:0:0, the one inserted at 16:1:8, 47:3:8).
    for (const auto& step : std::vector<std::pair<const char*, double>>{
             {"period", 3064.0}, {"comma", 1048.0}, {"comma", 1024.0}, {"period", 1048.0}}) {
        studio.Key(step.first);
        double to = NAN, from = NAN;
        ASSERT_TRUE(StudioRun::Seek(studio.WaitFor("^studio: seek to row .*\\(key\\)$"), &to, &from)) << step.first;
        EXPECT_EQ(to, step.second) << step.first;
    }
    EXPECT_EQ(studio.Quit(), 0);
    EXPECT_EQ(studio.Text().find("OpenGL Error"), std::string::npos) << studio.Text();
}

// The overlay at 1280x720 with one curve: the points below are where Dear
// ImGui lays out the FX.Fade curve's middle (the playhead) and the panel's
// "View" section.
TEST_F(StudioProcessTest, TheMouseEditsKeysOnTheCurveAndViewSwitchesLeaveTheTextAlone)
{
    StudioRun studio(layout, {"--size", "1280x720", "--samples", "1", "--paused", "--from", "1500r", "--curves",
                              "FX.Fade", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    std::string original, gridBefore;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), original));
    ASSERT_TRUE(ReadWholeFile(layout.Path("sync/_Grid.Visible.track"), gridBefore));
    ASSERT_GT(gridBefore.size(), 4u + 9) << "the grid track should have more than one key";
    auto mouse = [](const std::string& actions) {
        EXPECT_EQ(std::system(("xdotool search --name '^Ostrel Studio$' " + actions + " >/dev/null 2>&1").c_str()), 0)
            << actions;
    };

    // A double click on the curve inserts a key at the row under the mouse.
    mouse("mousemove --window %1 1080 84 click --repeat 2 --delay 80 1");
    ASSERT_FALSE(studio.WaitFor("^studio: FX.Fade: inserted 23:1:12 1 step at fx.tracks:").empty()) << studio.Text();
    // Its dot dragged down lowers its value, written once on release.
    Sleep(1.0);
    for (const char* step : {"mousemove --window %1 1080 84 mousedown 1", "mousemove --window %1 1080 92",
                             "mousemove --window %1 1080 100", "mouseup 1"}) {
        mouse(step);
        Sleep(0.5);
    }
    std::string lowered = studio.WaitFor("^studio: FX.Fade: 23:1:12 1 -> ");
    ASSERT_FALSE(lowered.empty()) << studio.Text();
    double value = NAN;
    ASSERT_EQ(std::sscanf(lowered.c_str(), "studio: FX.Fade: 23:1:12 1 -> %lf", &value), 1) << lowered;
    EXPECT_GT(value, 0.5);
    EXPECT_LT(value, 0.9);
    std::string text;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), text));
    EXPECT_EQ(LinesOf(text).size(), LinesOf(original).size() + 1);

    // Muting the grid changes the picture and nothing written.
    studio.Key("Tab");
    Image shown = LoadPng(studio.Still());
    studio.Key("Tab");
    mouse("mousemove --window %1 960 251 click 1");
    Sleep(1.0);
    mouse("mousemove --window %1 905 274 click 1");
    ASSERT_FALSE(studio.WaitFor("^studio: view: muted Grid$").empty()) << studio.Text();
    studio.Key("Tab");
    Image muted = LoadPng(studio.Still());
    EXPECT_NE(muted.rgba, shown.rgba);
    EXPECT_LT(muted.Mean(), shown.Mean());
    std::string after;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), after));
    EXPECT_EQ(after, text);
    // S writes the text's tracks, not the view.
    studio.Key("s");
    ASSERT_FALSE(studio.WaitFor("^studio: wrote 53 tracks into ").empty()) << studio.Text();
    std::string grid;
    ASSERT_TRUE(ReadWholeFile(layout.Path("sync/_Grid.Visible.track"), grid));
    EXPECT_EQ(grid, gridBefore) << "the saved grid is the text's";
    EXPECT_EQ(studio.Quit(), 0);
    EXPECT_EQ(studio.Text().find("OpenGL Error"), std::string::npos) << studio.Text();
}

TEST_F(StudioProcessTest, APausedFrameEqualsTheCapturedFrame)
{
    // Frame 3068 at 60 fps (row 1499.9, in the drop), and the whole row
    // 23:1:8 (row 1496), which falls on frame 3060 at 51 s exactly; at the same
    // size and samples.
    struct Case {
        const char* from;
        const char* frame;
        const char* file;
    } cases[] = {{"3068f", "3068f", "/frame-003068.png"}, {"23:1:8", "3060f", "/frame-003060.png"}};
    for (const Case& c : cases) {
        ProcessResult capture = RunProcess({layout.Bin() + "/ostrel-capture", "--quiet", "--size", kSize, "--from",
                                            c.frame, "--frames", "1", "-o", shots + "/"},
                                           layout.Bin(), ProgramEnv(), 240.0);
        ASSERT_EQ(capture.exitCode, 0) << capture.output;
        Image captured = LoadPng(shots + c.file);
        ASSERT_FALSE(captured.rgba.empty());

        StudioRun studio(layout, {"--paused", "--from", c.from, "--no-overlay", "--shots", shots});
        ASSERT_TRUE(studio.Ready()) << studio.Text();
        Image still = LoadPng(studio.Still());
        ASSERT_EQ(still.width, captured.width);
        ASSERT_EQ(still.height, captured.height);
        EXPECT_GT(captured.Mean(), 2.0) << c.from;
        EXPECT_TRUE(still.rgba == captured.rgba) << c.from << ": the paused studio frame differs from the captured one";
    }
}

// Every move lands on the row asked for, and bar:beat:row shows that row.
TEST_F(StudioProcessTest, MovesLandOnTheRowsAskedFor)
{
    StudioRun studio(layout, {"--paused", "--from", "17b", "--no-overlay"});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    EXPECT_EQ(studio.StatusRow(), 1088.0);
    EXPECT_EQ(studio.StatusPosition(), "17:0:0");

    // `[` here, two bars on, `]`: a loop of exactly those two bars.
    studio.Key("bracketleft");
    EXPECT_FALSE(studio.WaitFor("^studio: loop 17:0:0 to 18:0:0 off$").empty()) << studio.Text();
    studio.Key("shift+Right shift+Right");
    EXPECT_FALSE(studio.WaitFor("^studio: seek to row 1216\\.00 from row 1152\\.00 \\(bar\\)$").empty()) << studio.Text();
    EXPECT_EQ(studio.StatusPosition(), "19:0:0");
    studio.Key("bracketright");
    EXPECT_FALSE(studio.WaitFor("^studio: loop 17:0:0 to 19:0:0 off$").empty()) << studio.Text();

    // A row at a time, and PageUp, Right, Right: a whole beat into the section.
    struct Step {
        const char* key;
        double row;
        const char* position;
    } steps[] = {{"alt+Right", 1217, "19:0:1"}, {"alt+Right", 1218, "19:0:2"}, {"alt+Left", 1217, "19:0:1"},
                 {"Page_Up", 1024, "16:0:0"},   {"Right", 1040, "16:1:0"},    {"Right", 1056, "16:2:0"}};
    for (const Step& step : steps) {
        studio.Key(step.key);
        double to = NAN, from = NAN;
        ASSERT_TRUE(StudioRun::Seek(studio.WaitFor("^studio: seek to row "), &to, &from)) << step.key;
        EXPECT_EQ(to, step.row) << step.key;
        EXPECT_EQ(studio.StatusRow(), step.row) << step.key;
        EXPECT_EQ(studio.StatusPosition(), step.position) << step.key;
    }

    // Clicks on the timeline (the overlay's bottom strip) land on a row, or
    // with Shift on a beat, wherever the pointer is between them.
    studio.Key("Tab");
    Sleep(1.0);  // laid out once, so that the press finds the timeline under it
    struct Click {
        int x;
        const char* how;
        int grid;
    } clicks[] = {{101, "click 1", 1}, {143, "keydown shift click 1 keyup shift", 16}, {211, "click 1", 1}};
    for (const Click& click : clicks) {
        ASSERT_EQ(std::system(("xdotool search --name '^Ostrel Studio$' mousemove --window %1 " +
                               std::to_string(click.x) + " 170 " + click.how + " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        double to = NAN, from = NAN;
        std::string line = studio.WaitFor("^studio: seek to row .*\\(timeline\\)$", 10.0);
        ASSERT_TRUE(StudioRun::Seek(line, &to, &from)) << click.x << "\n" << studio.Text();
        EXPECT_GT(to, 0.0) << line;
        EXPECT_EQ(std::fmod(to, click.grid), 0.0) << line;
        EXPECT_EQ(studio.StatusRow(), to) << line;
    }
    EXPECT_EQ(studio.Quit(), 0);
}

// Paused with nothing changing, the studio waits instead of drawing the same
// frame again; a still still comes at once, numbered after those already there.
TEST_F(StudioProcessTest, APausedStudioIdlesAndStillsGoOnNumbering)
{
    ASSERT_TRUE(layout.WriteFile("../shots/studio-still-004.png", "an earlier still"));
    ASSERT_TRUE(layout.WriteFile("../shots/studio-still-x.png", "not numbered"));
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--no-overlay", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    Sleep(1.0);
    double before = studio.CpuSeconds();
    Sleep(3.0);
    double used = studio.CpuSeconds() - before;
    // Waiting costs a few percent of a core (the sound thread and the look at
    // the files); drawing on, even a small window takes most of one.
#if defined(__SANITIZE_ADDRESS__)
    const double limit = 0.6;  // every call the waiting makes is instrumented
#else
    const double limit = 0.3;
#endif
    EXPECT_LT(used, limit) << "CPU seconds in 3 s paused";
    std::printf("paused studio: %.2f CPU seconds in 3 s\n", used);

    EXPECT_EQ(studio.Still(), shots + "/studio-still-005.png");
    EXPECT_GT(LoadPng(shots + "/studio-still-005.png").Mean(), 2.0);
    EXPECT_EQ(studio.Still(), shots + "/studio-still-006.png");
    std::string earlier;
    ASSERT_TRUE(ReadWholeFile(shots + "/studio-still-004.png", earlier));
    EXPECT_EQ(earlier, "an earlier still");
    EXPECT_EQ(studio.Quit(), 0);
}

// Started from another folder, the studio and the capture find the res/
// beside their own bin/, and the user's relative paths keep their meaning.
// Without any res/ the capture says in one line where it looked.
TEST_F(StudioProcessTest, StartsFromAnotherFolder)
{
    const std::string away = layout.Root() + "/away/deeper";
    fs::create_directories(away + "/shots");
    {
        StudioRun studio(layout, {"--paused", "--from", "1100r", "--no-overlay", "--shots", "shots"}, away);
        ASSERT_TRUE(studio.Ready()) << studio.Text();
        // The overlay names the folder it watches; the log says the same.
        EXPECT_NE(studio.Text().find("studio: tracks: text in " + layout.Root() + "/choreography\n"),
                  std::string::npos)
            << studio.Text();
        EXPECT_EQ(studio.Still(), away + "/shots/studio-still-000.png");
        EXPECT_GT(LoadPng(away + "/shots/studio-still-000.png").Mean(), 2.0);
        EXPECT_EQ(studio.Quit(), 0);
        EXPECT_EQ(studio.Text().find("BASS Error"), std::string::npos) << studio.Text();
    }

    // 16:2 is row 1056, 36 s: frame 2160 at 60 fps.
    ProcessResult capture = RunProcess({layout.Bin() + "/ostrel-capture", "--quiet", "--size", kSize, "--from",
                                        "16:2", "--frames", "1", "-o", "frames/"},
                                       away, ProgramEnv(), 240.0);
    EXPECT_EQ(capture.exitCode, 0) << capture.output;
    EXPECT_TRUE(fs::exists(away + "/frames/frame-002160.png")) << capture.output;

    const std::string lonely = layout.Root() + "/lonely/bin";
    fs::create_directories(lonely);
    fs::copy_file(layout.Bin() + "/ostrel-capture", lonely + "/ostrel-capture");
    ProcessResult refused =
        RunProcess({lonely + "/ostrel-capture", "--quiet", "--frames", "1", "-o", "frames/"}, lonely, ProgramEnv(), 60.0);
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("ostrel-capture: no res/ folder in " + layout.Root() +
                                  "/lonely: start ostrel-capture from the bin/ folder beside res/\n"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.output.find("BASS Error"), std::string::npos) << refused.output;
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

// The status line's frame time, in ms.
double FrameMs(const std::string& status)
{
    size_t at = status.rfind(" frame ");
    return at == std::string::npos ? NAN : std::atof(status.c_str() + at + 7);
}

// Errors the text cannot hold on screen: one far too long to draw, and far
// too many to draw each frame. The overlay shows a few, cut to a line; the
// log has each one whole, once per compile.
TEST_F(StudioProcessTest, ErrorsAreCutOnScreenAndLoggedOncePerCompile)
{
    std::string fx;
    ASSERT_TRUE(ReadWholeFile(Choreography("fx.tracks"), fx));
    const std::string digits(20000, '7');
    {
        std::ofstream out(Choreography("fx.tracks"), std::ios::app);
        out << "\n    99:0:0 " << digits << "\n";
    }
    // Drawn from the first frame on, with the bad text already there.
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text().substr(0, 2000);
    EXPECT_FALSE(std::isnan(studio.StatusRow()));
    // Playing, so that every frame is drawn and timed (a paused studio idles).
    studio.Key("space");
    ASSERT_FALSE(studio.WaitFor("^studio: playing from row").empty()) << studio.Text().substr(0, 2000);
    // The quickest of five frame times: this machine's load slows some of
    // them many times over, while the cost of drawing every error is in each.
    auto frameMs = [&] {
        double quickest = INFINITY;
        for (int i = 0; i < 5; ++i) {
            Sleep(0.2);
            kill(studio.Pid(), SIGUSR1);
            quickest = std::min(quickest, FrameMs(studio.WaitFor("^studio: status row ", 30.0)));
        }
        return quickest;
    };
    const double plain = frameMs();
    bool whole = false;
    for (const std::string& line : studio.Log()) whole = whole || line.find(digits) != std::string::npos;
    EXPECT_TRUE(whole) << "the log should hold the whole error";

    // 100,000 bad lines: each logged once, and frames about as quick as
    // without them (drawing them all, even cut short, takes some 0.2 s more
    // a frame here).
    std::string bad = fx;
    for (int i = 0; i < 100000; ++i) bad += "    nonsense " + std::to_string(i) + "\n";
    std::string temp = Choreography("fx.tracks.saving");
    {
        std::ofstream out(temp);
        out << bad;
    }
    ASSERT_EQ(std::rename(temp.c_str(), Choreography("fx.tracks").c_str()), 0);
    ASSERT_FALSE(studio.WaitFor("^studio: keeping the last good tracks", 30.0).empty());
    auto count = [&] {
        size_t n = 0;
        for (const std::string& line : studio.Log()) n += line.find("bad position 'nonsense'") != std::string::npos;
        return n;
    };
    EXPECT_EQ(count(), 100000u);
    const double flooded = frameMs();
    EXPECT_LT(flooded, plain * 2.0 + 50.0) << "frame " << plain << " ms before the errors";
    EXPECT_EQ(count(), 100000u);
    EXPECT_EQ(studio.Quit(), 0);
}

// A source file or the whole of res/sync taken away while the studio plays:
// the picture keeps the last good tracks, the studio says why, and S refuses
// to write a partial set.
TEST_F(StudioProcessTest, RemovedSourcesOrTrackFilesKeepTheLastGoodTracks)
{
    const std::string saved = layout.Root() + "/sync-saved";
    fs::copy(layout.Path("sync"), saved, fs::copy_options::recursive);
    const std::string objects = layout.Root() + "/objects-saved";
    fs::copy_file(Choreography("objects.tracks"), objects);
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--no-overlay", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    Image before = LoadPng(studio.Still());
    ASSERT_GT(before.Mean(), 2.0);

    fs::remove(Choreography("objects.tracks"));
    std::string warning = studio.WaitFor("^studio: no source defines ", 5.0);
    ASSERT_FALSE(warning.empty()) << studio.Text();
    EXPECT_NE(warning.find("Grid.Visible"), std::string::npos) << warning;
    EXPECT_NE(warning.find("keep their last good keys"), std::string::npos) << warning;
    EXPECT_EQ(LoadPng(studio.Still()).rgba, before.rgba);
    fs::path track = fs::path(layout.Res()) / "sync" / "_Grid.Visible.track";
    auto written = fs::last_write_time(track);
    studio.Key("s");
    EXPECT_FALSE(studio.WaitFor("^studio: not saved: no source defines ", 5.0).empty()) << studio.Text();
    EXPECT_EQ(fs::last_write_time(track), written);
    fs::copy_file(objects, Choreography("objects.tracks.saving"));
    fs::rename(Choreography("objects.tracks.saving"), Choreography("objects.tracks"));
    ASSERT_FALSE(studio.WaitFor("^studio: compiled 53 tracks", 10.0).empty()) << studio.Text();

    fs::remove_all(layout.Path("sync"));
    EXPECT_FALSE(studio.WaitFor("^studio: \\.\\./res/sync lost 53 of its track files \\(.*\\); keeping the last good "
                                "tracks until they are back$",
                                10.0)
                     .empty())
        << studio.Text();
    EXPECT_EQ(LoadPng(studio.Still()).rgba, before.rgba);

    fs::copy(saved, layout.Path("sync"), fs::copy_options::recursive);
    EXPECT_FALSE(studio.WaitFor("^studio: reloaded the tracks from \\.\\./res/sync", 10.0).empty()) << studio.Text();
    EXPECT_EQ(LoadPng(studio.Still()).rgba, before.rgba);
    EXPECT_EQ(studio.Quit(), 0);
}

// Edits of a source tree's res/ reach the res/ the studio reads, however the
// writes fall: a burst of copies as a build script makes them, and a shader
// saved by truncating it first. Editors' swap files are not copied.
TEST_F(StudioProcessTest, SourceEditsReachTheCopyHoweverTheWritesFall)
{
    const std::string src = layout.Root() + "/src";
    fs::create_directories(src + "/res");
    fs::copy(layout.Root() + "/choreography", src + "/choreography", fs::copy_options::recursive);
    fs::copy(layout.Path("sync"), src + "/res/sync", fs::copy_options::recursive);
    fs::copy(layout.Path("shaders"), src + "/res/shaders", fs::copy_options::recursive);
    ASSERT_TRUE(layout.WriteFile("shaders/.Mix.frag.swp", "left by an earlier studio"));
    {
        std::ofstream swap(src + "/res/shaders/.Mix.frag.swp");
        swap << "an editor's swap file";
    }
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--no-overlay", "--source", src});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    EXPECT_FALSE(fs::exists(layout.Path("shaders/.Mix.frag.swp")));

    auto same = [](const std::string& a, const std::string& b) {
        std::string x, y;
        return ReadWholeFile(a, x) && ReadWholeFile(b, y) && x == y;
    };
    // Waits until every file of the source folder has its copy.
    auto mirrored = [&](const std::string& part) {
        for (double end = Now() + 10.0; Now() < end; Sleep(0.05)) {
            bool all = true;
            for (const fs::directory_entry& entry : fs::directory_iterator(src + "/res/" + part)) {
                std::string name = entry.path().filename();
                if (name[0] != '.') all = all && same(entry.path(), layout.Path(part + "/" + name));
            }
            if (all) return true;
        }
        return false;
    };
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(src + "/res/sync"))
        names.push_back(entry.path().filename());
    ASSERT_EQ(names.size(), 53u);
    for (int round = 0; round < 6; ++round) {
        for (const std::string& name : names) {
            std::ofstream out(src + "/res/sync/" + name, std::ios::binary | std::ios::trunc);
            out << EncodeTrack({{0, (float)round, 0}, {64 * (round + 1), 1.0f, 1}});
        }
        EXPECT_TRUE(mirrored("sync")) << "round " << round;
    }

    std::string mix;
    ASSERT_TRUE(ReadWholeFile(src + "/res/shaders/Mix.frag", mix));
    for (int save = 0; save < 12; ++save) {
        FILE* file = std::fopen((src + "/res/shaders/Mix.frag").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        Sleep(0.005 * (save % 6) * 3);  // 0 to 75 ms between the truncation and the text
        std::string text = mix + "// save " + std::to_string(save) + "\n";
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        EXPECT_TRUE(mirrored("shaders")) << "save " << save;
    }
    EXPECT_FALSE(fs::exists(layout.Path("shaders/.Mix.frag.swp")));
    EXPECT_EQ(studio.Quit(), 0);
}

TEST(StudioOptionsProcess, AFolderOptionThatNamesNoFolderIsRefused)
{
    TempLayout layout(true, false);
    ASSERT_TRUE(layout.InstallProgram("ostrel-studio"));
    ASSERT_TRUE(layout.WriteFile("plain", "x"));
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {{{"--tracks", layout.Path("plain")}, "--tracks " + layout.Path("plain") + ": it is not a folder"},
                 {{"--tracks", "/dev/null"}, "--tracks /dev/null: it is not a folder"},
                 {{"--tracks", layout.Root() + "/none"}, "--tracks " + layout.Root() + "/none: No such file or directory"},
                 {{"--source", layout.Root() + "/none"}, "--source " + layout.Root() + "/none: No such file or directory"}};
    for (auto& c : cases) {
        std::vector<std::string> argv = {layout.Bin() + "/ostrel-studio"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProcessResult r = RunProcess(argv, layout.Bin(), ProgramEnv(), 60.0);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_EQ(r.output, "ostrel-studio: " + c.message + "\n");
    }
}

// S replaces the set of track files whole or not at all, and says why not.
TEST_F(StudioProcessTest, SaveReplacesTheTrackFilesWholeOrSaysWhyNot)
{
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--no-overlay"});
    ASSERT_TRUE(studio.Ready()) << studio.Text();
    studio.Key("s");
    ASSERT_FALSE(studio.WaitFor("^studio: wrote 53 tracks into \\.\\./res/sync$").empty()) << studio.Text();

    auto snapshot = [&] {
        std::map<std::string, std::string> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(layout.Path("sync"))) {
            std::string bytes = "<dir>";
            if (!entry.is_directory()) ReadWholeFile(entry.path(), bytes);
            files[entry.path().filename()] = bytes;
        }
        return files;
    };
    // A file of the set that cannot be replaced: every other one could be.
    fs::remove(layout.Path("sync/_FX.Fade.track"));
    fs::create_directory(layout.Path("sync/_FX.Fade.track"));
    RewriteTrack("camera.tracks", "Camera.Distance", "    0:0:0      77\n");
    ASSERT_FALSE(studio.WaitFor("^studio: compiled 53 tracks", 10.0).empty()) << studio.Text();
    const std::map<std::string, std::string> before = snapshot();
    studio.Key("s");
    EXPECT_FALSE(studio.WaitFor("^studio: not saved: \\.\\./res/sync/_FX\\.Fade\\.track: cannot replace \\(Is a "
                                "directory\\); no file was changed$")
                     .empty())
        << studio.Text();
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(studio.Quit(), 0);
}

// C captures the loop when it is on and the section playing when it is off,
// in a window nobody sees, with progress in the overlay's line; C again
// cancels and says what was kept; a hang-up ends the studio and its capture.
TEST_F(StudioProcessTest, CaptureShowsProgressCancelsAndEndsWithTheStudio)
{
    if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    StudioRun studio(layout, {"--paused", "--from", "1100r", "--shots", shots});
    ASSERT_TRUE(studio.Ready()) << studio.Text();

    // Loop on, one bar (17:0:0 to 18:0:0): that bar is captured whole.
    studio.Key("bracketleft bracketright l");
    ASSERT_FALSE(studio.WaitFor("^studio: loop 17:0:0 to 18:0:0 on").empty()) << studio.Text();
    studio.Key("c");
    CaptureStart bar = ParseCaptureStart(studio.WaitFor("^studio: capturing rows "));
    EXPECT_EQ(bar.from, 1088);
    EXPECT_EQ(bar.to, 1152);
    ASSERT_FALSE(studio.WaitFor("^studio: capturing: [0-9]+/[0-9]+ frames, [0-9]+:[0-9]{2} left \\(C cancels\\)", 60.0)
                     .empty())
        << studio.Text();
    // Its window is never shown over the studio.
    EXPECT_NE(std::system("xdotool search --onlyvisible --name '^Ostrel capture$' >/dev/null 2>&1"), 0);
    ASSERT_FALSE(studio.WaitFor("^studio: captured into " + bar.path + "$", 180.0).empty()) << studio.Text();
    EXPECT_TRUE(Ended(bar.pid));
    EXPECT_FALSE(fs::exists(bar.dir));
    std::vector<std::string> kept = {fs::path(bar.path).filename().string()};
    EXPECT_EQ(FilesIn(shots), kept);

    // Loop off: the section playing, "main" (bars 16 to 31).
    studio.Key("l");
    ASSERT_FALSE(studio.WaitFor("^studio: loop 17:0:0 to 18:0:0 off").empty()) << studio.Text();
    studio.Key("c");
    CaptureStart section = ParseCaptureStart(studio.WaitFor("^studio: capturing rows "));
    EXPECT_EQ(section.from, 1024);
    EXPECT_EQ(section.to, 2048);
    ASSERT_FALSE(studio.WaitFor("^studio: capturing: [0-9]+/[0-9]+ frames", 60.0).empty()) << studio.Text();
    studio.Key("c");
    EXPECT_FALSE(studio.WaitFor("^studio: capture cancelled: interrupted after [0-9]+ of [0-9]+ frames; no video "
                                "written$",
                                30.0)
                     .empty())
        << studio.Text();
    EXPECT_TRUE(Ended(section.pid));
    EXPECT_FALSE(fs::exists(section.dir));
    EXPECT_EQ(FilesIn(shots), kept);

    // A hang-up while a capture runs ends both, and leaves nothing behind.
    studio.Key("c");
    CaptureStart last = ParseCaptureStart(studio.WaitFor("^studio: capturing rows "));
    ASSERT_GT(last.pid, 0) << studio.Text();
    ASSERT_FALSE(studio.WaitFor("^studio: capturing: [0-9]+/", 60.0).empty()) << studio.Text();
    kill(studio.Pid(), SIGHUP);
    EXPECT_FALSE(studio.WaitFor("^studio: ending on signal 1$", 30.0).empty()) << studio.Text();
    EXPECT_EQ(studio.Quit(), 0);
    EXPECT_TRUE(Ended(last.pid));
    EXPECT_FALSE(fs::exists(last.dir));
    EXPECT_EQ(FilesIn(shots), kept);
}

}  // namespace
