// Packs the Windows build named by OSTREL_WINDOWS_BUILD (a tree that
// scripts/make-release.sh --windows built) into its zip, unpacks it and runs
// the deliverables and the launcher under Wine on a virtual screen. Without
// that build every test skips.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "FrameSink.h"
#include "PackRelease.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kDeliverables[] = {"ostrel-1600x900-4x", "ostrel-1920x1080-4x", "ostrel-1920x1080-8x",
                                     "ostrel-1920x1080-16x"};
const char* const kVersion = "9.8.7-test";

// Libraries that every Windows installation has.
const std::set<std::string> kWindowsLibraries = {
    "ADVAPI32.DLL", "CFGMGR32.DLL", "GDI32.DLL",   "GLU32.DLL",  "HID.DLL",    "IMM32.DLL",
    "KERNEL32.DLL", "MSVCRT.DLL",   "OLE32.DLL",   "OLEAUT32.DLL", "OPENGL32.DLL", "SETUPAPI.DLL",
    "SHELL32.DLL",  "SHLWAPI.DLL",  "USER32.DLL",  "VERSION.DLL", "WINMM.DLL"};

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return (char)std::toupper(c); });
    return s;
}

// Log messages without the carriage return that Windows' text mode adds.
std::vector<std::string> MessagesOf(const std::string& output)
{
    std::vector<std::string> messages = LogMessagesOf(output);
    for (std::string& m : messages)
        if (!m.empty() && m.back() == '\r') m.pop_back();
    return messages;
}

// Index of the first message equal to text at or after from, or -1.
long IndexOf(const std::vector<std::string>& messages, const std::string& text, long from = 0)
{
    auto it = std::find(messages.begin() + std::min<long>(from, (long)messages.size()), messages.end(), text);
    return it == messages.end() ? -1 : (long)(it - messages.begin());
}

