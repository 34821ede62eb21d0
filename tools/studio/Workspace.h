#pragma once

#include <SDL.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "FileWatcher.h"
#include "StudioOptions.h"
#include "TrackFormat.h"
#include "TrackTextEdit.h"

class Scene;
class SyncDevice;
struct SyncTrackStore;

// Saved files are looked at this often; with a frame on top, an edit shows
// well within a quarter of a second.
constexpr double kWatchSeconds = 0.05;

// The value step of + and -: about a hundredth of the range the curve shows,
// on a 1-2-5 scale; 1 for booleans and Camera.Mode, which count in whole steps.
double NudgeStep(const std::string& track, double low, double high);

// What the studio edits: the choreography text, the track files and the
// shaders. It watches them, compiles the text with the track tool's compiler
// and swaps the result into the sync device, rebuilds changed shaders, copies
// edits of a source tree's res/ into the res/ the studio reads, and saves the
// compiled tracks. Everything runs on the frame loop's thread, between frames.
class Workspace {
public:
    // Finds the sources (options first, then beside the program, then the
    // tree it was built from), starts watching them and compiles the text.
    void Open(const StudioOptions& options, SyncDevice& sync, Scene& scene);
    // Puts the log output back as it was before Open.
    void Close();

    // Looks at the watched files, at most every 50 ms, and brings changes in.
    // True when any watched file changed; *swapped tells whether the sync
    // device now answers from new tracks.
    bool Poll(bool* swapped);
    // Writes the live tracks into res/sync (and the source tree's copy);
    // returns the line that says what happened.
    std::string Save();
    // Every current error: the text's, then each shader program's.
    std::vector<std::string> Errors() const;
    // The errors as the overlay shows them: the text's first few and how many
    // more, lost track files, each program's; every one cut to a line.
    std::vector<std::string> ScreenErrors() const;

    // Empty while the tracks come from the files in res/sync.
    const std::vector<TrackSource>& LiveTracks() const { return liveTracks; }
    // The live track of that name as its source defines it (keys, key lines);
    // null when no source does.
    const TrackSource* SourceOf(const std::string& track) const;
    // The source file that holds the track's block; empty when none does.
    std::string FileOf(const std::string& track) const;
    // Tracks that no source defines now and that keep their last good keys.
    const std::vector<std::string>& Orphans() const { return orphans; }
    // The song map beside the choreography text.
    std::string SongMapPath() const;
    // Where the live tracks come from, as the overlay's "tracks:" line says it.
    const std::string& SourceLabel() const { return liveTracks.empty() ? filesLabel : textLabel; }

    // Groups shown as not there, for viewing only: the store answers their
    // visibility (a ring's progress, FX.EnableBloom) with 0 while the text,
    // saves and captures keep the real tracks. Names from kViewGroups.
    void SetMuted(const std::vector<std::string>& groups);
    const std::vector<std::string>& Muted() const { return muted; }

    // Key edits. Each is written at once into the source file that holds the
    // track, changing that key's line only, then compiled and swapped in as a
    // save from an editor would be. Keys are named by their row. Each returns
    // false and says why in *message when it changes nothing; on success
    // *message says what it did.
    // A key at row with the value the track has there and the interpolation
    // of the key before it, so the picture does not jump.
    bool InsertKey(const std::string& track, int32_t row, std::string* message);
    // value is text as the track format reads it ("0.25", "-1").
    bool SetKeyValue(const std::string& track, int32_t row, const std::string& value, std::string* message);
    // Adds steps times step to the value, kept to the digits of both.
    bool NudgeKey(const std::string& track, int32_t row, int steps, double step, std::string* message);
    // Moves the key, held between its neighbours; *movedTo gets the row it reached.
    bool MoveKey(const std::string& track, int32_t row, int32_t toRow, int32_t* movedTo, std::string* message);
    // step -> linear -> smooth -> ramp -> step.
    bool CycleInterpolation(const std::string& track, int32_t row, std::string* message);
    bool DeleteKey(const std::string& track, int32_t row, std::string* message);
    // Restores the file an edit changed, byte for byte, and swaps it in. A
    // file that changed since (a save from an editor) is left alone: undo
    // never overwrites what it did not write.
    bool Undo(std::string* message);
    bool Redo(std::string* message);

private:
    struct Change {
        std::string path;
        std::string before, after;
        std::string what;
    };
    // Reads the file that holds track, and its block; false with the reason.
    bool ReadBlock(const std::string& track, std::string* path, std::string* text, TrackBlock* block,
                   std::string* message);
    // The file, its text and block, and the place of one key in the block.
    struct KeyInFile {
        std::string path, text;
        TrackBlock block;
        size_t index = 0;
        const TrackRecord& Key() const { return block.keys[index].key; }
    };
    bool ReadKey(const std::string& track, int32_t row, KeyInFile* file, std::string* message);
    // Replaces the key's line with key and commits it; what says how.
    bool Rewrite(const KeyInFile& file, const std::string& track, const TrackRecord& key, const std::string& what,
                 std::string* message);
    // Writes the edited text, records it for undo and swaps the result in.
    bool Commit(const std::string& path, const std::string& before, const std::string& after, const std::string& what,
                std::string* message);
    bool WriteAndSwap(const std::string& path, const std::string& text, std::string* message);
    // Undo (from the undo stack to the redo stack) or redo (the other way).
    bool Replay(std::vector<Change>& from, std::vector<Change>& to, bool undo, std::string* message);

    // The shader log lines that a rebuild prints, kept for the errors.
    struct LogTap {
        SDL_LogOutputFunction previous = nullptr;
        void* previousData = nullptr;
        bool recording = false;
        SDL_threadID owner = 0;  // only the frame loop's own lines are kept
        std::vector<std::string> lines;
        static void Output(void* data, int category, SDL_LogPriority priority, const char* message);
    };

    void FindSources(const StudioOptions& options);
    bool CompileText(bool initial);
    // A store from the live tracks (or the files) with the muted groups off.
    SyncTrackStore* BuildStore(const std::vector<TrackSource>& tracks) const;
    bool ReloadTrackFiles(const std::vector<std::string>& changed);
    void ReloadShaders(const std::vector<std::string>& changed);
    // Copies each file of the source tree's res/<part> that `wanted` names and
    // whose copy in ../res/<part> differs from it, and removes the copies of
    // files the source no longer has.
    void Mirror(const std::string& part, bool (*wanted)(const std::string& name));
    // The production's track names whose files ../res/sync holds now.
    std::set<std::string> TrackFilesPresent() const;

    SyncDevice* sync = nullptr;
    Scene* scene = nullptr;
    std::string sourceRoot;  // the tree whose choreography/ and res/ are edited
    std::string tracksDir;
    std::string sourceRes;   // empty when it is the res/ the studio reads
    std::string textLabel;
    std::string filesLabel;
    FileWatcher textWatch;
    FileWatcher trackFileWatch;
    FileWatcher shaderWatch;
    double nextWatch = 0.0;
    std::vector<TrackSource> liveTracks;
    std::vector<std::string> trackErrors;
    std::map<std::string, std::string> shaderErrors;
    std::vector<std::string> orphans;
    std::vector<std::string> muted;
    std::vector<Change> undoStack;
    std::vector<Change> redoStack;
    std::map<std::string, std::set<std::string>> mirrored;  // per part of res/, the names copied
    std::set<std::string> trackFilesPresent;  // as of the last good load
    std::string trackFileWarning;
    LogTap tap;
};
