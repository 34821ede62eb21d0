#pragma once

// Packs this build with scripts/make-release.sh and unpacks the archive,
// as someone who downloaded it would.

#include <filesystem>
#include <string>

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
