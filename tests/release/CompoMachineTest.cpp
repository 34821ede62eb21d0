// The Linux archive on a party's compo machine: run from a folder whose path
// has spaces and quotes, from read-only media, stopped by signals, Escape or
// a close request, on screens of other sizes, with parts of res/ unreadable.
// Each case is a short shell scenario on its own virtual screen.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "FrameSink.h"
#include "PackRelease.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Waits up to 30 s for the production's window; sets window to its id.
const char* const kWindowUp = R"(
window_up() {
  tries=0
  while [ "$tries" -lt 150 ]; do
    window=$("$OSTREL_X11_PROBE" window Ostrel 2>/dev/null)
    [ -n "$window" ] && return 0
    sleep 0.2
    tries=$((tries + 1))
  done
  echo "scenario: no window" >&2
  return 1
}
)";

class CompoMachine : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = new TempLayout(false, false);
        // Spaces and both kinds of quote on the way to the release.
        PackedRelease r = PackRelease(work->Root(), "compo", work->Root() + "/it's a \"compo\" folder");
        packExit = r.exitCode;
        packOutput = new std::string(r.output);
        top = new std::string(r.top);
        // Traversable by the unprivileged user of the unreadable-res cases.
        for (fs::path p = r.top; p != fs::path(work->Root()).parent_path(); p = p.parent_path())
            fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }
    static void TearDownTestSuite()
    {
        delete work;
        delete packOutput;
        delete top;
    }
    void SetUp() override
    {
        if (FindProgram("xvfb-run").empty() || FindProgram("xdotool").empty())
            GTEST_SKIP() << "xvfb-run or xdotool is not installed";
        ASSERT_EQ(packExit, 0) << *packOutput;
        Soundtrack("tone-1s.mp3");
    }

    static void Soundtrack(const std::string& name)
    {
        fs::copy_file(TestData(name), *top + "/res/audio/melody.mp3", fs::copy_options::overwrite_existing);
    }

    // Runs a shell scenario on a virtual screen of its own; "$1" is the
    // release folder, then args.
    static ProcessResult Scenario(const std::string& screen, const std::string& script,
                                  std::vector<std::string> args = {}, std::vector<std::string> env = {},
                                  const std::string& release = *top)
    {
        std::vector<std::string> argv = {"/bin/sh", "-c", std::string(kWindowUp) + script, "scenario", release};
        argv.insert(argv.end(), args.begin(), args.end());
        env.push_back(std::string("OSTREL_X11_PROBE=") + OSTREL_X11_PROBE);
        env.push_back("SDL_AUDIODRIVER=dummy");
        env.push_back("ASAN_OPTIONS=detect_leaks=0");
        return RunOnOwnScreen(screen, argv, "/", env, 120.0);
    }

    static bool Has(const std::string& output, const std::string& message)
    {
        std::vector<std::string> messages = LogMessagesOf(output);
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    static TempLayout* work;
    static int packExit;
    static std::string* packOutput;
    static std::string* top;
};

TempLayout* CompoMachine::work = nullptr;
int CompoMachine::packExit = -1;
std::string* CompoMachine::packOutput = nullptr;
std::string* CompoMachine::top = nullptr;

// ---- The launcher's choice of deliverable ----------------------------------

struct ScreenCase {
    const char* name;
    const char* screen;
    bool sizeTools;  // xdpyinfo on the PATH
    const char* window;
};

class CompoScreens : public CompoMachine, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(CompoScreens, LauncherPlaysTheNearestDeliverable)
{
    const ScreenCase& c = GetParam();
    std::vector<std::string> env;
    if (!c.sizeTools) {
        // Everything the system has but the tools that tell a screen's size.
        const std::string tools = work->Root() + "/tools";
        fs::create_directories(tools);
        for (const auto& entry : fs::directory_iterator("/usr/bin")) {
            const std::string name = entry.path().filename().string();
            if (name != "xdpyinfo" && name != "xrandr" && !fs::exists(tools + "/" + name))
                fs::create_symlink(entry.path(), tools + "/" + name);
        }
        env.push_back("OSTREL_TEST_PATH=" + tools);
    }
    ProcessResult r = Scenario(c.screen, R"(PATH=${OSTREL_TEST_PATH:-$PATH} "$1/ostrel")", {}, env);
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Has(r.output, c.window)) << r.output;
    EXPECT_TRUE(Has(r.output, "Engine Shutting Down")) << r.output;
    EXPECT_EQ(r.output.find("ostrel: cannot tell the screen's size") != std::string::npos, !c.sizeTools) << r.output;
}

