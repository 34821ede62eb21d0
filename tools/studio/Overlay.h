#pragma once

#include <SDL.h>
#include <imgui.h>

#include <map>
#include <string>
#include <vector>

#include "SongMap.h"
#include "Transport.h"

class SyncDevice;
class Workspace;
struct SyncTrack;

// Groups a maker can mute or solo for viewing; the text never changes.
extern const char* const kViewGroups[6];

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
    const Workspace* workspace = nullptr;  // where each key's line is
    std::vector<std::string> muted;        // view overrides in force
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
    // Key edits on the curve of the edited track; value and move act on the
    // selected key.
    bool insertKey = false;
    int32_t insertRow = 0;
    bool setValue = false;
    std::string value;
    bool moveKey = false;
    int32_t moveTo = 0;
    // A group's mute or solo switched for viewing.
    bool toggleMute = false;
    bool toggleSolo = false;
    std::string group;
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
    std::vector<std::string> selected;
    // The track keys edit: the first selected, or the one whose key dot was
    // clicked last. Empty when none is selected.
    std::string EditedTrack() const;
    void EditTrack(const std::string& name) { editing = name; }
    // The key of the edited track that edits act on, by its row.
    bool keySelected = false;
    int32_t selectedKeyRow = 0;

private:
    void DrawTimeline(const OverlayView& view, OverlayActions& actions);
    void DrawTracks(const OverlayView& view, OverlayActions& actions);
    void DrawCurve(const OverlayView& view, size_t index, OverlayActions& actions);
    void DrawKeyPanel(const OverlayView& view, OverlayActions& actions);
    void DrawViewSwitches(const OverlayView& view, OverlayActions& actions);

    std::string editing;
    bool doubleClicked = false;
    ImVec2 pressedAt = ImVec2(-1.0f, -1.0f), releasedAt = ImVec2(-1.0f, -1.0f);
    std::map<std::string, float> curveHeights;
    // A key dot held by the mouse: dragged up and down it changes the value,
    // sideways it moves; it is written once, on release.
    struct KeyDrag {
        bool on = false;
        std::string track;
        int32_t row = 0;
        ImVec2 start;
        int axis = 0;  // 0 undecided, 1 value, 2 time
        float value = 0.0f;
        int32_t toRow = 0;
    } keyDrag;
    char valueField[32] = "";
    int32_t valueFieldRow = INT32_MIN;
    uint32_t valueFieldBits = 0;
    float transportBottom = 0.0f, transportRight = 0.0f;

    bool live = false;
    bool dragSeek = false;
    bool dragLoop = false;
    double dragLoopFrom = 0.0;
};
