// Checks what the released programs ask of the system at run time: glibc's
// libraries and OpenGL only, glibc 2.31 at most, SDL's window and sound back
// ends left to dlopen. Packs a fresh archive from the self-contained release
// build (scripts/make-release.sh's build tree) and skips when there is none.

#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "FrameSink.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kDeliverables[] = {"ostrel-1600x900-4x", "ostrel-1920x1080-4x", "ostrel-1920x1080-8x",
                                     "ostrel-1920x1080-16x"};

// What every glibc system has, and the system's own OpenGL library; not
// GLVND's libOpenGL.so.0, which a system with OpenGL may lack.
const std::set<std::string> kAllowed = {"libc.so.6",       "libm.so.6",            "libdl.so.2",
                                        "libpthread.so.0", "ld-linux-x86-64.so.2", "libGL.so.1",
                                        "libGLX.so.0"};

// The libraries named NEEDED in a program's dynamic section, by readelf.
std::vector<std::string> NeededLibraries(const std::string& program, bool& ok)
{
    ProcessResult r = RunProcess({FindProgram("readelf"), "-d", "-W", program}, "/", {}, 60.0);
    ok = r.exitCode == 0;
    std::vector<std::string> needed;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        size_t open = line.find('['), close = line.find(']');
        if (open != std::string::npos && close != std::string::npos && close > open)
            needed.push_back(line.substr(open + 1, close - open - 1));
    }
    return needed;
}

std::vector<std::string> NotAllowed(const std::vector<std::string>& needed)
{
    std::vector<std::string> out;
    for (const std::string& lib : needed)
        if (kAllowed.count(lib) == 0) out.push_back(lib);
    return out;
}

std::string Join(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
    return out;
}

// The newest GLIBC_x.y symbol version a program asks for, as x * 1000 + y
// (-1 when it names none), by objdump -T.
int NewestGlibc(const std::string& program, std::string& name)
{
    ProcessResult r = RunProcess({FindProgram("objdump"), "-T", program}, "/", {}, 60.0);
    int newest = -1;
    size_t at = 0;
    while ((at = r.output.find("GLIBC_", at)) != std::string::npos) {
        at += 6;
        int major = 0, minor = 0;
        if (std::sscanf(r.output.c_str() + at, "%d.%d", &major, &minor) == 2 && major * 1000 + minor > newest) {
            newest = major * 1000 + minor;
            name = "GLIBC_" + std::to_string(major) + "." + std::to_string(minor);
        }
    }
    return newest;
}

class ReleaseLibraries : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const char* d : kDeliverables)
            if (!fs::exists(std::string(OSTREL_RELEASE_BUILD_DIR) + "/bin/" + d)) return;
        work = new TempLayout(false, false);
        ProcessResult r = RunProcess({"/bin/bash", std::string(OSTREL_SOURCE_DIR) + "/scripts/make-release.sh",
                                      "--no-build", "--build-dir", OSTREL_RELEASE_BUILD_DIR, "--output",
                                      work->Root() + "/dist", "--version", "needed-check"},
                                     "", {}, 300.0);
        packOutput = r.output;
        if (r.exitCode == 0)
            r = RunProcess({"/bin/tar", "-xzf", work->Root() + "/dist/ostrel-needed-check-linux-x86_64.tar.gz", "-C",
                            work->Root()},
                           "", {}, 120.0);
        packed = r.exitCode == 0;
        bin = work->Root() + "/ostrel-needed-check-linux-x86_64/bin/";
    }
    static void TearDownTestSuite() { delete work; }
    void SetUp() override
    {
        // CI sets OSTREL_REQUIRE_RELEASE right after making the release: a
        // missing tree is then a failure, not a skip.
        if (work == nullptr && std::getenv("OSTREL_REQUIRE_RELEASE") != nullptr)
            FAIL() << "no release build in " OSTREL_RELEASE_BUILD_DIR;
        if (work == nullptr) GTEST_SKIP() << "no release build in " OSTREL_RELEASE_BUILD_DIR " (scripts/make-release.sh)";
        ASSERT_TRUE(packed) << packOutput;
        ASSERT_FALSE(FindProgram("readelf").empty());
        ASSERT_FALSE(FindProgram("objdump").empty());
    }

    static TempLayout* work;
    static bool packed;
    static std::string packOutput;
    static std::string bin;
};

