#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "SongMap.h"
#include "Transport.h"

class SyncDevice;
struct SyncTrack;

// The values the curve view spans for a track around a row: two bars each
// side, every row. The nudge step is sized from it.
void CurveRange(const SyncTrack* track, double row, float* low, float* high);

// What the overlay shows; the studio fills it each frame.
struct OverlayView {
    double row = 0.0;
    double seconds = 0.0;
    double lastRow = 0.0;  // the row where the music ends
    bool playing = false;
    Loop loop;
    float fps = 0.0f;
    float frameMs = 0.0f;
    const std::vector<Section>* sections = nullptr;
    const std::vector<float>* peaks = nullptr;  // the music's loudness, peaksPerRow per row
    int peaksPerRow = 1;
    SyncDevice* sync = nullptr;
    const char* trackSource = "";  // where the live tracks come from
    std::vector<std::string> errors;
    std::string message;  // the last thing done (saved, captured to ...)
};

// What the maker asked for with the mouse.
struct OverlayActions {
    bool seek = false;
    double seekRow = 0.0;
    bool setLoop = false;  // a range dragged on the timeline
    Loop loop;
    bool togglePlay = false;
    bool toggleLoop = false;
    bool save = false;
    bool capture = false;
};

// The studio's Dear ImGui overlay: a status line, the timeline with the
// waveform, sections, loop and playhead, and the track panel.
class Overlay {
public:
    bool Init(SDL_Window* window, SDL_GLContext context);
    // True when the overlay takes the event (the mouse is over it).
    bool ProcessEvent(const SDL_Event& event);
    // Draws over whatever the window holds now: Build, then Submit.
    OverlayActions Draw(const OverlayView& view);
    // The CPU half: lays out this frame's widgets into draw lists.
    OverlayActions Build(const OverlayView& view);
    // The GL half: draws the lists Build made.
    void Submit();
    void Shutdown();

    // Tracks drawn as curves, in the order chosen; names in Group.Name form.
    // The first is the one keys edit.
    std::vector<std::string> selected;
    // The key of the first selected track that edits act on, by its row.
    bool keySelected = false;
    int32_t selectedKeyRow = 0;

private:
    void DrawTimeline(const OverlayView& view, OverlayActions& actions);
    void DrawTracks(const OverlayView& view);

    bool live = false;
    bool dragSeek = false;
    bool dragLoop = false;
    double dragLoopFrom = 0.0;
};
