#include "Workspace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "StudioLog.h"
#include "render/Shader.h"
#include "scene/Scene.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

namespace fs = std::filesystem;

namespace {

const char* const kResDir = "../res";
const char* const kSyncBase = "../res/sync/";

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool IsDir(const std::string& path)
{
    std::error_code ignored;
    return !path.empty() && fs::is_directory(path, ignored);
}

bool SamePlace(const std::string& a, const std::string& b)
{
    std::error_code ignored;
    return fs::equivalent(a, b, ignored);
}

bool DefinedIn(const std::vector<TrackSource>& tracks, const std::string& name)
{
    for (const TrackSource& track : tracks)
        if (track.name == name) return true;
    return false;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The compiler's advice for a name it does not know suits the track tool; the
// studio has no --any-name, so it names the nearest known track instead.
void AdviseOnUnknownNames(std::vector<std::string>& errors)
{
    const std::string marker = "unknown track name ";
    for (std::string& line : errors) {
        size_t advice = line.find(kAnyNameAdvice);
        size_t at = line.find(marker);
        if (advice == std::string::npos || at == std::string::npos) continue;
        size_t start = at + marker.size();
        std::string name = line.substr(start, line.find(' ', start) - start);
        std::string nearest = closestTrackName(name);
        line.replace(advice, std::strlen(kAnyNameAdvice),
                     nearest.empty() ? "the track panel lists the names it reads" : "did you mean " + nearest + "?");
    }
}

std::string OrphanLine(const std::vector<std::string>& names)
{
    return "no source defines " + Joined(names) + (names.size() == 1 ? " now; it keeps its" : " now; they keep their") +
           " last good keys";
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

void Workspace::LogTap::Output(void* data, int category, SDL_LogPriority priority, const char* message)
{
    LogTap* tap = static_cast<LogTap*>(data);
    if (tap->recording && priority >= SDL_LOG_PRIORITY_ERROR && SDL_ThreadID() == tap->owner)
        tap->lines.push_back(message);
    if (tap->previous) tap->previous(tap->previousData, category, priority, message);
}

void Workspace::Open(const StudioOptions& options, SyncDevice& syncDevice, Scene& productionScene)
{
    sync = &syncDevice;
    scene = &productionScene;
    tap.owner = SDL_ThreadID();
    SDL_LogGetOutputFunction(&tap.previous, &tap.previousData);
    SDL_LogSetOutputFunction(LogTap::Output, &tap);
    FindSources(options);
    if (IsDir(tracksDir)) CompileText(true);
    // A copied build still finds the tree it was built from: say which one.
    std::error_code ignored;
    auto where = [&](const std::string& path) { return fs::absolute(path, ignored).lexically_normal().string(); };
    const std::string builtFrom =
        !options.sourceDir.empty() || !SamePlace(sourceRoot, OSTREL_SOURCE_DIR) ? "" : " (the build's tree)";
    textLabel = "text in " + where(tracksDir) + builtFrom;
    filesLabel = "files in " + where(kResDir) + "/sync" + (sourceRes.empty() ? "" : " and " + where(sourceRes) + "/sync");
    StudioLog("tracks: %s", SourceLabel().c_str());
}

void Workspace::Close()
{
    SDL_LogSetOutputFunction(tap.previous, tap.previousData);
}

std::string Workspace::SongMapPath() const
{
    return (sourceRoot.empty() ? tracksDir : sourceRoot + "/choreography") + "/SECTIONS.md";
}

void Workspace::FindSources(const StudioOptions& options)
{
    if (!options.sourceDir.empty())
        sourceRoot = options.sourceDir;
    else if (IsDir("../choreography"))
        sourceRoot = "..";
    else if (IsDir(OSTREL_SOURCE_DIR "/choreography"))
        sourceRoot = OSTREL_SOURCE_DIR;
    tracksDir = !options.tracksDir.empty() ? options.tracksDir : sourceRoot.empty() ? "" : sourceRoot + "/choreography";
    if (!sourceRoot.empty() && IsDir(sourceRoot + "/res") && !SamePlace(sourceRoot + "/res", kResDir))
        sourceRes = sourceRoot + "/res";

    if (IsDir(tracksDir)) textWatch.Watch(tracksDir, ".tracks");
    trackFileWatch.Watch(std::string(kResDir) + "/sync", ".track");
    shaderWatch.Watch(std::string(kResDir) + "/shaders", "");
    if (!sourceRes.empty()) {
        trackFileWatch.Watch(sourceRes + "/sync", ".track");
        shaderWatch.Watch(sourceRes + "/shaders", "");
    }
    textWatch.Poll();
    trackFileWatch.Poll();
    shaderWatch.Poll();
    StudioLog("watching %s%s%s", IsDir(tracksDir) ? (tracksDir + "/*.tracks, ").c_str() : "",
              sourceRes.empty() ? "" : (sourceRes + "/{sync,shaders}, ").c_str(), "../res/{sync,shaders}");
}

bool Workspace::CompileText(bool initial)
{
    double start = Now();
    std::vector<std::string> sources;
    std::error_code failure;
    for (const fs::directory_entry& entry : fs::directory_iterator(tracksDir, failure)) {
        if (entry.path().extension() == ".tracks") sources.push_back(entry.path().string());
    }
    std::sort(sources.begin(), sources.end());
    // The newest save, to say how long it took to show.
    fs::file_time_type newest = fs::file_time_type::min();
    for (const std::string& path : sources) newest = std::max(newest, fs::last_write_time(path, failure));

    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    if (sources.empty()) errors.push_back(tracksDir + ": no .tracks files");
    if (errors.empty() && !compileTrackSources(sources, false, &tracks, &errors) && errors.empty())
        errors.push_back(tracksDir + ": the tracks did not compile");
    if (!errors.empty()) {
        AdviseOnUnknownNames(errors);
        trackErrors = errors;
        for (const std::string& line : errors) StudioLogError(line);
        StudioLogError("keeping the last good tracks");
        return false;
    }
    // Tracks whose source went away or was emptied keep their last good keys
    // rather than falling back, unseen, to whatever res/sync holds.
    std::vector<std::string> lost;
    size_t defined = tracks.size();
    for (const TrackSource& old : liveTracks) {
        if (DefinedIn(tracks, old.name)) continue;
        tracks.push_back(old);
        lost.push_back(old.name);
    }
    SyncTrackStore* store = BuildStore(tracks);
    if (store == nullptr) {
        tracks.resize(defined);
        trackErrors = {"out of memory building the tracks"};
        StudioLogError(trackErrors[0]);
        return false;
    }
    syncStoreDestroy(sync->SwapStore(store));
    liveTracks.swap(tracks);
    trackErrors.clear();
    if (lost != orphans && !lost.empty())
        StudioLogError(OrphanLine(lost));
    else if (lost.empty() && !orphans.empty())
        StudioLog("every track is defined by a source again");
    orphans = lost;
    double saved = std::chrono::duration<double>(fs::file_time_type::clock::now() - newest).count();
    if (initial)
        StudioLog("compiled %zu tracks from %zu files in %s (%.1f ms)", liveTracks.size(), sources.size(),
                  tracksDir.c_str(), (Now() - start) * 1000.0);
    else
        StudioLog("compiled %zu tracks from %zu files in %s and swapped them in (%.1f ms; %.0f ms after the save)",
                  liveTracks.size(), sources.size(), tracksDir.c_str(), (Now() - start) * 1000.0, saved * 1000.0);
    return true;
}

SyncTrackStore* Workspace::BuildStore(const std::vector<TrackSource>& tracks) const
{
    if (muted.empty()) return buildStoreFromTracks(tracks, kSyncBase);
    // What each group's visibility reads.
    static const struct {
        const char* group;
        const char* tracks[2];
    } switches[] = {{"Grid", {"Grid.Visible"}},       {"Cube", {"Cube.Visible"}},
                    {"Flakes", {"Flakes.Visible"}},   {"Needles", {"Needles.Visible"}},
                    {"Rings", {"Ring1.Progress", "Ring2.Progress"}}, {"bloom", {"FX.EnableBloom"}}};
    std::vector<TrackSource> viewed = tracks;
    for (const auto& entry : switches) {
        if (std::find(muted.begin(), muted.end(), entry.group) == muted.end()) continue;
        for (const char* name : entry.tracks) {
            if (name == nullptr) continue;
            auto same = [&](const TrackSource& track) { return track.name == name; };
            viewed.erase(std::remove_if(viewed.begin(), viewed.end(), same), viewed.end());
            TrackSource off;
            off.name = name;
            off.keys.push_back(TrackRecord());  // row 0, value 0: off everywhere
            viewed.push_back(off);
        }
    }
    return buildStoreFromTracks(viewed, kSyncBase);
}

void Workspace::SetMuted(const std::vector<std::string>& groups)
{
    muted = groups;
    SyncTrackStore* store = BuildStore(liveTracks);
    if (store == nullptr) {
        StudioLogError("out of memory building the tracks");
        return;
    }
    syncStoreDestroy(sync->SwapStore(store));
    StudioLog("view: %s", muted.empty() ? "every group shown" : ("muted " + Joined(muted)).c_str());
}

bool Workspace::ReloadTrackFiles(const std::vector<std::string>& changed)
{
    // An edit in the source tree reaches the copy the studio reads.
    for (const std::string& path : changed) {
        if (sourceRes.empty() || path.compare(0, sourceRes.size(), sourceRes) != 0) continue;
        std::error_code failure;
        fs::path target = fs::path(kResDir) / "sync" / fs::path(path).filename();
        if (fs::exists(path, failure))
            fs::copy_file(path, target, fs::copy_options::overwrite_existing, failure);
        else
            fs::remove(target, failure);
    }
    trackFileWatch.Poll();
    SyncTrackStore* store = BuildStore({});
    if (store == nullptr) {
        StudioLogError("cannot reload the track files");
        return false;
    }
    syncStoreDestroy(sync->SwapStore(store));
    liveTracks.clear();
    StudioLog("reloaded the tracks from ../res/sync (%zu files changed)", changed.size());
    return true;
}

void Workspace::ReloadShaders(const std::vector<std::string>& changed)
{
    std::vector<std::string> names;
    for (const std::string& path : changed) {
        std::string name = fs::path(path).filename().string();
        names.push_back(name);
        if (sourceRes.empty() || path.compare(0, sourceRes.size(), sourceRes) != 0) continue;
        std::error_code failure;
        fs::copy_file(path, fs::path(kResDir) / "shaders" / name, fs::copy_options::overwrite_existing, failure);
    }
    shaderWatch.Poll();
    auto uses = [&](const char* path) {
        return path != nullptr && std::find(names.begin(), names.end(), fs::path(path).filename().string()) != names.end();
    };
    for (Shader* shader : scene->Shaders()) {
        if (!uses(shader->vertexPath) && !uses(shader->fragmentPath) && !uses(shader->geometryPath)) continue;
        std::string key = fs::path(shader->vertexPath).filename().string() + " + " +
                          fs::path(shader->fragmentPath).filename().string();
        tap.lines.clear();
        tap.recording = true;
        bool ok = shader->Reload();
        tap.recording = false;
        if (ok) {
            shaderErrors.erase(key);
            StudioLog("rebuilt the program %s", key.c_str());
            continue;
        }
        std::string text = key + ":";
        for (const std::string& line : tap.lines) text += " " + line;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        shaderErrors[key] = text;
        StudioLogError("the program " + key + " did not build; keeping the last good one");
    }
}

bool Workspace::Poll(bool* swapped)
{
    *swapped = false;
    double now = Now();
    if (now < nextWatch) return false;
    nextWatch = now + kWatchSeconds;
    bool any = false;
    if (!textWatch.Poll().empty()) {
        *swapped = CompileText(false);
        any = true;
    }
    std::vector<std::string> changed = trackFileWatch.Poll();
    if (!changed.empty()) *swapped = ReloadTrackFiles(changed) || *swapped;
    any = any || !changed.empty();
    changed = shaderWatch.Poll();
    if (!changed.empty()) ReloadShaders(changed);
    return any || !changed.empty();
}

std::string Workspace::Save()
{
    std::string message;
    std::vector<std::string> undefined;
    for (const char* name : syncTrackNames)
        if (SourceOf(name) == nullptr) undefined.push_back(name);
    if (liveTracks.empty()) {
        message = "nothing to save: the tracks playing are the files in res/sync";
    } else if (!trackErrors.empty()) {
        message = "not saved: the text has errors";
    } else if (!undefined.empty()) {
        // A partial set would leave res/sync mixing two versions.
        message = "not saved: no source defines " + std::to_string(undefined.size()) + " of the " +
                  std::to_string(SYNC_TRACK_NAME_COUNT) + " tracks (" + Joined(undefined) + ")";
    } else {
        std::vector<std::string> dirs = {std::string(kResDir) + "/sync"};
        if (!sourceRes.empty()) dirs.insert(dirs.begin(), sourceRes + "/sync");
        for (const std::string& dir : dirs) {
            std::string error;
            if (!writeCompiledTracks(dir, liveTracks, &error)) {
                message = "not saved: " + error;
                break;
            }
            message += (message.empty() ? "wrote " + std::to_string(liveTracks.size()) + " tracks into " : ", ") + dir;
        }
        // Our own writes are not edits.
        trackFileWatch.Poll();
    }
    StudioLog("%s", message.c_str());
    return message;
}

std::vector<std::string> Workspace::Errors() const
{
    std::vector<std::string> all = trackErrors;
    if (!orphans.empty()) all.push_back(OrphanLine(orphans));
    for (const auto& entry : shaderErrors) all.push_back(entry.second);
    return all;
}

const TrackSource* Workspace::SourceOf(const std::string& track) const
{
    if (std::find(orphans.begin(), orphans.end(), track) != orphans.end()) return nullptr;
    for (const TrackSource& source : liveTracks)
        if (source.name == track) return &source;
    return nullptr;
}

std::string Workspace::FileOf(const std::string& track) const
{
    const TrackSource* source = SourceOf(track);
    if (source == nullptr) return std::string();
    return source->origin.substr(0, source->origin.rfind(':'));
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
