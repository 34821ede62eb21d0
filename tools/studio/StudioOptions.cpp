#include "StudioOptions.h"

#include "TrackFormat.h"
#include "sync/Timeline.h"

bool ParseStudioOptions(int argc, const char* const* argv, StudioOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--size") {
            if (!value(text)) return false;
            if (!ParseSize(text, options.width, options.height)) {
                error = "bad --size '" + text + "': expected WIDTHxHEIGHT, each 4 to 16384, e.g. 1280x720";
                return false;
            }
        } else if (arg == "--samples") {
            if (!value(text)) return false;
            int s = 0;
            if (!ParseSamples(text, s) || s < 1) {
                error = "bad --samples '" + text + "': expected 1 to 32";
                return false;
            }
            options.samples = s;
        } else if (arg == "--like") {
            if (!value(text)) return false;
            if (!ParseDeliverable(text, options.width, options.height, options.samples)) {
                error = "bad --like '" + text + "': expected a deliverable such as ostrel-1600x900-4x";
                return false;
            }
        } else if (arg == "--fullscreen") {
            options.fullscreen = true;
        } else if (arg == "--from") {
            if (!value(text)) return false;
            if (!parseTimePoint(text, &options.from)) {
                error = "bad --from '" + text + "': expected " + kTimePointForms + ", frames at 60 fps";
                return false;
            }
            if (!CheckTimelineLimit("--from", text, options.from, kStudioFps, error)) return false;
        } else if (arg == "--paused") {
            options.paused = true;
        } else if (arg == "--no-overlay") {
            options.overlay = false;
        } else if (arg == "--tracks") {
            if (!value(options.tracksDir)) return false;
        } else if (arg == "--source") {
            if (!value(options.sourceDir)) return false;
        } else if (arg == "--curves") {
            if (!value(text)) return false;
            for (size_t start = 0; start <= text.size();) {
                size_t comma = text.find(',', start);
                std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!isKnownTrackName(name)) {
                    std::string nearest = closestTrackName(name);
                    error = "bad --curves: '" + name + "' is not one of the production's tracks" +
                            (nearest.empty() ? "" : "; did you mean " + nearest + "?");
                    return false;
                }
                options.curves.push_back(name);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (arg == "--shots") {
            if (!value(options.shotsDir)) return false;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

double StudioStartRow(const TimePoint& from, double rowsPerSecond)
{
    return timePointRow(from, rowsPerSecond, kStudioFps);
}

const char* StudioUsage()
{
    return "usage: ostrel-studio [options]   (reads ../res, or else the res/ beside its own folder)\n"
           "  --size WxH          window size (default 1280x720)\n"
           "  --samples N         multisample count (default 4)\n"
           "  --like DELIVERABLE  size and samples of a deliverable, e.g. ostrel-1600x900-4x\n"
           "  --fullscreen        start full screen (F11 toggles)\n"
           "  --from T            start at seconds (12.5s), a row (480r), a bar (16b),\n"
           "                      bar:beat[:row] (16:2) or a frame at 60 fps (600f)\n"
           "  --paused            start paused\n"
           "  --no-overlay        start with the overlay hidden (Tab toggles)\n"
           "  --tracks DIR        the choreography text (default: choreography/ of the sources)\n"
           "  --source DIR        the source tree whose res/ and choreography/ are edited\n"
           "  --shots DIR         where stills (F12) and captures (C) go (default .)\n"
           "  --curves A,B        show these tracks' curves from the start (e.g. Camera.Yaw)\n"
           "keys: Space play/pause, Left/Right a beat, Shift+Left/Right a bar, Alt+Left/Right\n"
           "      a row, PageUp/PageDown sections, Home row 0, [ loop from this bar, ] loop up\n"
           "      to the next bar line, L loop on/off, timeline click a row (Shift: a beat),\n"
           "      S save tracks to res/sync, C capture the loop or section to MP4, Tab overlay,\n"
           "      F11 full screen, F12 still, Escape quit\n";
}