TempLayout* ReleaseLibraries::work = nullptr;
bool ReleaseLibraries::packed = false;
std::string ReleaseLibraries::packOutput;
std::string ReleaseLibraries::bin;

TEST_F(ReleaseLibraries, NeedOnlyGlibcAndOpenGL)
{
    for (const char* d : kDeliverables) {
        bool ok = false;
        std::vector<std::string> needed = NeededLibraries(bin + d, ok);
        ASSERT_TRUE(ok) << d;
        EXPECT_NE(std::find(needed.begin(), needed.end(), "libc.so.6"), needed.end()) << d << ": " << Join(needed);
        EXPECT_TRUE(NotAllowed(needed).empty()) << d << " needs " << Join(NotAllowed(needed));
    }
}

// Debian 11 and Ubuntu 20.04 have 2.31. Built on a newer system, the static
// C++ runtime alone asks for arc4random (2.36) and _dl_find_object (2.35).
TEST_F(ReleaseLibraries, NeedGlibc231AtMost)
{
    for (const char* d : kDeliverables) {
        std::string newest;
        int version = NewestGlibc(bin + d, newest);
        EXPECT_GE(version, 2002) << d << " names no glibc symbol version";
        EXPECT_LE(version, 2031) << d << " needs " << newest;
    }
}

TEST_F(ReleaseLibraries, LoadWindowAndSoundSystemsAtRunTime)
{
    // SDL names the libraries it dlopens; none of them is linked (see above).
    for (const char* d : kDeliverables) {
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(bin + d, bytes)) << d;
        for (const char* lib : {"libX11.so.6", "libwayland-client.so.0", "libpulse-simple.so.0", "libpipewire-0.3.so.0",
                                "libasound.so.2"})
            EXPECT_NE(bytes.find(lib), std::string::npos) << d << " cannot load " << lib;
    }
}

// The check itself catches a program linked the ordinary way: this build's
// deliverables take SDL2 and the C++ runtime from the system.
TEST(NeededLibrariesCheck, RejectsSharedSdlAndCppRuntime)
{
#ifdef OSTREL_STATIC_BUILD
    GTEST_SKIP() << "this build links its libraries statically";
#endif
    bool ok = false;
    std::vector<std::string> rejected = NotAllowed(NeededLibraries(OSTREL_BIN_DIR "/ostrel-1600x900-4x", ok));
    ASSERT_TRUE(ok);
    for (const char* lib : {"libSDL2-2.0.so.0", "libstdc++.so.6", "libmpg123.so.0"})
        EXPECT_NE(std::find(rejected.begin(), rejected.end(), lib), rejected.end()) << lib << " not rejected";
    for (const char* lib : {"libc.so.6", "libm.so.6"})
        EXPECT_EQ(std::find(rejected.begin(), rejected.end(), lib), rejected.end()) << lib << " rejected";
}

// The glibc check sees what a build on this system asks for: the ordinary
// build's deliverable, made with this system's C library.
TEST(NeededLibrariesCheck, SeesTheGlibcOfThisSystemsBuild)
{
    const std::string system = gnu_get_libc_version();
    int major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(system.c_str(), "%d.%d", &major, &minor), 2) << system;
    if (major * 1000 + minor <= 2031) GTEST_SKIP() << "this system's glibc " << system << " is not newer than 2.31";
    std::string newest;
    EXPECT_GT(NewestGlibc(OSTREL_BIN_DIR "/ostrel-1600x900-4x", newest), 2031) << newest;
}

}  // namespace
