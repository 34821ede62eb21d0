// Key edits written back into track source text: each one changes exactly one
// line, keeps the block's columns, and compiles to the keys it promised.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "TrackTextEdit.h"

namespace {

const std::string kChoreography = std::string(OSTREL_SOURCE_DIR) + "/choreography/";

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size() - 1;
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

// The lines that differ once the common head and tail are taken off.
struct Change {
    std::vector<std::string> removed, added;
};

Change changeBetween(const std::string& before, const std::string& after)
{
    std::vector<std::string> a = splitLines(before), b = splitLines(after);
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    size_t tail = 0;
    while (tail + head < a.size() && tail + head < b.size() && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    Change change;
    change.removed.assign(a.begin() + head, a.end() - tail);
    change.added.assign(b.begin() + head, b.end() - tail);
    return change;
}

// Where each word of a line starts.
std::vector<size_t> columnsOf(const std::string& line)
{
    std::vector<size_t> columns;
    for (size_t i = 0; i < line.size() && line[i] != '#' && line[i] != '\n'; ++i)
        if (line[i] != ' ' && (i == 0 || line[i - 1] == ' ')) columns.push_back(i);
    return columns;
}

std::vector<TrackRecord> compiledKeys(const std::string& text, const std::string& track)
{
    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    EXPECT_TRUE(compileTrackTexts({{"edited", text}}, false, &tracks, &errors)) << (errors.empty() ? "" : errors[0]);
    for (const TrackSource& source : tracks)
        if (source.name == track) return source.keys;
    ADD_FAILURE() << track << " is gone";
    return {};
}

bool sameKeys(const std::vector<TrackRecord>& a, const std::vector<TrackRecord>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].row != b[i].row || a[i].valueBits != b[i].valueBits || a[i].type != b[i].type) return false;
    return true;
}

uint32_t valueBits(const char* text)
{
    uint32_t bits = 0;
    std::string error;
    EXPECT_TRUE(parseValue(text, &bits, &error)) << error;
    return bits;
}

enum class Edit { Value, Move, Type, InsertBetween, InsertAfterLast, Delete };

class ChoreographyEdits : public ::testing::TestWithParam<const char*> {
protected:
    // The file under test, as text and as the compiler reads it.
    void SetUp() override
    {
        ASSERT_TRUE(ReadWholeFile(kChoreography + GetParam(), text));
        std::vector<std::string> errors;
        ASSERT_TRUE(compileTrackTexts({{GetParam(), text}}, false, &tracks, &errors));
        ASSERT_FALSE(tracks.empty());
    }
    std::string text;
    std::vector<TrackSource> tracks;
};

