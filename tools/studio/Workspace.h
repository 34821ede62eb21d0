#pragma once

#include <SDL.h>

#include <map>
#include <string>
#include <vector>

#include "FileWatcher.h"
#include "StudioOptions.h"
#include "TrackFormat.h"

class Scene;
class SyncDevice;

// Saved files are looked at this often; with a frame on top, an edit shows
// well within a quarter of a second.
constexpr double kWatchSeconds = 0.05;

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

    // Empty while the tracks come from the files in res/sync.
    const std::vector<TrackSource>& LiveTracks() const { return liveTracks; }
    // The song map beside the choreography text.
    std::string SongMapPath() const;
    // Where the live tracks come from, as the overlay's "tracks:" line says it.
    const std::string& SourceLabel() const { return liveTracks.empty() ? filesLabel : textLabel; }

private:
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
    bool ReloadTrackFiles(const std::vector<std::string>& changed);
    void ReloadShaders(const std::vector<std::string>& changed);

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
    LogTap tap;
};
