// The studio's workspace over a copy of the production's choreography: key
// edits written into the text and swapped live, undo to the byte, and what it
// says when sources go missing or name tracks nobody reads.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Workspace.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackStore.h"

namespace fs = std::filesystem;

namespace {

class WorkspaceTest : public ::testing::Test {
protected:
    WorkspaceTest() : dir(layout.Root() + "/choreography")
    {
        fs::create_directories(dir);
        for (const char* name : {"camera.tracks", "objects.tracks", "fx.tracks", "SECTIONS.md"})
            fs::copy_file(std::string(OSTREL_SOURCE_TREE) + "/choreography/" + name, dir + "/" + name);
        options.tracksDir = dir;
        options.sourceDir = layout.Root();
        workspace.Open(options, sync, scene);
    }
    ~WorkspaceTest() override
    {
        workspace.Close();
        syncStoreDestroy(sync.SwapStore(nullptr));
    }

    std::string Text(const std::string& name) const
    {
        std::string text;
        EXPECT_TRUE(ReadWholeFile(dir + "/" + name, text)) << name;
        return text;
    }
    // Saved as an editor saves, then seen by the watcher: true when the
    // store was swapped.
    bool Save(const std::string& name, const std::string& text)
    {
        EXPECT_TRUE(layout.WriteFile("../choreography/" + name, text));
        return Poll();
    }
    bool Poll()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        bool swapped = false;
        workspace.Poll(&swapped);
        return swapped;
    }
    // What the live store reads for track at row.
    float Value(const char* track, double row)
    {
        return (float)syncTrackValue(syncStoreGetTrack(sync.GetStore(), track), row);
    }
    std::vector<TrackRecord> Keys(const std::string& track)
    {
        const TrackSource* source = workspace.SourceOf(track);
        return source ? source->keys : std::vector<TrackRecord>();
    }

    TempLayout layout;
    std::string dir;
    StudioOptions options;
    SyncDevice sync;
    Scene scene;
    Workspace workspace;
};

uint32_t Bits(const char* text)
{
    uint32_t bits = 0;
    std::string error;
    EXPECT_TRUE(parseValue(text, &bits, &error)) << error;
    return bits;
}

TEST_F(WorkspaceTest, EditsGoIntoTheTextLiveAndUndoRestoresItByteForByte)
{
    ASSERT_TRUE(workspace.Errors().empty()) << workspace.Errors()[0];
    const std::string original = Text("fx.tracks");
    std::vector<TrackRecord> keys = Keys("FX.Fade");
    ASSERT_GE(keys.size(), 4u);
    // Between the drop's key (16:0:0, 1, step) and the next one.
    const int32_t row = 16 * 64 + 16 + 3;
    const float before = Value("FX.Fade", row);
    std::string message;

    // Inserted with the value the track has there and the type before it.
    ASSERT_TRUE(workspace.InsertKey("FX.Fade", row, &message)) << message;
    EXPECT_NE(message.find("fx.tracks:"), std::string::npos) << message;
    EXPECT_EQ(Value("FX.Fade", row), before);
    std::vector<TrackRecord> inserted = Keys("FX.Fade");
    ASSERT_EQ(inserted.size(), keys.size() + 1);
    size_t at = 0;
    while (inserted[at].row != row) ASSERT_LT(++at, inserted.size());
    EXPECT_EQ(inserted[at - 1].type, inserted[at].type);
    EXPECT_EQ(inserted[at].valueBits, Bits("1"));
    const std::string afterInsert = Text("fx.tracks");
    EXPECT_NE(afterInsert.find("\n    16:1:3     1         step\n"), std::string::npos) << afterInsert;

    // Three steps down, then the interpolation on, then a move: each a new
    // state of the same line, each read by the store at once.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(workspace.NudgeKey("FX.Fade", row, -1, 0.01, &message)) << message;
    EXPECT_NE(Text("fx.tracks").find("\n    16:1:3     0.97      step\n"), std::string::npos);
    EXPECT_FLOAT_EQ(Value("FX.Fade", row), 0.97f);
    ASSERT_TRUE(workspace.CycleInterpolation("FX.Fade", row, &message)) << message;
    int32_t movedTo = 0;
    ASSERT_TRUE(workspace.MoveKey("FX.Fade", row, row + 5, &movedTo, &message)) << message;
    EXPECT_EQ(movedTo, row + 5);
    std::vector<TrackRecord> moved = Keys("FX.Fade");
    ASSERT_EQ(moved.size(), keys.size() + 1);
    EXPECT_EQ(moved[at].row, row + 5);
    EXPECT_EQ(moved[at].type, 1);
    EXPECT_EQ(moved[at].valueBits, Bits("0.97"));

    // Undo walks back through every state to the original bytes; redo
    // walks forward again.
    std::vector<std::string> states;
    for (int i = 0; i < 6; ++i) {
        states.push_back(Text("fx.tracks"));
        ASSERT_TRUE(workspace.Undo(&message)) << i << ": " << message;
    }
    EXPECT_EQ(Text("fx.tracks"), original);
    EXPECT_TRUE(Keys("FX.Fade").size() == keys.size());
    EXPECT_FALSE(workspace.Undo(&message));
    for (int i = 5; i >= 0; --i) {
        ASSERT_TRUE(workspace.Redo(&message)) << message;
        EXPECT_EQ(Text("fx.tracks"), states[(size_t)i]);
    }
    EXPECT_FALSE(workspace.Redo(&message));

    // A save from an editor between two edits stays: undo goes back to it
    // and no further.
    std::string external = Text("fx.tracks") + "\n# a note from the editor\n";
    Save("fx.tracks", external);
    ASSERT_TRUE(workspace.DeleteKey("FX.Fade", row + 5, &message)) << message;
    EXPECT_EQ(Keys("FX.Fade").size(), keys.size());
    ASSERT_TRUE(workspace.Undo(&message)) << message;
    EXPECT_EQ(Text("fx.tracks"), external);
    EXPECT_FALSE(workspace.Undo(&message));
    EXPECT_NE(message.find("changed outside the studio"), std::string::npos) << message;
    EXPECT_EQ(Text("fx.tracks"), external);
    // And a new edit after an undo drops what could be redone.
    ASSERT_TRUE(workspace.SetKeyValue("FX.Fade", row + 5, "0.25", &message)) << message;
    EXPECT_FALSE(workspace.Redo(&message));
}