// Every track of the file, every kind of edit: one line changes (or comes or
// goes), the others stay byte for byte, a rewritten line keeps its columns, a
// new one takes its neighbour's, and the compiler reads the expected keys.
TEST_P(ChoreographyEdits, TouchOneLineKeepTheColumnsAndCompileToTheExpectedKeys)
{
    int edits = 0;
    for (const TrackSource& track : tracks) {
        const std::vector<TrackRecord>& keys = track.keys;
        ASSERT_FALSE(keys.empty()) << track.name;
        TrackBlock block = findTrackBlock(text, track.name);
        ASSERT_TRUE(block.found);
        ASSERT_EQ(block.keys.size(), keys.size()) << track.name;
        size_t i = keys.size() / 2;  // a key with neighbours where there are any
        const TrackRecord key = keys[i];
        const std::string keyLine = text.substr(block.keys[i].begin, block.keys[i].end - block.keys[i].begin) + "\n";
        bool gapAfter = i + 1 < keys.size() && keys[i + 1].row - key.row > 1;

        for (Edit edit : {Edit::Value, Edit::Move, Edit::Type, Edit::InsertBetween, Edit::InsertAfterLast,
                          Edit::Delete}) {
            std::vector<TrackRecord> expected = keys;
            std::string out, error;
            bool ok = false;
            TrackRecord changed = key;
            switch (edit) {
            case Edit::Value:
                changed.valueBits = valueBits("-12.375");
                expected[i] = changed;
                ok = replaceKeyInText(text, track.name, key.row, changed, &out, &error);
                break;
            case Edit::Move:
                if (!gapAfter) continue;
                changed.row = key.row + 1;
                expected[i] = changed;
                ok = replaceKeyInText(text, track.name, key.row, changed, &out, &error);
                break;
            case Edit::Type:
                changed.type = (uint8_t)((key.type + 1) % 4);
                expected[i] = changed;
                ok = replaceKeyInText(text, track.name, key.row, changed, &out, &error);
                break;
            case Edit::InsertBetween:
                if (!gapAfter) continue;
                changed = TrackRecord{key.row + (keys[i + 1].row - key.row) / 2, valueBits("0.5"), key.type};
                expected.insert(expected.begin() + (long)i + 1, changed);
                ok = insertKeyInText(text, track.name, changed, &out, &error);
                break;
            case Edit::InsertAfterLast:
                changed = TrackRecord{keys.back().row + kRowsPerBar + 3, valueBits("2"), 2};
                expected.push_back(changed);
                ok = insertKeyInText(text, track.name, changed, &out, &error);
                break;
            case Edit::Delete:
                expected.erase(expected.begin() + (long)i);
                ok = deleteKeyInText(text, track.name, key.row, &out, &error);
                break;
            }
            ++edits;
            SCOPED_TRACE(track.name + " edit " + std::to_string((int)edit));
            ASSERT_TRUE(ok) << error;
            EXPECT_TRUE(sameKeys(compiledKeys(out, track.name), expected));
            Change change = changeBetween(text, out);
            bool insert = edit == Edit::InsertBetween || edit == Edit::InsertAfterLast;
            ASSERT_EQ(change.removed.size(), insert ? 0u : 1u) << out;
            ASSERT_EQ(change.added.size(), edit == Edit::Delete ? 0u : 1u) << out;
            if (edit == Edit::Delete) {
                EXPECT_EQ(change.removed[0], keyLine);
            } else if (insert) {
                // Laid out like the key line before it, with no comment.
                const std::string& model = edit == Edit::InsertBetween ? keyLine : [&] {
                    const KeyLine& last = block.keys.back();
                    return text.substr(last.begin, last.end - last.begin);
                }();
                EXPECT_EQ(columnsOf(change.added[0]).size(), 3u) << change.added[0];
                for (size_t c = 0; c < 2; ++c) EXPECT_EQ(columnsOf(change.added[0])[c], columnsOf(model)[c]);
                EXPECT_EQ(change.added[0].find('#'), std::string::npos);
                EXPECT_EQ(change.added[0].substr(0, 4), "    ");
                std::string position = formatPosition(changed.row);
                EXPECT_EQ(change.added[0].substr(4, position.size() + 1), position + " ");
            } else {
                EXPECT_EQ(change.removed[0], keyLine);
                EXPECT_EQ(columnsOf(change.added[0]), columnsOf(keyLine)) << keyLine << change.added[0];
                // A comment stays, in its column.
                EXPECT_EQ(change.added[0].find('#'), keyLine.find('#'));
                if (keyLine.find('#') != std::string::npos) {
                    EXPECT_EQ(change.added[0].substr(change.added[0].find('#')), keyLine.substr(keyLine.find('#')));
                }
            }
        }
    }
    EXPECT_GT(edits, (int)tracks.size() * 4);
}

// Edits piled up over every track of the file, then compiled by the real
// `ostrel-track compile`: each written track file holds the expected keys.
TEST_P(ChoreographyEdits, PiledUpEditsCompileWithTheTrackToolToTheExpectedFiles)
{
    for (TrackSource& track : tracks) {
        std::string error;
        TrackRecord first = track.keys.front();
        first.valueBits = valueBits("0.125");
        first.type = 3;
        TrackRecord added{track.keys.back().row + 7, valueBits("-3"), 1};
        ASSERT_TRUE(replaceKeyInText(text, track.name, first.row, first, &text, &error)) << error;
        ASSERT_TRUE(insertKeyInText(text, track.name, added, &text, &error)) << error;
        if (track.keys.size() > 2) {
            ASSERT_TRUE(deleteKeyInText(text, track.name, track.keys[1].row, &text, &error)) << error;
            track.keys.erase(track.keys.begin() + 1);
        }
        track.keys.front() = first;
        track.keys.push_back(added);
    }
    TempLayout scratch(false, false);
    ASSERT_TRUE(scratch.WriteFile("../edited.tracks", text));
    std::filesystem::create_directories(scratch.Root() + "/out");
    ProcessResult compiled = RunProcess({OSTREL_TRACK_TOOL, "compile", "-o", scratch.Root() + "/out",
                                         scratch.Root() + "/edited.tracks"},
                                        scratch.Root(), {}, 60.0);
    ASSERT_EQ(compiled.exitCode, 0) << compiled.output;
    for (const TrackSource& track : tracks) {
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(scratch.Root() + "/out/" + trackFileName(track.name), bytes)) << track.name;
        std::vector<uint8_t> expected = encodeTrack(track.keys);
        EXPECT_EQ(bytes, std::string(expected.begin(), expected.end())) << track.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ChoreographyEdits, ::testing::Values("camera.tracks", "objects.tracks", "fx.tracks"));