const char* const k900 = "Window created with title 'Ostrel', width '1600' and height '900'";
const char* const k1080 = "Window created with title 'Ostrel', width '1920' and height '1080'";

INSTANTIATE_TEST_SUITE_P(Screens, CompoScreens,
                         ::testing::Values(ScreenCase{"Laptop1366x768", "1366x768", true, k900},
                                           ScreenCase{"Old800x600", "800x600", true, k900},
                                           ScreenCase{"Uhd3840x2160", "3840x2160", true, k1080},
                                           ScreenCase{"NoSizeToolsFullHdByDefault", "1366x768", false, k1080}),
                         [](const ::testing::TestParamInfo<ScreenCase>& info) { return info.param.name; });

TEST_F(CompoMachine, DisplayThatAnswersNotIsOneClearLine)
{
    ProcessResult r = RunProcess({*top + "/ostrel"}, "/", {"DISPLAY=:97", "SDL_AUDIODRIVER=dummy"}, 60.0);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(r.output, "ostrel: no X server answers at DISPLAY=:97: start from the desktop's own terminal, or "
                        "unset DISPLAY to play on a virtual screen\n");
}

// ---- Ways a run ends --------------------------------------------------------

struct Ending {
    const char* name;
    const char* action;   // shell, with $window and $launcher set
    int launcherExit;
    const char* message;  // what the deliverable logs (not when the music ends it)
};

class CompoEndings : public CompoMachine, public ::testing::WithParamInterface<Ending> {};