class WindowsRelease : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char* build = std::getenv("OSTREL_WINDOWS_BUILD");
        if (!build || !*build) {
            skipReason = new std::string("OSTREL_WINDOWS_BUILD is not set (scripts/make-release.sh --windows builds it)");
            return;
        }
        // Asked for, the test fails rather than skips when Wine is missing.
        wine = new std::string(FindProgram("wine"));
        if (wine->empty() || FindProgram("xvfb-run").empty()) {
            packOutput = new std::string("wine or xvfb-run is not installed");
            return;
        }
        work = new TempLayout(false, false);
        std::string name = std::string("ostrel-") + kVersion + "-windows-x86_64";
        archive = new std::string(work->Root() + "/dist/" + name + ".zip");
        top = new std::string(work->Root() + "/unpacked/" + name);
        prefix = new std::string(work->Root() + "/wine");
        std::vector<std::string> pack = {"/bin/bash", std::string(OSTREL_SOURCE_DIR) + "/scripts/make-release.sh",
                                         "--windows", "--no-build", "--build-dir", build, "--version", kVersion,
                                         "--output"};
        ProcessResult first = RunProcess(Concat(pack, work->Root() + "/dist"), "", {}, 300.0);
        ProcessResult second = RunProcess(Concat(pack, work->Root() + "/again"), "", {}, 300.0);
        packOutput = new std::string(first.output + second.output);
        packExit = first.exitCode != 0 ? first.exitCode : second.exitCode;
        if (packExit != 0) return;
        fs::create_directories(work->Root() + "/unpacked");
        RunProcess({"/usr/bin/unzip", "-q", *archive, "-d", work->Root() + "/unpacked"}, "", {}, 120.0);
        // Wine's first start makes its prefix; once, not inside a timed run.
        RunProcess({"/bin/sh", "-c", "wineboot -i && wineserver -w"}, "", WineEnv(), 180.0);
    }
    static void TearDownTestSuite()
    {
        delete work;
        for (std::string* s : {skipReason, packOutput, archive, top, prefix, wine}) delete s;
    }
    void SetUp() override
    {
        if (skipReason) GTEST_SKIP() << *skipReason;
        ASSERT_EQ(packExit, 0) << *packOutput;
    }

    static std::vector<std::string> Concat(std::vector<std::string> v, const std::string& last)
    {
        v.push_back(last);
        return v;
    }
    static std::vector<std::string> WineEnv()
    {
        return {"WINEPREFIX=" + *prefix, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
    }
    // Runs a Windows command line under Wine on its own virtual screen from
    // dir, and waits until Wine has finished with the prefix.
    static ProcessResult RunWine(const std::vector<std::string>& args, const std::string& dir,
                                 std::vector<std::string> env, const std::string& screen = "1920x1080")
    {
        std::vector<std::string> command = {*wine};
        command.insert(command.end(), args.begin(), args.end());
        return RunOnScreen(command, dir, env, screen);
    }
    // Runs a command on its own virtual screen from dir with Wine's
    // environment, and waits until Wine has finished with the prefix.
    static ProcessResult RunOnScreen(const std::vector<std::string>& command, const std::string& dir,
                                     std::vector<std::string> env, const std::string& screen)
    {
        // Open to any client: some runs are another user's.
        std::vector<std::string> argv = {FindProgram("xvfb-run"), "-a", "-s", "-ac -screen 0 " + screen + "x24"};
        // A run that names no audio driver must not inherit one from the caller.
        bool namesDriver = false;
        for (const std::string& entry : env) namesDriver = namesDriver || entry.rfind("SDL_AUDIODRIVER=", 0) == 0;
        if (!namesDriver) argv.insert(argv.begin(), {"/usr/bin/env", "-u", "SDL_AUDIODRIVER"});
        argv.insert(argv.end(), command.begin(), command.end());
        std::vector<std::string> all = WineEnv();
        all.insert(all.end(), env.begin(), env.end());
        ProcessResult r = RunProcess(argv, dir, all, 240.0);
        RunProcess({"/bin/sh", "-c", "wineserver -w"}, "", WineEnv(), 60.0);
        return r;
    }
    // Replaces the soundtrack with a one-second tone, so that a run lasts a second.
    static void ShortSoundtrack()
    {
        fs::copy_file(TestData("tone-1s.mp3"), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    }

    static TempLayout* work;
    static std::string* skipReason;
    static std::string* packOutput;
    static int packExit;
    static std::string* archive;
    static std::string* top;
    static std::string* prefix;
    static std::string* wine;
};

TempLayout* WindowsRelease::work = nullptr;
std::string* WindowsRelease::skipReason = nullptr;
std::string* WindowsRelease::packOutput = nullptr;
int WindowsRelease::packExit = -1;
std::string* WindowsRelease::archive = nullptr;
std::string* WindowsRelease::top = nullptr;
std::string* WindowsRelease::prefix = nullptr;
std::string* WindowsRelease::wine = nullptr;

TEST_F(WindowsRelease, ZipHoldsTheProgramsResourcesLauncherAndGuide)
{
    for (const char* d : kDeliverables)
        EXPECT_TRUE(fs::is_regular_file(*top + "/bin/" + d + ".exe")) << d;
    // Nothing but the four deliverables in bin/.
    EXPECT_EQ(std::distance(fs::directory_iterator(*top + "/bin"), fs::directory_iterator()), 4);
    for (const char* file : {"res/audio/melody.mp3", "res/shaders/FullscreenQuad.vert", "res/textures/smoothNoise.png",
                             "ostrel.bat", "HOW-TO-RUN.txt"})
        EXPECT_TRUE(fs::is_regular_file(*top + "/" + file)) << file;

    // cmd.exe and Notepad want CR LF: every line feed has its carriage return.
    for (const char* text : {"ostrel.bat", "HOW-TO-RUN.txt"}) {
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(*top + "/" + text, bytes)) << text;
        size_t lf = std::count(bytes.begin(), bytes.end(), '\n');
        size_t crlf = 0;
        for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++crlf;
        EXPECT_GT(lf, 10u) << text;
        EXPECT_EQ(crlf, lf) << text;
    }
}

TEST_F(WindowsRelease, PacksToTheSameBytesTwice)
{
    std::string first, second;
    ASSERT_TRUE(ReadWholeFile(*archive, first));
    ASSERT_TRUE(ReadWholeFile(work->Root() + "/again/" + fs::path(*archive).filename().string(), second));
    EXPECT_GT(first.size(), 1000000u);
    EXPECT_TRUE(first == second) << "the two packs of one build differ";
}

TEST_F(WindowsRelease, ProgramsImportOnlyWindowsOwnLibraries)
{
    std::string objdump = FindProgram("x86_64-w64-mingw32-objdump");
    if (objdump.empty()) objdump = FindProgram("objdump");
    ASSERT_FALSE(objdump.empty());
    for (const char* d : kDeliverables) {
        ProcessResult r = RunProcess({objdump, "-p", *top + "/bin/" + d + ".exe"}, "", {}, 60.0);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        std::set<std::string> imports;
        std::istringstream in(r.output);
        std::string line;
        const std::string tag = "DLL Name: ";
        while (std::getline(in, line)) {
            size_t at = line.find(tag);
            if (at != std::string::npos) imports.insert(Upper(line.substr(at + tag.size())));
        }
        // Reading the table at all: these two are in any such program.
        EXPECT_TRUE(imports.count("KERNEL32.DLL")) << d << "\n" << r.output;
        EXPECT_TRUE(imports.count("OPENGL32.DLL")) << d;
        for (const std::string& dll : imports) EXPECT_TRUE(kWindowsLibraries.count(dll)) << d << " imports " << dll;
    }
}