// The shapes a maker's own text may have: tabs, plain rows, no interpolation,
// CRLF, no final newline, an empty block, and the edits that must be refused.
TEST(TrackTextEdit, KeepsTheTextsOwnShapesAndRefusesWhatWouldBreakTheOrder)
{
    const uint32_t one = valueBits("1"), half = valueBits("0.5");
    struct Row {
        const char* name;
        std::string text;
        char edit;  // r replace, i insert, d delete
        int32_t row;
        TrackRecord key;
        std::string expected;  // empty: refused
    } rows[] = {
        {"tabs kept", "track FX.Fade\n\t0\t0\tlinear\n\t64\t1\n", 'r', 64, {64, half, 0},
         "track FX.Fade\n\t0\t0\tlinear\n\t64\t0.5\n"},
        {"plain row kept when unmoved", "track FX.Fade\n  128  1  step  # hit\n", 'r', 128, {128, half, 1},
         "track FX.Fade\n  128  0.5 linear # hit\n"},
        {"moved key written as bar:beat:row", "track FX.Fade\n  128  1  step  # hit\n", 'r', 128, {130, one, 0},
         "track FX.Fade\n  2:0:2 1 step  # hit\n"},
        {"type added in the block's column", "track FX.Fade\n    0:0:0   0     linear\n    1:0:0   1\n", 'r', 64,
         {64, one, 2}, "track FX.Fade\n    0:0:0   0     linear\n    1:0:0   1     smooth\n"},
        {"CRLF kept", "track FX.Fade\r\n    0:0:0  0  step\r\n", 'i', 0, {64, one, 0},
         "track FX.Fade\r\n    0:0:0  0  step\r\n    1:0:0  1  step\r\n"},
        {"no final newline", "track FX.Fade\n    0:0:0  0  step", 'i', 0, {64, one, 0},
         "track FX.Fade\n    0:0:0  0  step\n    1:0:0  1  step"},
        {"first key of an empty block takes another block's layout",
         "track FX.Flash\n  0:0:0   1   step\n\ntrack FX.Fade\n# none yet\n\ntrack FX.Exposure\n", 'i', 0,
         {16, half, 1}, "track FX.Flash\n  0:0:0   1   step\n\ntrack FX.Fade\n  0:1:0   0.5 linear\n# none yet\n\ntrack FX.Exposure\n"},
        {"insert before the first key", "# head\ntrack FX.Fade\n    1:0:0  1  step\n", 'i', 0, {0, half, 0},
         "# head\ntrack FX.Fade\n    0:0:0  0.5 step\n    1:0:0  1  step\n"},
        {"delete keeps the comment lines around it", "track FX.Fade\n# a\n 0 0\n# b\n 5 1\n", 'd', 0, {},
         "track FX.Fade\n# a\n# b\n 5 1\n"},
        {"same name in another block is not touched", "track FX.Flash\n 0 0\ntrack FX.Fade\n 0 0\n", 'd', 0, {},
         "track FX.Flash\n 0 0\ntrack FX.Fade\n"},
        {"a move past a neighbour", "track FX.Fade\n 0 0\n 10 1\n 20 0\n", 'r', 10, {20, one, 0}, ""},
        {"an insert onto a key", "track FX.Fade\n 0 0\n 10 1\n", 'i', 0, {10, half, 0}, ""},
        {"no key there", "track FX.Fade\n 0 0\n", 'd', 5, {}, ""},
        {"no such block", "track FX.Fade\n 0 0\n", 'd', 0, {}, ""},
    };
    rows[13].text = "track FX.Flash\n 0 0\n";
    for (const Row& row : rows) {
        std::string out = "untouched", error;
        bool ok = row.edit == 'r'   ? replaceKeyInText(row.text, "FX.Fade", row.row, row.key, &out, &error)
                  : row.edit == 'i' ? insertKeyInText(row.text, "FX.Fade", row.key, &out, &error)
                                    : deleteKeyInText(row.text, "FX.Fade", row.row, &out, &error);
        if (row.expected.empty()) {
            EXPECT_FALSE(ok) << row.name;
            EXPECT_EQ(out, "untouched") << row.name;
            EXPECT_FALSE(error.empty()) << row.name;
        } else {
            EXPECT_TRUE(ok) << row.name << ": " << error;
            EXPECT_EQ(out, row.expected) << row.name;
        }
    }
}

}  // namespace