TEST_F(WorkspaceTest, RefusesEditsItCannotPlaceAndNeverSavesAPartialSet)
{
    std::string message;
    // Keys that are not there, moves past neighbours, inserts onto a key.
    EXPECT_FALSE(workspace.NudgeKey("FX.Fade", 5, 1, 0.01, &message));
    EXPECT_NE(message.find("no key at 0:0:5"), std::string::npos) << message;
    EXPECT_FALSE(workspace.InsertKey("FX.Fade", 0, &message));
    int32_t movedTo = -1;
    EXPECT_FALSE(workspace.MoveKey("FX.Fade", 0, 0, &movedTo, &message));

    // A track no source holds is not edited; the studio names its home.
    std::string fx = Text("fx.tracks");
    size_t start = fx.find("track FX.Flash\n");
    ASSERT_NE(start, std::string::npos);
    size_t end = fx.find("\ntrack ", start + 1);
    Save("fx.tracks", fx.substr(0, start) + fx.substr(end + 1));
    EXPECT_FALSE(workspace.InsertKey("FX.Flash", 100, &message));
    EXPECT_NE(message.find("a new block for it would go into " + dir + "/fx.tracks"), std::string::npos) << message;
    // It keeps its last good keys, and S refuses the partial set.
    EXPECT_EQ(workspace.Orphans(), std::vector<std::string>{"FX.Flash"});
    message = workspace.Save();
    EXPECT_NE(message.find("not saved: no source defines 1 of the 53 tracks (FX.Flash)"), std::string::npos)
        << message;

    // A source that disappears: its tracks keep their keys and the errors say so.
    const float grid = Value("Grid.NoiseMagnitude", 1500.0);
    const float cube = Value("Cube.Scale", 1500.0);
    fs::remove(dir + "/objects.tracks");
    EXPECT_TRUE(Poll());
    EXPECT_EQ(Value("Grid.NoiseMagnitude", 1500.0), grid);
    EXPECT_EQ(Value("Cube.Scale", 1500.0), cube);
    std::vector<std::string> errors = workspace.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("no source defines "), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("Grid.NoiseMagnitude"), std::string::npos);
    EXPECT_NE(errors[0].find("FX.Flash"), std::string::npos);
    EXPECT_NE(errors[0].find("keep their last good keys"), std::string::npos);
    EXPECT_EQ(workspace.Save().find("not saved: no source defines"), 0u);
    // Saved empty is the same as gone.
    Save("camera.tracks", "");
    EXPECT_NE(workspace.Errors()[0].find("Camera.Distance"), std::string::npos);

    // Everything back: a complete set saves.
    fs::copy_file(std::string(OSTREL_SOURCE_TREE) + "/choreography/objects.tracks", dir + "/objects.tracks");
    fs::copy_file(std::string(OSTREL_SOURCE_TREE) + "/choreography/camera.tracks", dir + "/camera.tracks",
                  fs::copy_options::overwrite_existing);
    Save("fx.tracks", fx);
    EXPECT_TRUE(workspace.Errors().empty()) << workspace.Errors()[0];
    EXPECT_EQ(workspace.Save().find("wrote 53 tracks into "), 0u);

    // A misspelt name: a hint the studio can follow, not a flag it lacks.
    Save("fx.tracks", fx + "\ntrack Camera.Distanse\n    0:0:0  1\n");
    errors = workspace.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("did you mean Camera.Distance?"), std::string::npos) << errors[0];
    EXPECT_EQ(errors[0].find("--any-name"), std::string::npos) << errors[0];
    EXPECT_FALSE(workspace.SetKeyValue("FX.Fade", 0, "0.5", &message));
    EXPECT_NE(message.find("has errors"), std::string::npos) << message;
}

