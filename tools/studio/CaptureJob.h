#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TrackFormat.h"

// Renders a stretch of the production to an MP4 with ostrel-capture in a
// child process, so the studio keeps playing meanwhile. The child reads a
// private res/ whose tracks are the ones on screen (the live text may not
// have been saved yet); everything else links to the studio's own res/.
class CaptureJob {
public:
    ~CaptureJob();
    // tracks empty: the capture reads the studio's res/sync as it is.
    bool Start(const std::string& captureProgram, const std::string& resDir,
               const std::vector<TrackSource>& tracks, const std::vector<std::string>& arguments,
               std::string& error);
    bool Running() const { return child > 0; }
    // While running: false. Once finished: true, with ok and, on failure, the
    // last line the capture printed.
    bool Finished(bool& ok, std::string& message);

private:
    void Cleanup();

    pid_t child = -1;
    std::string workDir;
};