TEST_F(WindowsRelease, DeliverablePlaysAShortSoundtrackUnderWine)
{
    ShortSoundtrack();
    ProcessResult r = RunWine({"ostrel-1600x900-4x.exe"}, *top + "/bin", {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = MessagesOf(r.output);
    long at = -1;
    for (const char* line : {"Initializing Engine", "Initialized window", "Sucessfully initialized GLEW",
                             "Sucessfully initialized BASS Audio Device", "Sucessfully initialized Sync Device",
                             "Sucessfully built soundtrack", "Engine Shutting Down", "Shut down Scene",
                             "Shutting down window"}) {
        long next = IndexOf(messages, line, at + 1);
        EXPECT_GT(next, at) << "'" << line << "' missing or out of order in:\n" << r.output;
        if (next > at) at = next;
    }
    EXPECT_NE(IndexOf(messages, "Window created with title 'Ostrel', width '1600' and height '900'"), -1) << r.output;
    RecordProperty("wine_seconds", std::to_string(r.seconds));
}

TEST_F(WindowsRelease, SixteenSamplesFailCleanlyWhereTheDriverHasFewer)
{
    ShortSoundtrack();
    // SDL on Windows settles for a pixel format without the samples asked for,
    // so the window opens and the multisampled scene buffer is what the driver
    // refuses; the run ends there, as a refused window ends it elsewhere.
    ProcessResult r = RunWine({"ostrel-1920x1080-16x.exe"}, *top + "/bin", {"SDL_AUDIODRIVER=dummy"});
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = MessagesOf(r.output);
    long failed = IndexOf(messages, "Failed to initialize Scene Frame Buffer!");
    ASSERT_NE(failed, -1) << r.output;
    EXPECT_EQ(IndexOf(messages, "Failed to initialize scene!"), failed + 1) << r.output;
    EXPECT_EQ((long)messages.size(), failed + 2) << r.output;
    EXPECT_EQ(IndexOf(messages, "Engine Shutting Down"), -1) << r.output;
}

TEST_F(WindowsRelease, LauncherFallsBackToFewerSamplesAndToSilence)
{
    ShortSoundtrack();
    // A 1920x1080 screen, no sound card and no driver chosen: 16 and 8
    // samples are refused, 4 play, silently.
    ProcessResult r = RunWine({"cmd", "/c", "ostrel.bat"}, *top, {});
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    size_t silent = r.output.find("ostrel: no sound output found: playing silently");
    size_t fewer16 = r.output.find("ostrel: ostrel-1920x1080-16x could not get 16 samples per pixel; trying fewer");
    size_t fewer8 = r.output.find("ostrel: ostrel-1920x1080-8x could not get 8 samples per pixel; trying fewer");
    size_t played = r.output.find("INFO: Engine Shutting Down");
    ASSERT_NE(silent, std::string::npos) << r.output;
    ASSERT_NE(fewer16, std::string::npos) << r.output;
    ASSERT_NE(fewer8, std::string::npos) << r.output;
    ASSERT_NE(played, std::string::npos) << r.output;
    EXPECT_LT(silent, fewer16);
    EXPECT_LT(fewer16, fewer8);
    EXPECT_LT(fewer8, played);
    // Only the last one played to its end.
    std::vector<std::string> messages = MessagesOf(r.output);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Engine Shutting Down"), 1) << r.output;
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Failed to initialize Scene Frame Buffer!"), 2) << r.output;
    // The logs the launcher read are gone from the temporary folder.
    for (const auto& entry : fs::recursive_directory_iterator(*prefix + "/drive_c"))
        EXPECT_NE(entry.path().filename().string().rfind("ostrel-", 0), 0u) << "left behind: " << entry.path();
}

TEST_F(WindowsRelease, LauncherPicksTheSizeNearestTheScreen)
{
    ShortSoundtrack();
    ProcessResult r = RunWine({"cmd", "/c", "ostrel.bat"}, *top, {"SDL_AUDIODRIVER=dummy"}, "1680x1050");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = MessagesOf(r.output);
    EXPECT_NE(IndexOf(messages, "Window created with title 'Ostrel', width '1600' and height '900'"), -1) << r.output;
    EXPECT_EQ(r.output.find("1920"), std::string::npos) << r.output;
    EXPECT_NE(IndexOf(messages, "Engine Shutting Down"), -1) << r.output;
}

TEST_F(WindowsRelease, LauncherListsTheProgramsAndRefusesOthers)
{
    ProcessResult list = RunWine({"cmd", "/c", "ostrel.bat", "--list"}, *top, {});
    EXPECT_EQ(list.exitCode, 0) << list.output;
    for (const char* d : kDeliverables) EXPECT_NE(list.output.find(d + 7), std::string::npos) << list.output;

    ProcessResult wrong = RunWine({"cmd", "/c", "ostrel.bat", "640x480-2x"}, *top, {});
    EXPECT_EQ(wrong.exitCode, 2) << wrong.output;
    EXPECT_NE(wrong.output.find("ostrel: no deliverable '640x480-2x'"), std::string::npos) << wrong.output;
    EXPECT_NE(wrong.output.find("1920x1080-16x"), std::string::npos) << wrong.output;
}

// Escape and Alt+F4 (which Windows itself turns into a close request) end a
// full-screen run well before its 10 s song, and no cursor shows over it.
struct WineEnding {
    const char* name;
    const char* keys;
    const char* message;
};

class WindowsReleaseEndings : public WindowsRelease, public ::testing::WithParamInterface<WineEnding> {};

TEST_P(WindowsReleaseEndings, FullScreenRunQuitsWithoutACursor)
{
    fs::copy_file(TestData("tone-10s.mp3"), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    const std::string script = R"sh(
"$1" ostrel-1600x900-4x.exe &
program=$!
tries=0
until window=$(xdotool search --name '^Ostrel$' 2>/dev/null | head -n 1) && [ -n "$window" ]; do
  tries=$((tries + 1)); [ "$tries" -lt 150 ] || { echo "scenario: no window"; exit 1; }
  sleep 0.2
done
sleep 1
xdotool mousemove 640 440
sleep 0.5
echo "scenario: $("$2" cursor)"
xdotool key "$3"
wait "$program"
)sh";
    ProcessResult r = RunOnScreen({"/bin/sh", "-c", script, "scenario", *wine, OSTREL_X11_PROBE, GetParam().keys},
                                  *top + "/bin", {"SDL_AUDIODRIVER=dummy"}, "1600x900");
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = MessagesOf(r.output);
    EXPECT_NE(IndexOf(messages, GetParam().message), -1) << r.output;
    EXPECT_NE(IndexOf(messages, "Engine Shutting Down"), -1) << r.output;
    EXPECT_NE(r.output.find("scenario: cursor visible 0\n"), std::string::npos) << r.output;
    EXPECT_LT(r.seconds, 30.0) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Keys, WindowsReleaseEndings,
                         ::testing::Values(WineEnding{"Escape", "Escape", "Escape key pressed!"},
                                           WineEnding{"AltF4", "alt+F4", "Received quit message from event system!"}),
                         [](const ::testing::TestParamInfo<WineEnding>& info) { return info.param.name; });

// ---- A compo machine: read-only media, unreadable resources ----------------

// Every entry under dir, files with their size and modification time, sorted.
std::string ListingOf(const std::string& dir)
{
    std::vector<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::string line = entry.path().string();
        if (entry.is_regular_file())
            line += " " + std::to_string(entry.file_size()) + " " +
                    std::to_string(entry.last_write_time().time_since_epoch().count());
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

TEST_F(WindowsRelease, ReadOnlyCopyPlaysToItsEndAndOpensNothingForWriting)
{
    const std::string strace = FindProgram("strace");
    if (strace.empty()) GTEST_SKIP() << "strace is not installed";
    ShortSoundtrack();
    const std::string copy = work->Root() + "/read-only release";
    fs::remove_all(copy);
    fs::copy(*top, copy, fs::copy_options::recursive);
    // Root writes through any permission: only a read-only mount binds it.
    if (mount(copy.c_str(), copy.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "mounting is not permitted here: " << std::strerror(errno);
    if (mount(nullptr, copy.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        const int error = errno;
        umount(copy.c_str());
        GTEST_SKIP() << "a read-only mount is not permitted here: " << std::strerror(error);
    }
    const std::string before = ListingOf(copy);
    const bool writable = std::ofstream(copy + "/bin/written").is_open();

    const std::string log = work->Root() + "/wine-strace.log";
    ProcessResult r = RunOnScreen({strace, "-f", "-qq", "-e", "trace=open,openat,creat,mkdir,mkdirat", "-o", log,
                                   *wine, "ostrel-1600x900-4x.exe"},
                                  copy + "/bin", {"SDL_AUDIODRIVER=dummy"}, "1920x1080");
    const std::string after = ListingOf(copy);
    // Detached, as Wine's last processes may hold the folder a moment longer.
    umount2(copy.c_str(), MNT_DETACH);
    ASSERT_FALSE(writable) << "the mount let a file be made";

    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> messages = MessagesOf(r.output);
    long built = IndexOf(messages, "Sucessfully built soundtrack");
    EXPECT_NE(built, -1) << r.output;
    EXPECT_GT(IndexOf(messages, "Engine Shutting Down", built + 1), built) << r.output;
    EXPECT_EQ(before, after);

    std::string straceLog;
    ASSERT_TRUE(ReadWholeFile(log, straceLog));
    // Wine's server opens the files for its programs: the log has both.
    ASSERT_NE(straceLog.find("melody.mp3"), std::string::npos) << "strace saw no run";
    // Wine names the release through its drive links as well as directly.
    for (const std::string& path : WrittenPaths(straceLog))
        EXPECT_EQ(path.find(copy), std::string::npos) << "opened for writing: " << path;
    // A write refused by the mount, whatever path named it.
    std::istringstream lines(straceLog);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.find("EROFS"), std::string::npos) << line;
    RecordProperty("wine_seconds", std::to_string(r.seconds));
}

class WindowsReleaseUnreadable : public WindowsRelease, public ::testing::WithParamInterface<UnreadableCase> {
protected:
    // The unprivileged user's own folder: a copy of the prepared prefix in
    // wine/ (Wine wants its prefix to be the user's own) and, in tmp/, the
    // temporary files where Wine's server looks for its socket. Made once.
    static const std::string& NobodyHome()
    {
        static const std::string made = [] {
            const std::string dir = work->Root() + "/nobody";
            fs::create_directories(dir + "/tmp");
            fs::copy(*prefix, dir + "/wine", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            RunProcess({"/bin/chown", "-R", "65534:65534", dir}, "", {}, 60.0);
            fs::permissions(work->Root(), fs::perms::others_exec, fs::perm_options::add);
            return dir;
        }();
        return made;
    }
};

TEST_P(WindowsReleaseUnreadable, RunEndsWithTheLoggedFailuresAndExitCodeZero)
{
    // Permissions bind only an unprivileged user: the run is nobody's.
    if (FindProgram("setpriv").empty()) GTEST_SKIP() << "setpriv is not installed";
    if (getuid() != 0) GTEST_SKIP() << "needs root, to run Wine as another user";
    ShortSoundtrack();
    const std::string home = NobodyHome();
    // A hang or a dialog box waiting for a click runs into the timeout.
    const std::string script = R"sh(
wine=$1 home=$2
as_nobody() {
  setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/nonexistent WINEPREFIX="$home/wine" TMPDIR="$home/tmp" "$@"
}
as_nobody timeout 90 "$wine" ostrel-1600x900-4x.exe
status=$?
as_nobody timeout 30 wineserver -w || as_nobody wineserver -k
echo "scenario: exit $status"
)sh";
    const std::string unreadable = *top + "/" + GetParam().folder;
    fs::permissions(unreadable, fs::perms::none);
    ProcessResult r = RunOnScreen({"/bin/sh", "-c", script, "scenario", *wine, home}, *top + "/bin",
                                  {"SDL_AUDIODRIVER=dummy"}, "1920x1080");
    fs::permissions(unreadable, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);

    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_NE(r.output.find("scenario: exit 0\n"), std::string::npos) << r.output;
    // It ran at all, as the other user, and stopped at the failures.
    std::vector<std::string> messages = MessagesOf(r.output);
    EXPECT_NE(IndexOf(messages, "Initialized window"), -1) << r.output;
    const std::vector<std::string> expected(GetParam().failures.begin(), GetParam().failures.end());
    EXPECT_EQ(FailuresLogged(messages, GetParam()), expected) << r.output;
}

// The same failures as on Linux.
INSTANTIATE_TEST_SUITE_P(Folders, WindowsReleaseUnreadable, ::testing::ValuesIn(UnreadableCases()),
                         [](const ::testing::TestParamInfo<UnreadableCase>& info) { return info.param.name; });

}  // namespace