TEST_F(WorkspaceTest, MutedGroupsReadAsOffInTheStoreOnlyAndOutliveARecompile)
{
    const double row = 1500.0;  // the drop: grid, cube, rings and bloom all on
    ASSERT_TRUE(sync.GetStore() != nullptr);
    for (const char* track : {"Grid.Visible", "Cube.Visible", "Ring1.Progress", "FX.EnableBloom"})
        ASSERT_GT(Value(track, row), 0.0f) << track;
    const std::vector<TrackRecord> grid = Keys("Grid.Visible");

    workspace.SetMuted({"Grid", "Rings", "bloom"});
    for (const char* track : {"Grid.Visible", "Ring1.Progress", "Ring2.Progress", "FX.EnableBloom"})
        EXPECT_EQ(Value(track, row), 0.0f) << track;
    EXPECT_GT(Value("Cube.Visible", row), 0.0f);
    // The text, and so saves and captures, keep the real keys.
    EXPECT_TRUE(Keys("Grid.Visible").size() == grid.size() && Keys("Grid.Visible")[0].valueBits == grid[0].valueBits);
    // A saved edit recompiles; the view stays as chosen.
    std::string fx = Text("fx.tracks");
    EXPECT_TRUE(Save("fx.tracks", fx + "\n"));
    EXPECT_EQ(Value("Grid.Visible", row), 0.0f);
    EXPECT_EQ(Value("FX.EnableBloom", row), 0.0f);

    workspace.SetMuted({});
    EXPECT_GT(Value("Grid.Visible", row), 0.0f);
    EXPECT_GT(Value("FX.EnableBloom", row), 0.0f);
}

TEST(TrackNames, AMisspeltNameGetsTheNearestKnownOne)
{
    struct Case {
        const char* typed;
        const char* nearest;
    } cases[] = {{"Camera.Distanse", "Camera.Distance"}, {"camera.yaw", "Camera.Yaw"}, {"FX.Fdae", "FX.Fade"},
                 {"Ring3.Progress", "Ring1.Progress"}, {"Sky.Colour", ""}, {"", ""}};
    for (const Case& c : cases) EXPECT_EQ(closestTrackName(c.typed), c.nearest) << c.typed;

    StudioOptions options;
    std::string error;
    const char* argv[] = {"ostrel-studio", "--curves", "Camera.Jaw"};
    EXPECT_FALSE(ParseStudioOptions(3, argv, options, error));
    EXPECT_NE(error.find("did you mean Camera.Yaw?"), std::string::npos) << error;
}

TEST(NudgeStep, AHundredthOfTheRangeOnAOneTwoFiveScaleAndWholeStepsForSwitches)
{
    struct Case {
        const char* track;
        double low, high, step;
    } cases[] = {{"FX.Fade", 0.0, 1.0, 0.01},        {"Camera.Distance", 8.0, 30.0, 0.2},
                 {"Camera.Yaw", 0.0, 360.0, 2.0},    {"FX.Exposure", 1.0, 1.0, 0.01},
                 {"FX.Flash", 0.0, 0.6, 0.005},      {"Grid.Visible", 0.0, 1.0, 1.0},
                 {"FX.EnableBloom", 0.0, 0.0, 1.0},  {"Camera.Mode", 0.0, 1.0, 1.0},
                 {"Needles.Z", -5000.0, 5000.0, 100.0}};
    for (const Case& c : cases) EXPECT_NEAR(NudgeStep(c.track, c.low, c.high), c.step, c.step * 1e-9) << c.track;
}

}  // namespace
