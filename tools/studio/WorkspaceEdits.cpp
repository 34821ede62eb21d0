#include "Workspace.h"

// The key edits of the workspace: each one a change of one line in the source
// that holds the track, written, compiled and swapped in at once, and kept for
// undo as the file's bytes before and after.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "StudioLog.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackStore.h"

namespace fs = std::filesystem;

namespace {

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool IsBoolean(const std::string& track)
{
    const std::string visible = ".Visible";
    return track == "FX.EnableBloom" || track == "FX.RenderDepth" ||
           (track.size() > visible.size() && track.compare(track.size() - visible.size(), visible.size(), visible) == 0);
}

float FloatOf(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string KeyText(const TrackRecord& key)
{
    return formatPosition(key.row) + " " + formatValue(key.valueBits) + " " + formatType(key.type);
}

int DecimalsOf(const std::string& number)
{
    size_t point = number.find('.');
    if (point == std::string::npos || number.find_first_of("eE") != std::string::npos) return 0;
    return (int)(number.size() - point - 1);
}

// Replaces the file through a new one in the same folder, so that a failed
// write leaves the old text whole.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* error)
{
    std::string temp = path + ".studio-edit";
    FILE* file = std::fopen(temp.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int failure = errno;
    if (file != nullptr && std::fclose(file) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        std::remove(temp.c_str());
        *error = path + ": " + std::strerror(failure);
    }
    return ok;
}

bool ReadText(const std::string& path, std::string* text)
{
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, &bytes)) return false;
    text->assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

double NudgeStep(const std::string& track, double low, double high)
{
    if (IsBoolean(track) || track == "Camera.Mode") return 1.0;
    double range = high - low;
    if (!(range > 1e-6) || !std::isfinite(range)) range = 1.0;
    double target = range * 0.01;
    double decade = std::pow(10.0, std::floor(std::log10(target)));
    for (double factor : {5.0, 2.0, 1.0})
        if (factor * decade <= target * 1.0001) return factor * decade;
    return decade;
}

bool Workspace::ReadBlock(const std::string& track, std::string* path, std::string* text, TrackBlock* block,
                          std::string* message)
{
    if (liveTracks.empty()) {
        *message = "not edited: the tracks playing are the files in res/sync, not choreography text";
        return false;
    }
    if (!trackErrors.empty()) {
        *message = "not edited: the choreography text has errors; mend them first";
        return false;
    }
    *path = FileOf(track);
    if (path->empty()) {
        // Where a block for it belongs: beside its group, else in the group's own file.
        std::string group = track.substr(0, track.find('.'));
        std::string home;
        for (const TrackSource& source : liveTracks)
            if (home.empty() && source.name.compare(0, group.size() + 1, group + ".") == 0) home = FileOf(source.name);
        if (home.empty()) {
            std::string lower = group;
            for (char& c : lower) c = (char)std::tolower((unsigned char)c);
            home = tracksDir + "/" + lower + ".tracks";
        }
        *message = track + " is in no source, so it is not edited in place; a new block for it would go into " + home;
        return false;
    }
    if (!ReadText(*path, text)) {
        *message = "not edited: cannot read " + *path;
        return false;
    }
    *block = findTrackBlock(*text, track);
    if (!block->found) {
        *message = "not edited: " + *path + " no longer holds " + track;
        return false;
    }
    return true;
}

bool Workspace::WriteAndSwap(const std::string& path, const std::string& text, std::string* message)
{
    double start = Now();
    std::string error;
    if (!ReplaceFile(path, text, &error)) {
        *message = "not written: " + error;
        StudioLogError(*message);
        return false;
    }
    double written = Now();
    // The watcher would see our own write; the compile below reads every source anyway.
    textWatch.Poll();
    bool compiled = CompileText(false);
    StudioLog("edit written into %s in %.1f ms, compiled and swapped in %.1f ms", path.c_str(),
              (written - start) * 1000.0, (Now() - written) * 1000.0);
    if (!compiled) *message += " (the text does not compile now; see the errors)";
    return true;
}

bool Workspace::Commit(const std::string& path, const std::string& before, const std::string& after,
                       const std::string& what, std::string* message)
{
    *message = what;
    if (!WriteAndSwap(path, after, message)) return false;
    undoStack.push_back(Change{path, before, after, what});
    redoStack.clear();
    return true;
}

namespace {

// "fx.tracks:723" for the key at row in the edited text.
std::string Where(const std::string& path, const std::string& text, const std::string& track, int32_t row)
{
    std::string file = fs::path(path).filename().string();
    for (const KeyLine& line : findTrackBlock(text, track).keys)
        if (line.key.row == row) return file + ":" + std::to_string(line.line);
    return file;
}

const KeyLine* KeyLineAt(const TrackBlock& block, int32_t row, size_t* index = nullptr)
{
    for (size_t i = 0; i < block.keys.size(); ++i) {
        if (block.keys[i].key.row != row) continue;
        if (index) *index = i;
        return &block.keys[i];
    }
    return nullptr;
}

}  // namespace

bool Workspace::ReadKey(const std::string& track, int32_t row, KeyInFile* file, std::string* message)
{
    if (!ReadBlock(track, &file->path, &file->text, &file->block, message)) return false;
    if (KeyLineAt(file->block, row, &file->index) != nullptr) return true;
    *message = "not edited: " + track + " has no key at " + formatPosition(row);
    return false;
}

bool Workspace::InsertKey(const std::string& track, int32_t row, std::string* message)
{
    std::string path, text, after, error;
    TrackBlock block;
    if (!ReadBlock(track, &path, &text, &block, message)) return false;
    if (KeyLineAt(block, row) != nullptr) {
        *message = "not inserted: " + track + " has a key at " + formatPosition(row) + " already";
        return false;
    }
    TrackRecord key;
    key.row = row;
    for (const KeyLine& line : block.keys)
        if (line.key.row < row) key.type = line.key.type;
    // The value the track has there, to six digits: no jump a picture shows.
    SyncTrackStore* store = sync->GetStore();
    double value = store ? syncTrackValue(syncStoreGetTrack(store, track.c_str()), row) : 0.0;
    char number[32];
    std::snprintf(number, sizeof number, "%.6g", std::isfinite(value) ? value : 0.0);
    if (!parseValue(number, &key.valueBits, &error) || !insertKeyInText(text, track, key, &after, &error)) {
        *message = "not inserted: " + error;
        return false;
    }
    return Commit(path, text, after, track + ": inserted " + KeyText(key) + " at " + Where(path, after, track, row),
                  message);
}

bool Workspace::Rewrite(const KeyInFile& file, const std::string& track, const TrackRecord& key,
                        const std::string& what, std::string* message)
{
    std::string after, error;
    if (!replaceKeyInText(file.text, track, file.Key().row, key, &after, &error)) {
        *message = "not changed: " + error;
        return false;
    }
    if (after == file.text) {
        *message = track + " " + KeyText(key) + " stays as it is";
        return false;
    }
    return Commit(file.path, file.text, after, track + ": " + what + " at " + Where(file.path, after, track, key.row),
                  message);
}

bool Workspace::SetKeyValue(const std::string& track, int32_t row, const std::string& value, std::string* message)
{
    KeyInFile file;
    if (!ReadKey(track, row, &file, message)) return false;
    TrackRecord key = file.Key();
    std::string error;
    if (!parseValue(value, &key.valueBits, &error)) {
        *message = "not changed: " + error;
        return false;
    }
    return Rewrite(file, track, key,
                   formatPosition(row) + " " + formatValue(file.Key().valueBits) + " -> " + formatValue(key.valueBits),
                   message);
}

bool Workspace::NudgeKey(const std::string& track, int32_t row, int steps, double step, std::string* message)
{
    KeyInFile file;
    if (!ReadKey(track, row, &file, message)) return false;
    const uint32_t bits = file.Key().valueBits;
    double value = (double)FloatOf(bits) + steps * step;
    if (IsBoolean(track)) value = std::min(1.0, std::max(0.0, value));
    if (!std::isfinite(value)) {
        *message = "not changed: " + track + " " + formatPosition(row) + " is not a finite number";
        return false;
    }
    // As many decimals as the step or the old value show, so 0.65 - 0.01
    // writes 0.64 and not 0.63999999.
    char number[64];
    int stepDecimals = step >= 1.0 ? 0 : (int)std::ceil(-std::log10(step) - 1e-9);
    int decimals = std::min(7, std::max(stepDecimals, DecimalsOf(formatValue(bits))));
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    if (std::strtod(number, nullptr) == 0.0) std::snprintf(number, sizeof number, "0");
    return SetKeyValue(track, row, number, message);
}

bool Workspace::MoveKey(const std::string& track, int32_t row, int32_t toRow, int32_t* movedTo, std::string* message)
{
    KeyInFile file;
    if (!ReadKey(track, row, &file, message)) return false;
    const std::vector<KeyLine>& keys = file.block.keys;
    // Keys keep their order: the move stops a row short of a neighbour.
    if (file.index > 0) toRow = std::max(toRow, keys[file.index - 1].key.row + 1);
    if (file.index + 1 < keys.size()) toRow = std::min(toRow, keys[file.index + 1].key.row - 1);
    *movedTo = toRow;
    TrackRecord key = file.Key();
    key.row = toRow;
    return Rewrite(file, track, key, "moved " + formatPosition(row) + " to " + formatPosition(toRow), message);
}

bool Workspace::CycleInterpolation(const std::string& track, int32_t row, std::string* message)
{
    KeyInFile file;
    if (!ReadKey(track, row, &file, message)) return false;
    TrackRecord key = file.Key();
    key.type = key.type < 3 ? (uint8_t)(key.type + 1) : 0;  // an unknown byte starts again at step
    return Rewrite(file, track, key,
                   formatPosition(row) + " " + formatType(file.Key().type) + " -> " + formatType(key.type), message);
}

bool Workspace::DeleteKey(const std::string& track, int32_t row, std::string* message)
{
    KeyInFile file;
    if (!ReadKey(track, row, &file, message)) return false;
    std::string after, error;
    if (!deleteKeyInText(file.text, track, row, &after, &error)) {
        *message = "not deleted: " + error;
        return false;
    }
    return Commit(file.path, file.text, after,
                  track + ": deleted " + KeyText(file.Key()) + " from " + Where(file.path, file.text, track, row),
                  message);
}

bool Workspace::Undo(std::string* message)
{
    return Replay(undoStack, redoStack, true, message);
}

bool Workspace::Redo(std::string* message)
{
    return Replay(redoStack, undoStack, false, message);
}

bool Workspace::Replay(std::vector<Change>& from, std::vector<Change>& to, bool undo, std::string* message)
{
    if (from.empty()) {
        *message = undo ? "nothing to undo" : "nothing to redo";
        return false;
    }
    Change change = from.back();
    const std::string& expected = undo ? change.after : change.before;
    std::string now;
    if (!ReadText(change.path, &now) || now != expected) {
        *message = (undo ? "not undone: " : "not redone: ") + change.path + " changed outside the studio since \"" +
                   change.what + "\"; the studio leaves that change alone";
        return false;
    }
    *message = (undo ? "undid " : "redid ") + change.what;
    if (!WriteAndSwap(change.path, undo ? change.before : change.after, message)) return false;
    from.pop_back();
    to.push_back(change);
    return true;
}
