#pragma once

// What the release tests share: packing this build with
// scripts/make-release.sh and unpacking the archive, as someone who
// downloaded it would; running things on a virtual screen of their own.

#include <unistd.h>

#include <filesystem>
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
