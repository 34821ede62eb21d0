#pragma once

#include <string>
#include <vector>

#include "CaptureOptions.h"

// What the studio was asked to do, as read from its command line.
struct StudioOptions {
    int width = 1280;
    int height = 720;
    int samples = 4;
    bool fullscreen = false;
    TimePoint from;      // where playback starts; frames count at kStudioFps
    bool paused = false;
    bool overlay = true;  // --no-overlay starts with the production's picture alone
    std::string tracksDir;  // the choreography text; empty: found beside the sources
    std::string sourceDir;  // the source tree whose res/ and choreography/ are edited
    std::string shotsDir = ".";  // where F12 stills and C captures go
    std::vector<std::string> curves;  // tracks whose curves show from the start
    bool help = false;
};

// The frame rate that --from's frames and the camera restore count in: the
// capture's default, so that a paused studio frame matches a captured one.
constexpr int kStudioFps = 60;

bool ParseStudioOptions(int argc, const char* const* argv, StudioOptions& options, std::string& error);

// --from as a row of the production's clock.
double StudioStartRow(const TimePoint& from, double rowsPerSecond);

const char* StudioUsage();
