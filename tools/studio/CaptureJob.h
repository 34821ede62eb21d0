#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TrackFormat.h"

// Renders a stretch of the production to an MP4 with ostrel-capture in a
// child process, so the studio keeps playing meanwhile. The child reads a
// private res/ whose tracks are the ones on screen (the live text may not
// have been saved yet); everything else links to the studio's own res/.
//
// The child renders in a window that is never shown, and ends with the
// studio however the studio ends: by Stop, by the destructor, or, should the
// studio die outright, by a signal from the kernel. Private folders of
// studios that died before cleaning up are removed at the next Start.
class CaptureJob {
public:
    ~CaptureJob();
    // tracks empty: the capture reads the studio's res/sync as it is.
    bool Start(const std::string& captureProgram, const std::string& resDir,
               const std::vector<TrackSource>& tracks, const std::vector<std::string>& arguments,
               std::string& error);
    bool Running() const { return child > 0; }
    pid_t Pid() const { return child; }
    const std::string& WorkDir() const { return workDir; }

    // How far the capture is, from its progress lines; secondsLeft is -1
    // until it has said. Reads what the capture printed since the last call.
    struct Progress {
        long done = 0;
        long total = 0;
        long secondsLeft = -1;
    };
    const Progress& Poll();

    // Asks the capture to stop; it removes what it wrote and leaves an
    // earlier file of the same name as it was. Finished then reports it.
    void Cancel();
    bool Cancelled() const { return cancelled; }
    // While running: false. Once finished: true, with ok and the last line the
    // capture printed (on failure, its reason; on a cancel, what it kept).
    bool Finished(bool& ok, std::string& message);
    // Ends a running capture and waits for it, then removes the private folder.
    void Stop();

private:
    void Cleanup();

    pid_t child = -1;
    std::string workDir;
    bool cancelled = false;
    Progress progress;
    long long logRead = 0;   // bytes of the capture's log already read
    std::string logPartial;  // the unfinished line at its end
    std::string lastLine;
};