TEST_P(CompoEndings, DeliverableEndsAndNothingIsLeft)
{
    const Ending& e = GetParam();
    Soundtrack("tone-10s.mp3");
    const std::string tmp = work->Root() + "/tmp-" + e.name;
    fs::create_directories(tmp);
    ProcessResult r = Scenario("1600x900", std::string(R"(
TMPDIR=$2 "$1/ostrel" &
launcher=$!
window_up || exit 1
sleep 0.5
)") + e.action + R"sh(
wait "$launcher"
echo "scenario: launcher exit $?"
sleep 0.5
for p in /proc/[0-9]*; do
  [ "$(readlink "$p/cwd" 2>/dev/null)" = "$1/bin" ] && echo "scenario: still running: $(cat "$p/cmdline" | tr '\0' ' ')"
done
ls -A "$2" | sed 's/^/scenario: left behind: /'
)sh",
                               {tmp, OSTREL_X11_PROBE});
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_NE(r.output.find("scenario: launcher exit " + std::to_string(e.launcherExit) + "\n"), std::string::npos)
        << r.output;
    EXPECT_TRUE(Has(r.output, e.message)) << r.output;
    EXPECT_TRUE(Has(r.output, "Engine Shutting Down")) << r.output;
    EXPECT_EQ(r.output.find("scenario: still running"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("scenario: left behind"), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CompoEndings,
    ::testing::Values(Ending{"Escape", "xdotool key Escape", 0, "Escape key pressed!"},
                      Ending{"CloseRequest", R"("$3" close "$window")", 0, "Received quit message from event system!"},
                      Ending{"SigtermToLauncher", R"(kill -TERM "$launcher")", 143,
                             "Received quit message from event system!"},
                      Ending{"SighupToLauncher", R"(kill -HUP "$launcher")", 129,
                             "Received quit message from event system!"}),
    [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

// Without a display the launcher plays on a virtual screen of xvfb-run's:
// SIGTERM to it still ends the deliverable, and xvfb-run cleans up too.
TEST_F(CompoMachine, SigtermEndsARunOnTheVirtualScreen)
{
    Soundtrack("tone-10s.mp3");
    const std::string tmp = work->Root() + "/tmp-virtual";
    fs::create_directories(tmp);
    ProcessResult r = RunProcess({"/bin/sh", "-c", R"sh(
env -u DISPLAY -u WAYLAND_DISPLAY TMPDIR="$2" "$1/ostrel" >"$2.log" 2>&1 &
launcher=$!
tries=0
until grep -q "Sucessfully built soundtrack" "$2.log"; do
  tries=$((tries + 1)); [ "$tries" -lt 300 ] || { echo "scenario: never played"; exit 1; }
  sleep 0.1
done
sleep 0.5
kill -TERM "$launcher"
wait "$launcher"
echo "scenario: launcher exit $?"
sleep 0.5
for p in /proc/[0-9]*; do
  [ "$(readlink "$p/cwd" 2>/dev/null)" = "$1/bin" ] && echo "scenario: still running: $p"
done
ls -A "$2" | sed 's/^/scenario: left behind: /'
cat "$2.log"
)sh",
                                  "scenario", *top, tmp},
                                 "/", {"SDL_AUDIODRIVER=dummy"}, 120.0);
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_NE(r.output.find("scenario: launcher exit 143\n"), std::string::npos) << r.output;
    EXPECT_TRUE(Has(r.output, "Received quit message from event system!")) << r.output;
    EXPECT_EQ(r.output.find("scenario: still running"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("scenario: left behind"), std::string::npos) << r.output;
}

// ---- The cursor -------------------------------------------------------------

TEST_F(CompoMachine, CursorIsHiddenInTheFullScreenDeliverables)
{
    Soundtrack("tone-10s.mp3");
    // The cursor over the bare screen, then over the playing deliverable.
    const std::string script = R"sh(
xdotool mousemove 600 400
sleep 0.2
echo "scenario: before: $("$3" cursor)"
"$1/ostrel" "$2" &
launcher=$!
window_up || exit 1
sleep 1
xdotool mousemove 640 440
sleep 0.3
echo "scenario: playing: $("$3" cursor)"
xdotool key Escape
wait "$launcher"
)sh";
    // Software GL has windows with 4 samples at most: the other two never open.
    for (const char* d : {"1600x900-4x", "1920x1080-4x"}) {
        std::string screen = d;
        screen = screen.substr(0, screen.find('-'));
        ProcessResult r = Scenario(screen, script, {d, OSTREL_X11_PROBE});
        EXPECT_EQ(r.exitCode, 0) << d << "\n" << r.output;
        // The check sees a cursor where there is one: the bare screen's.
        EXPECT_EQ(r.output.find("scenario: before: cursor visible 0\n"), std::string::npos) << d << "\n" << r.output;
        EXPECT_NE(r.output.find("scenario: before: cursor visible "), std::string::npos) << d << "\n" << r.output;
        EXPECT_NE(r.output.find("scenario: playing: cursor visible 0\n"), std::string::npos) << d << "\n" << r.output;
        EXPECT_TRUE(Has(r.output, "Escape key pressed!")) << d << "\n" << r.output;
    }
}

// ---- Read-only media --------------------------------------------------------

struct ReadOnlyCase {
    const char* name;
    const char* choice;  // the launcher's argument; empty: let it choose
};

class CompoReadOnly : public CompoMachine, public ::testing::WithParamInterface<ReadOnlyCase> {};

TEST_P(CompoReadOnly, RunWritesNothing)
{
    if (FindProgram("strace").empty()) GTEST_SKIP() << "strace is not installed";
    const std::string copy = work->Root() + "/read-only copy " + GetParam().name;
    const std::string tmp = copy + " tmp", cache = copy + " driver cache";
    fs::create_directories(tmp);
    fs::create_directories(cache);
    fs::copy(*top, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // A read-only mount where this user may make one (root may write
    // anywhere else); write bits off either way.
    RunProcess({"/bin/chmod", "-R", "a-w", copy}, "", {}, 60.0);
    const bool mounted = mount(copy.c_str(), copy.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                         mount(nullptr, copy.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    RecordProperty("read_only_mount", mounted ? "yes" : "no");

    const std::string log = work->Root() + "/strace.log";
    ProcessResult r = Scenario("1600x900", R"(
TMPDIR=$2 XDG_CACHE_HOME=$3 strace -f -qq -e trace=open,openat,creat,mkdir -o "$4" "$1/ostrel" $5
)",
                               {tmp, cache, log, GetParam().choice}, {}, copy);
    if (mounted) umount(copy.c_str());
    RunProcess({"/bin/chmod", "-R", "u+w", copy}, "", {}, 60.0);

    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Has(r.output, "Engine Shutting Down")) << r.output;
    std::string straceLog;
    ASSERT_TRUE(ReadWholeFile(log, straceLog));
    ASSERT_NE(straceLog.find("melody.mp3"), std::string::npos) << "strace saw no run";
    for (const std::string& path : WrittenPaths(straceLog)) {
        // Shell redirections to /dev/null; the launcher's own scratch folder
        // for the logs it reads (checked to be gone below); the GL driver's
        // shader cache, which is the system's, not the release's.
        // A named deliverable runs without that folder.
        const bool scratch = *GetParam().choice == '\0' && path.rfind(tmp + "/ostrel.", 0) == 0;
        if (path == "/dev/null" || scratch || path.rfind(cache + "/", 0) == 0) continue;
        ADD_FAILURE() << "opened for writing: " << path;
    }
    EXPECT_TRUE(fs::is_empty(tmp)) << "the launcher left its scratch folder";
}

INSTANTIATE_TEST_SUITE_P(Launches, CompoReadOnly,
                         ::testing::Values(ReadOnlyCase{"LauncherChooses", ""},
                                           ReadOnlyCase{"NamedDeliverable", "1600x900-4x"}),
                         [](const ::testing::TestParamInfo<ReadOnlyCase>& info) { return info.param.name; });

// ---- Unreadable resources and temporary folders -------------------------------

class CompoUnreadable : public CompoMachine, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(CompoUnreadable, RunEndsWithTheLoggedFailuresAndExitCodeZero)
{
    // Permissions bind only an unprivileged user: the run is nobody's.
    if (FindProgram("setpriv").empty()) GTEST_SKIP() << "setpriv is not installed";
    if (getuid() != 0) GTEST_SKIP() << "needs root, to run the release as another user";
    ProcessResult r = Scenario("1600x900", R"(
chmod 000 "$1/$2"
setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/nonexistent TMPDIR=/tmp timeout 60 "$1/ostrel"
status=$?
chmod 755 "$1/$2"
exit $status
)",
                               {GetParam().folder});
    EXPECT_FALSE(r.timedOut) << r.output;
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::vector<std::string> expected(GetParam().failures.begin(), GetParam().failures.end());
    EXPECT_EQ(FailuresLogged(LogMessagesOf(r.output), GetParam()), expected) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Folders, CompoUnreadable, ::testing::ValuesIn(UnreadableCases()),
                         [](const ::testing::TestParamInfo<UnreadableCase>& info) { return info.param.name; });

// Read-only mounts in a mount namespace of the scenario's own (root only):
// TMPDIR alone, or every place the launcher could fall back to.
TEST_F(CompoMachine, LauncherFallsBackFromAReadOnlyTmpdirOrSaysWhatToDo)
{
    if (getuid() != 0 || FindProgram("unshare").empty()) GTEST_SKIP() << "needs root and unshare";
    const std::string tmp = work->Root() + "/read-only-tmp";
    fs::create_directories(tmp);
    const std::string inner = R"(
for dir in $OSTREL_READ_ONLY; do
  mount --bind "$dir" "$dir" && mount -o remount,bind,ro "$dir" "$dir" || exit 99
done
TMPDIR=$2 XDG_RUNTIME_DIR= "$1/ostrel"
)";
    const std::string outer = R"(unshare -m /bin/sh -c "$OSTREL_INNER" scenario "$@")";
    ProcessResult fallback = Scenario("1600x900", outer, {tmp}, {"OSTREL_INNER=" + inner, "OSTREL_READ_ONLY=" + tmp});
    EXPECT_EQ(fallback.exitCode, 0) << fallback.output;
    EXPECT_TRUE(Has(fallback.output, "Engine Shutting Down")) << fallback.output;

    ProcessResult nowhere = Scenario("1600x900", outer, {tmp},
                                     {"OSTREL_INNER=" + inner, "OSTREL_READ_ONLY=" + tmp + " /tmp /var/tmp /dev/shm"});
    EXPECT_EQ(nowhere.exitCode, 1) << nowhere.output;
    EXPECT_NE(nowhere.output.find("ostrel: no writable folder for temporary files (TMPDIR=" + tmp +
                                  ", /tmp, /var/tmp): set TMPDIR to one, or name the version to play, e.g. "
                                  "./ostrel 1920x1080-4x\n"),
              std::string::npos)
        << nowhere.output;
    EXPECT_FALSE(Has(nowhere.output, "Initializing Engine")) << nowhere.output;
}

}  // namespace
