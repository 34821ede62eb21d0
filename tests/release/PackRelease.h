#pragma once

// What the release tests share: packing this build with
// scripts/make-release.sh and unpacking the archive, as someone who
// downloaded it would; running things on a virtual screen of their own.

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

struct PackedRelease {
    int exitCode = -1;
    std::string output;   // make-release.sh's
    std::string archive;  // the .tar.gz
    std::string top;      // the unpacked ostrel-<version>-linux-x86_64 folder
};

// Packs into root/dist and unpacks into the folder unpackInto (made if missing).
inline PackedRelease PackRelease(const std::string& root, const std::string& version, const std::string& unpackInto)
{
    PackedRelease r;
    ProcessResult pack = RunProcess({"/bin/bash", std::string(OSTREL_SOURCE_DIR) + "/scripts/make-release.sh",
                                     "--no-build", "--build-dir", OSTREL_BINARY_DIR, "--output", root + "/dist",
                                     "--version", version},
                                    "", {}, 300.0);
    r.exitCode = pack.exitCode;
    r.output = pack.output;
    r.archive = root + "/dist/ostrel-" + version + "-linux-x86_64.tar.gz";
    r.top = unpackInto + "/ostrel-" + version + "-linux-x86_64";
    if (r.exitCode == 0) {
        std::filesystem::create_directories(unpackInto);
        ProcessResult unpack = RunProcess({"/bin/tar", "-xzf", r.archive, "-C", unpackInto}, "", {}, 120.0);
        if (unpack.exitCode != 0) {
            r.exitCode = unpack.exitCode;
            r.output += unpack.output;
        }
    }
    return r;
}

// The arguments that run a command on a virtual screen (WIDTHxHEIGHT) of its
// own that any client may use. The display number is searched from a point
// that differs between processes, so parallel tests rarely race for one.
inline std::vector<std::string> OnOwnScreen(const std::string& screen)
{
    static int runs = 0;
    const int start = 200 + (int)((getpid() * 37 + 13 * runs++) % 700);
    return {"/usr/bin/xvfb-run", "-a", "-n", std::to_string(start), "-s", "-ac -screen 0 " + screen + "x24"};
}

inline ProcessResult RunOnOwnScreen(const std::string& screen, const std::vector<std::string>& argv,
                                    const std::string& cwd, std::vector<std::string> env, double timeoutSeconds)
{
    std::vector<std::string> all = OnOwnScreen(screen);
    all.insert(all.end(), argv.begin(), argv.end());
    return RunProcess(all, cwd, env, timeoutSeconds);
}

// The paths a run opened for writing, created or made a folder at, from
// strace's log of open, openat, creat, mkdir and mkdirat; failed attempts
// count.
inline std::vector<std::string> WrittenPaths(const std::string& straceLog)
{
    std::vector<std::string> paths;
    std::istringstream lines(straceLog);
    std::string line;
    while (std::getline(lines, line)) {
        const bool opens = line.find("open(") != std::string::npos || line.find("openat(") != std::string::npos;
        const bool writes = line.find("O_WRONLY") != std::string::npos || line.find("O_RDWR") != std::string::npos ||
                            line.find("O_CREAT") != std::string::npos || line.find("O_TRUNC") != std::string::npos;
        const bool makes = line.find("creat(") != std::string::npos || line.find("mkdir(") != std::string::npos ||
                           line.find("mkdirat(") != std::string::npos;
        if (!((opens && writes) || makes)) continue;
        const size_t open = line.find('"'), close = line.find('"', open + 1);
        if (open != std::string::npos && close != std::string::npos)
            paths.push_back(line.substr(open + 1, close - open - 1));
    }
    return paths;
}

// A folder of the release made unreadable, and the failures a run logs then.
struct UnreadableCase {
    const char* name;
    const char* folder;  // relative to the release
    std::vector<const char*> failures;
};

inline const std::vector<UnreadableCase>& UnreadableCases()
{
    static const std::vector<UnreadableCase> cases = {
        {"Resources", "res", {"Failed to build soundtrack!"}},
        {"Shaders", "res/shaders", {"Failed to read vertex shader source!", "Failed to initialize scene!"}},
        // The grid says so and the rest of the scene plays on.
        {"Textures", "res/textures", {"Failed to initialize noise.png!"}}};
    return cases;
}

// Those of the expected failures that messages holds, in the order logged.
inline std::vector<std::string> FailuresLogged(const std::vector<std::string>& messages, const UnreadableCase& c)
{
    std::vector<std::string> logged;
    for (const std::string& line : messages)
        if (std::find(c.failures.begin(), c.failures.end(), line) != c.failures.end()) logged.push_back(line);
    return logged;
}
