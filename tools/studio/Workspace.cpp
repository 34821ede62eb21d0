#include "Workspace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "ReplaceFiles.h"
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

// What editors leave beside a file they have open: swap, backup and lock
// files, and vim's probe "4913". None of them is a shader.
bool IsEditorFile(const std::string& name)
{
    auto endsWith = [&](const std::string& suffix) {
        return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return name.empty() || name[0] == '.' || name[0] == '#' || endsWith("~") || endsWith(".swp") ||
           endsWith(".swo") || endsWith(".swx") || endsWith(".tmp") || name == "4913";
}

bool IsShaderFile(const std::string& name)
{
    std::string extension = fs::path(name).extension().string();
    return !IsEditorFile(name) && (extension == ".vert" || extension == ".frag" || extension == ".geom");
}

bool IsTrackFile(const std::string& name)
{
    return !trackNameFromPath(name).empty();
}

// Seconds since the epoch, as file times count them.
double WallNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double Seconds(const struct timespec& time)
{
    return (double)time.tv_sec + time.tv_nsec * 1e-9;
}

bool SameBytes(const std::string& a, const std::string& b)
{
    std::vector<uint8_t> x, y;
    return readWholeFile(a, &x) && readWholeFile(b, &y) && x == y;
}

// Whether the copy holds what the source holds. Sizes and times first; a
// source changed in the last two seconds is compared byte for byte too, since
// two writes within one tick of the file clock leave the same time.
bool CopyIsCurrent(const std::string& source, const struct stat& from, const std::string& copy)
{
    struct stat to;
    if (stat(copy.c_str(), &to) != 0 || to.st_size != from.st_size ||
        to.st_mtim.tv_sec != from.st_mtim.tv_sec || to.st_mtim.tv_nsec != from.st_mtim.tv_nsec)
        return false;
    return WallNow() - Seconds(from.st_mtim) > 2.0 || SameBytes(source, copy);
}

// Errors as the overlay shows them: on one line, control bytes visible, and
// short enough to draw (the full text is in the log).
const size_t kScreenErrorChars = 300;
const size_t kScreenErrors = 5;

std::string ForScreen(const std::string& text)
{
    std::string line;
    size_t used = 0;
    for (; used < text.size() && line.size() < kScreenErrorChars; ++used) {
        char c = text[used];
        line += c == '\n' || c == '\r' || c == '\t' ? std::string(" ") : escapeControlBytes(std::string(1, c));
    }
    if (used < text.size())
        line += "... (" + std::to_string(text.size()) + " characters; all of it is in the log)";
    return line;
}

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

}  // namespace

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
    // Edits of the source tree's res/ are mirrored into the res/ read here,
    // and seen there like any other change.
    trackFileWatch.Watch(std::string(kResDir) + "/sync", ".track");
    shaderWatch.Watch(std::string(kResDir) + "/shaders", "");
    if (!sourceRes.empty()) {
        std::error_code ignored;
        for (const fs::directory_entry& entry : fs::directory_iterator(std::string(kResDir) + "/shaders", ignored))
            if (IsEditorFile(entry.path().filename().string())) fs::remove(entry.path(), ignored);
        Mirror("sync", IsTrackFile);
        Mirror("shaders", IsShaderFile);
    }
    trackFilesPresent = TrackFilesPresent();
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

void Workspace::Mirror(const std::string& part, bool (*wanted)(const std::string& name))
{
    const std::string from = sourceRes + "/" + part;
    const std::string to = std::string(kResDir) + "/" + part;
    DIR* dir = opendir(from.c_str());
    if (dir == nullptr) return;  // a folder that went away is not a deletion of each file
    std::set<std::string>& known = mirrored[part];
    std::set<std::string> now;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        struct stat info;
        std::string source = from + "/" + name;
        if (!wanted(name) || stat(source.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        now.insert(name);
        std::string copy = to + "/" + name;
        if (CopyIsCurrent(source, info, copy)) continue;
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        if (SameBytes(source, copy)) {
            utimensat(AT_FDCWD, copy.c_str(), times, 0);
            continue;
        }
        // The copy takes the time the source had before it was read: a write
        // that lands meanwhile changes that time, and is copied next time.
        std::vector<uint8_t> bytes;
        std::string error;
        if (!readWholeFile(source, &bytes, kMaxSourceBytes, &error) || !writeFilesReplacing({copy}, {bytes}, &error)) {
            StudioLogError("cannot copy " + source + " into " + to + ": " + error);
            continue;
        }
        utimensat(AT_FDCWD, copy.c_str(), times, 0);
    }
    closedir(dir);
    for (const std::string& name : known) {
        std::error_code ignored;
        if (now.count(name) == 0) fs::remove(to + "/" + name, ignored);
    }
    known.swap(now);
}

std::set<std::string> Workspace::TrackFilesPresent() const
{
    std::set<std::string> present;
    for (const char* name : syncTrackNames) {
        std::error_code ignored;
        if (fs::is_regular_file(std::string(kSyncBase) + trackFileName(name), ignored)) present.insert(name);
    }
    return present;
}

bool Workspace::ReloadTrackFiles(const std::vector<std::string>& changed)
{
    // Track files that went away would read as empty tracks: the picture
    // would go black without a word. The last good tracks stay instead.
    std::set<std::string> present = TrackFilesPresent();
    std::vector<std::string> lost;
    for (const std::string& name : trackFilesPresent)
        if (present.count(name) == 0) lost.push_back(name);
    if (!lost.empty()) {
        std::string names;
        for (size_t i = 0; i < lost.size() && i < 4; ++i) names += (i ? ", " : "") + lost[i];
        if (lost.size() > 4) names += " and " + std::to_string(lost.size() - 4) + " more";
        std::string warning = "../res/sync lost " + std::to_string(lost.size()) + " of its track files (" + names +
                              "); keeping the last good tracks until they are back";
        if (warning != trackFileWarning) StudioLogError(warning);
        trackFileWarning = warning;
        return false;
    }
    trackFileWarning.clear();
    SyncTrackStore* store = BuildStore({});
    if (store == nullptr) {
        StudioLogError("cannot reload the track files");
        return false;
    }
    syncStoreDestroy(sync->SwapStore(store));
    trackFilesPresent = present;
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
    }
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
    if (!sourceRes.empty()) {
        Mirror("sync", IsTrackFile);
        Mirror("shaders", IsShaderFile);
    }
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
        // Each folder's set is replaced whole or not at all.
        for (const std::string& dir : dirs) {
            std::string error;
            if (!writeCompiledTracks(dir, liveTracks, &error)) {
                message = (message.empty() ? "not saved: " : message + ", but not into " + dir + ": ") + error;
                break;
            }
            message += (message.empty() ? "wrote " + std::to_string(liveTracks.size()) + " tracks into " : ", ") + dir;
        }
        // The copies take their sources' times, and our own writes are not edits.
        if (!sourceRes.empty()) Mirror("sync", IsTrackFile);
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

std::vector<std::string> Workspace::ScreenErrors() const
{
    std::vector<std::string> shown;
    for (size_t i = 0; i < trackErrors.size() && i < kScreenErrors; ++i) shown.push_back(ForScreen(trackErrors[i]));
    if (trackErrors.size() > kScreenErrors)
        shown.push_back("... and " + std::to_string(trackErrors.size() - kScreenErrors) +
                        " more errors in the text (all of them are in the log)");
    if (!trackFileWarning.empty()) shown.push_back(trackFileWarning);
    for (const auto& entry : shaderErrors) shown.push_back(ForScreen(entry.second));
    return shown;
}
