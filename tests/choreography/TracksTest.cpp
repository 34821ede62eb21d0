// The committed track files against their source, and what the choreography
// must never do whatever it is changed to: switch the grade off, show the
// depth view, look straight up or down, or play past the end in the light.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

namespace {

const std::string kSource = OSTREL_SOURCE_DIR;
const std::string kSyncDir = kSource + "/res/sync/";
const int kSongRows = 72 * 64;

std::vector<std::string> ListDir(const std::string& path, const std::string& suffix)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/ostrel-choreo-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "";
    }
    ~TempDir()
    {
        for (const auto& name : ListDir(path, "")) std::remove((path + "/" + name).c_str());
        rmdir(path.c_str());
    }
};

ProcessResult Tool(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {OSTREL_TRACK_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, kSource, {}, 60.0);
}

// Reads every production track from the committed files.
class Timeline {
public:
    Timeline() : store(syncStoreCreate(kSyncDir.c_str())) {}
    ~Timeline() { syncStoreDestroy(store); }
    double At(const char* name, double row) { return syncTrackValue(syncStoreGetTrack(store, name), row); }
    int Keys(const char* name) { return syncStoreGetTrack(store, name)->keyCount; }

private:
    SyncTrackStore* store;
};

// Rows of the crashes in the soundtrack's section map ("| bar | row | seconds | what |").
std::vector<int> CrashRows()
{
    std::vector<int> rows;
    std::ifstream in(kSource + "/choreography/SECTIONS.md");
    bool inHits = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) inHits = line.find("Big hits") != std::string::npos;
        float bar = 0.0f;
        int row = 0;
        if (inHits && std::sscanf(line.c_str(), "| %f | %d |", &bar, &row) == 2 &&
            line.find("crash") != std::string::npos)
            rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(Choreography, CommittedTracksAreAFreshCompileOfTheSource)
{
    std::vector<std::string> sources;
    for (const auto& name : ListDir(kSource + "/choreography", ".tracks"))
        sources.push_back(kSource + "/choreography/" + name);
    ASSERT_FALSE(sources.empty());

    TempDir out;
    std::vector<std::string> args = {"compile", "-o", out.path};
    args.insert(args.end(), sources.begin(), sources.end());
    ProcessResult compiled = Tool(args);
    ASSERT_EQ(compiled.exitCode, 0) << compiled.output;

    auto fresh = ListDir(out.path, ".track");
    EXPECT_EQ(fresh.size(), (size_t)SYNC_TRACK_NAME_COUNT);
    EXPECT_EQ(ListDir(kSyncDir, ".track").size(), fresh.size()) << "res/sync/ holds other track files";
    for (const auto& name : fresh) {
        std::string want, have;
        ASSERT_TRUE(ReadWholeFile(out.path + "/" + name, want));
        EXPECT_TRUE(ReadWholeFile(kSyncDir + name, have) && have == want)
            << "res/sync/" << name << " is stale: run scripts/make-tracks.sh";
    }
}

TEST(Choreography, ToolFindsNoProblemInTheCommittedTracks)
{
    ProcessResult checked = Tool({"check", kSyncDir});
    EXPECT_EQ(checked.exitCode, 0) << checked.output;
}

TEST(Choreography, EveryTrackHasKeys)
{
    Timeline timeline;
    for (const char* name : syncTrackNames) EXPECT_GE(timeline.Keys(name), 1) << name;
}

TEST(Choreography, GradeStaysOnAndTheDepthViewOff)
{
    Timeline timeline;
    for (int row = -64; row <= kSongRows + 64; ++row) {
        ASSERT_GT(timeline.At("FX.EnableBloom", row), 0.0) << "bloom off at row " << row;
        ASSERT_LE(timeline.At("FX.RenderDepth", row), 0.0) << "depth view at row " << row;
        ASSERT_GT(timeline.At("FX.BloomDry", row), 0.0) << row;
        ASSERT_GT(timeline.At("FX.Exposure", row), 0.0) << row;
        ASSERT_LT(timeline.At("FX.Flash", row), 1.0) << row;
    }
}

TEST(Choreography, StartsAndEndsInBlackAndFlashesDieWithinTwoBeats)
{
    Timeline timeline;
    EXPECT_LE(timeline.At("FX.Fade", 0), 0.0);
    EXPECT_GE(timeline.At("FX.Fade", 2 * 64), 1.0);
    for (int row = 71 * 64 + 32; row <= kSongRows + 64; ++row)
        ASSERT_LE(timeline.At("FX.Fade", row), 0.0) << "still visible at row " << row;

    int lit = 0;
    for (int row = 0; row <= kSongRows; ++row) {
        lit = timeline.At("FX.Flash", row) > 0.0 ? lit + 1 : 0;
        ASSERT_LE(lit, 40) << "flash held up to row " << row;
    }
}

TEST(Choreography, CameraKeepsAUsableView)
{
    Timeline timeline;
    bool usedMode[2] = {false, false};
    for (double row = 0; row <= kSongRows; row += 0.5) {
        double mode = std::floor(timeline.At("Camera.Mode", row));
        ASSERT_TRUE(mode == 0.0 || mode == 1.0) << "mode " << mode << " at row " << row;
        usedMode[(int)mode] = true;
        if (mode == 0.0) {
            double dx = timeline.At("Focus.X", row) - timeline.At("Camera.X", row);
            double dy = timeline.At("Focus.Y", row) - timeline.At("Camera.Y", row);
            double dz = timeline.At("Focus.Z", row) - timeline.At("Camera.Z", row);
            double across = std::sqrt(dx * dx + dz * dz);
            // Looking along the up vector leaves the view undefined; stay well clear of it.
            ASSERT_GT(across, 5.0) << "eye over the focus at row " << row;
            ASSERT_LT(std::fabs(dy) / across, 4.0) << "looking almost straight up or down at row " << row;
        } else {
            ASSERT_GT(timeline.At("Camera.Distance", row), 5.0) << "orbit inside the near plane at row " << row;
        }
    }
    EXPECT_TRUE(usedMode[0] && usedMode[1]);
}

TEST(Choreography, FlashesLandOnTheCrashes)
{
    Timeline timeline;
    std::vector<int> crashes = CrashRows();
    ASSERT_GE(crashes.size(), 4u) << "no section map with its big hits";
    for (int row : crashes) {
        EXPECT_GE(timeline.At("FX.Flash", row), 0.3) << "no flash on the crash at row " << row;
        EXPECT_LE(timeline.At("FX.Flash", row - 1), 0.05) << "flash before the crash at row " << row;
        EXPECT_LE(timeline.At("FX.Flash", row + 32), 0.0) << "flash still up two beats after row " << row;
    }
}

TEST(Choreography, CameraNeverRestsForTwoBars)
{
    const char* const camera[] = {"Camera.Mode", "Camera.X", "Camera.Y", "Camera.Z", "Focus.X", "Focus.Y",
                                  "Focus.Z", "Camera.Distance", "Camera.Pitch", "Camera.Yaw", "Camera.Roll"};
    Timeline timeline;
    // Up to the last half bar, which is black.
    for (int row = 0; row + 128 <= 71 * 64 + 32; row += 8) {
        double moved = 0.0;
        for (const char* name : camera) moved = std::max(moved, std::fabs(timeline.At(name, row + 128) - timeline.At(name, row)));
        EXPECT_GT(moved, 1.0) << "camera at rest from row " << row;
    }
}
