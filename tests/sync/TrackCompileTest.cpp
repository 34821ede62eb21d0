// The compiler shared by the track tool and live editing: a store built from
// the text must read exactly as one that reads the compiled files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "TrackFormat.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

namespace fs = std::filesystem;

namespace {

const std::string kSource = OSTREL_SOURCE_DIR;

uint64_t bitsOf(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// Same keys, field by field to the bit, and the same value bits at every half
// row from a bar before the first key to a bar after the last.
void expectSameTracks(SyncTrackStore* expected, SyncTrackStore* actual, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        SyncTrack* want = syncStoreGetTrack(expected, name.c_str());
        SyncTrack* have = syncStoreGetTrack(actual, name.c_str());
        ASSERT_TRUE(want && have) << name;
        ASSERT_EQ(have->keyCount, want->keyCount) << name;
        EXPECT_TRUE(have->keyCount == 0 || memcmp(have->keys, want->keys, sizeof(SyncKey) * want->keyCount) == 0)
            << name;
        if (want->keyCount == 0)
            continue;
        int32_t first = std::min(0, want->keys[0].row) - kRowsPerBar;
        int32_t last = want->keys[want->keyCount - 1].row + kRowsPerBar;
        for (double row = first; row <= last; row += 0.5)
            ASSERT_EQ(bitsOf(syncTrackValue(have, row)), bitsOf(syncTrackValue(want, row))) << name << " at " << row;
    }
}

std::vector<std::string> namesOf(const std::vector<TrackSource>& tracks)
{
    std::vector<std::string> names;
    for (const TrackSource& track : tracks)
        names.push_back(track.name);
    return names;
}

}  // namespace

TEST(LiveTracks, ChoreographyBuiltFromTextReadsAsItsCompiledAndCommittedFiles)
{
    std::vector<std::string> sources;
    for (const auto& entry : fs::directory_iterator(kSource + "/choreography"))
        if (entry.path().extension() == ".tracks")
            sources.push_back(entry.path().string());
    std::sort(sources.begin(), sources.end());
    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    ASSERT_TRUE(compileTrackSources(sources, false, &tracks, &errors)) << errors[0];
    ASSERT_EQ(tracks.size(), (size_t)SYNC_TRACK_NAME_COUNT);

    TempLayout layout(false, false);
    std::string written = layout.Res() + "/";
    std::string error;
    ASSERT_TRUE(writeCompiledTracks(written, tracks, &error)) << error;
    const std::string committed = kSource + "/res/sync/";

    SyncTrackStore* fromText = buildStoreFromTracks(tracks, "/nonexistent/");
    SyncTrackStore* fromFiles = syncStoreCreate(written.c_str());
    SyncTrackStore* fromCommitted = syncStoreCreate(committed.c_str());
    ASSERT_TRUE(fromText && fromFiles && fromCommitted);
    EXPECT_EQ(fromText->trackCount, SYNC_TRACK_NAME_COUNT);
    std::vector<std::string> names(syncTrackNames, syncTrackNames + SYNC_TRACK_NAME_COUNT);
    expectSameTracks(fromFiles, fromText, names);
    expectSameTracks(fromCommitted, fromText, names);
    syncStoreDestroy(fromText);
    syncStoreDestroy(fromFiles);
    syncStoreDestroy(fromCommitted);
}

// Bits the choreography never uses: NaN payloads, -0, infinities, type bytes
// above 127 (negative once loaded), negative rows, a keyless track. The
// production's names the text leaves out come from the base path's files.
TEST(LiveTracks, UnusualKeysBuildTheStoreTheirFilesLoad)
{
    const std::string text = "track Test.Bits\n"
                             "  -70 raw:0x7FC12345 255\n"
                             "  0 -0 128\n"
                             "  5 inf 127\n"
                             "  6 -inf smooth\n"
                             "  9 raw:0x00000001 ramp\n"
                             "  1:0 1e-3 linear\n"
                             "  2:0 2\n"
                             "track Test.Empty\n";
    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    ASSERT_TRUE(compileTrackTexts({{"bits.tracks", text}}, true, &tracks, &errors)) << errors[0];
    TempLayout layout(false, false);
    std::string dir = layout.Res() + "/";
    std::string error;
    ASSERT_TRUE(writeCompiledTracks(dir, tracks, &error)) << error;
    ASSERT_TRUE(layout.WriteFile("_FX.Fade.track", EncodeTrack({{0, 0.0f, 1}, {8, 1.0f, 0}})));

    SyncTrackStore* fromText = buildStoreFromTracks(tracks, dir.c_str());
    SyncTrackStore* fromFiles = syncStoreCreate(dir.c_str());
    ASSERT_TRUE(fromText && fromFiles);
    EXPECT_EQ(fromText->trackCount, 2 + SYNC_TRACK_NAME_COUNT);
    std::vector<std::string> names = namesOf(tracks);
    names.push_back("FX.Fade");
    expectSameTracks(fromFiles, fromText, names);
    const SyncTrack* bits = syncStoreGetTrack(fromText, "Test.Bits");
    EXPECT_EQ(bits->keys[0].type, -1);
    EXPECT_EQ(bits->keys[1].type, -128);
    EXPECT_EQ(syncTrackValue(syncStoreGetTrack(fromText, "FX.Fade"), 4.0), 0.5);
    syncStoreDestroy(fromText);
    syncStoreDestroy(fromFiles);
}

TEST(CompileTracks, ErrorsNameTheLineInOrderAndLeaveNoTracks)
{
    const std::vector<TrackText> texts = {{"a.tracks", "track Camera.X\n  0 1\n"},
                                          {"b.tracks", "track Camera.X\n  0 1\n  0 2\ntrack Camera.Zoom\n"}};
    const std::vector<std::string> parseAndDuplicate = {
        "b.tracks:3: row 0 (0) does not follow the previous key's row 0",
        "b.tracks:1: track Camera.X already defined at a.tracks:1",
    };
    std::vector<TrackSource> tracks(1);
    std::vector<std::string> errors;
    EXPECT_FALSE(compileTrackTexts(texts, true, &tracks, &errors));
    EXPECT_EQ(errors, parseAndDuplicate);
    EXPECT_TRUE(tracks.empty());

    errors.clear();
    EXPECT_FALSE(compileTrackTexts(texts, false, &tracks, &errors));
    std::vector<std::string> all = parseAndDuplicate;
    all.push_back("b.tracks:4: unknown track name Camera.Zoom (the production never reads it; --any-name allows it)");
    EXPECT_EQ(errors, all);

    errors.clear();
    TempLayout layout(false, false);
    std::string missing = layout.Root() + "/none.tracks";
    EXPECT_FALSE(compileTrackSources({missing}, false, &tracks, &errors));
    EXPECT_EQ(errors, std::vector<std::string>{missing + ": cannot read (No such file or directory)"});

    ASSERT_TRUE(compileTrackTexts({texts[0]}, false, &tracks, &errors));
    std::string error;
    EXPECT_FALSE(writeCompiledTracks(layout.Root() + "/no/dir", tracks, &error));
    EXPECT_EQ(error, layout.Root() + "/no/dir/_Camera.X.track: cannot write (No such file or directory); no file was changed");
}
