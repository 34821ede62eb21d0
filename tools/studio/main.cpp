// ostrel-studio: the production in a window that a maker can pause, scrub and
// loop in step with the music, and that picks up saved edits of the
// choreography text, the track files and the shaders while it plays.
//
// The row clock follows the audio position alone, as in the production; the
// transport moves the audio and the picture follows it. While paused, the
// picture is drawn at the row that was asked for rather than at the sample
// the audio rounded it to, which can read back just below the row.

#include <GL/glew.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "CaptureJob.h"
#include "FrameSink.h"
#include "Overlay.h"
#include "ResourceFolder.h"
#include "SongMap.h"
#include "Soundtrack.h"
#include "StopSignals.h"
#include "StudioLog.h"
#include "StudioOptions.h"
#include "Transport.h"
#include "Workspace.h"
#include "engine/Engine.h"
#include "scene/Production.h"
#include "sync/SyncTrackStore.h"
#include "sync/Timeline.h"

namespace fs = std::filesystem;

namespace {

const char* const kResDir = "../res";
const char* const kSoundtrackPath = "../res/audio/melody.mp3";
const int kPeaksPerRow = 2;
// A paused studio draws this many frames after the last change (Dear ImGui
// settles hover and focus over a frame or two), then waits for the next one.
const int kSettleFrames = 3;

volatile sig_atomic_t statusRequested = 0;
volatile sig_atomic_t quitSignal = 0;

void OnStatusSignal(int)
{
    statusRequested = 1;
}

void OnQuitSignal(int signalNumber)
{
    quitSignal = signalNumber;
}

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One past the highest number among the stills already in dir, so that a new
// session goes on from the last one instead of writing over it.
int NextStillNumber(const std::string& dir)
{
    const std::string prefix = "studio-still-";
    int next = 0;
    std::error_code failure;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, failure)) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0 || entry.path().extension() != ".png") continue;
        std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        next = std::max(next, std::stoi(digits) + 1);
    }
    return next;
}

class Studio {
public:
    int Run(int argc, char* argv[]);
    bool OnEvent(const SDL_Event& event);

private:
    bool Start();
    void Frame();
    void Shutdown();

    double Row();
    void Hold(double row);
    void Seek(double row, const char* why);
    void Step(double rows, const char* why);
    void TogglePlay();
    void ApplyLoop();
    void Save();
    bool EditKey(const SDL_KeyboardEvent& key);
    bool TargetKey(const std::string& track, int32_t* row);
    void StepToKey(int direction);
    void Edited(bool done, const std::string& text, uint32_t pressedAt);
    void EditFromOverlay(const OverlayActions& actions);
    void StartCapture();
    bool WatchCapture();
    void SaveStill();
    void LogStatus();

    StudioOptions options;
    std::unique_ptr<Engine> engine;
    Overlay overlay;
    bool overlayVisible = true;
    bool running = true;
    bool playing = false;
    bool restoreCamera = true;
    bool resizePending = false;
    bool stillPending = false;
    int stills = -1;  // the next still's number; -1 until the folder is read
    int settleFrames = 0;  // frames drawn since the last change
    // Shift as it was at the last mouse press: the press and the release of
    // Shift can arrive together, before the frame that sees the click.
    Uint16 keyMods = 0;
    bool clickShift = false;
    bool peaksDrawn = false;

    double rowsPerSecond = rowsPerSecondAt(kProductionTempo);
    // While paused: the row asked for, which the picture and the display use.
    bool held = false;
    double heldRow = 0.0;
    double lastRow = 0.0;
    double previousRow = 0.0;
    Loop loop;
    std::vector<Section> sections;

    Workspace workspace;
    std::string message;

    std::vector<float> peaks;
    std::atomic<bool> peaksReady{false};
    std::thread peaksThread;

    CaptureJob capture;
    std::string captureOutput;
    double nextCapturePoll = 0.0;

    double frameStart = 0.0;
    float frameMs = 0.0f;
    float fps = 0.0f;
};

bool StudioEventHook(const SDL_Event& event, void* user)
{
    return static_cast<Studio*>(user)->OnEvent(event);
}

bool Studio::Start()
{
    engine.reset(new Engine);
    // Full screen is the desktop's mode, toggled later, not a mode switch.
    DisplayConfig display{"Ostrel Studio", options.width, options.height, options.samples, false, true};
    if (!engine->Init(display)) return false;
    AudioDevice& audio = engine->GetAudioDevice();
    // Init starts the music; the studio decides where from.
    audio.Stop();
    rowsPerSecond = rowsPerSecondAt(audio.GetTempo());
    double length = audio.GetLength();
    lastRow = length > 0.0 ? length * rowsPerSecond : 0.0;
    PopulateScene(engine->GetScene());

    Window& window = engine->GetWindow();
    window.SetEventHook(StudioEventHook, this);
    if (options.fullscreen) SDL_SetWindowFullscreen(window.GetHandle(), SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (!overlay.Init(window.GetHandle(), window.GetContext())) StudioLogError("the overlay did not start");
    overlayVisible = options.overlay;
    overlay.selected = options.curves;

    workspace.Open(options, engine->GetSyncDevice(), engine->GetScene());
    std::string sectionsError;
    std::string map = workspace.SongMapPath();
    if (!ReadSongMap(map, &sections, &sectionsError))
        StudioLogError("no sections: " + sectionsError);
    else
        StudioLog("%zu sections from %s", sections.size(), map.c_str());

    // The waveform decodes beside the first frames.
    peaksThread = std::thread([this] {
        if (SoundtrackPeaks(kSoundtrackPath, 44100.0 / (rowsPerSecond * kPeaksPerRow), &peaks)) peaksReady = true;
    });

    double startRow = StudioStartRow(options.from, rowsPerSecond);
    if (startRow > lastRow)
        StudioLogError("--from row " + std::to_string((long long)startRow) + " is past the end of the song (row " +
                 std::to_string((long long)lastRow) + ")");
    Seek(startRow, "start");
    if (!options.paused) TogglePlay();
    return true;
}

double Studio::Row()
{
    if (held) return heldRow;
    return (double)engine->GetAudioDevice().GetPosition() * rowsPerSecond;
}

void Studio::Hold(double row)
{
    held = true;
    heldRow = row;
}

void Studio::Seek(double row, const char* why)
{
    double from = Row();
    if (!(row > 0.0)) row = 0.0;  // NaN too
    if (row > lastRow) row = lastRow;
    engine->GetAudioDevice().SetPosition(row / rowsPerSecond);
    if (!playing) Hold(row);
    previousRow = row;
    restoreCamera = true;
    settleFrames = 0;
    StudioLog("seek to row %.2f from row %.2f (%s)", row, from, why);
}

void Studio::Step(double rows, const char* why)
{
    Seek(StepRow(Row(), rows, lastRow), why);
}

void Studio::TogglePlay()
{
    AudioDevice& audio = engine->GetAudioDevice();
    settleFrames = 0;
    if (playing) {
        audio.Stop();
        playing = false;
        Hold(Row());
        StudioLog("paused at row %.2f", Row());
        return;
    }
    if (Row() >= lastRow - 0.01) Seek(0.0, "replay from the start");
    audio.Play();
    playing = audio.IsPlaying();
    if (playing) held = false;
    StudioLog("playing from row %.2f", Row());
}

void Studio::ApplyLoop()
{
    AudioDevice& audio = engine->GetAudioDevice();
    if (loop.endRow > lastRow) loop.endRow = (int32_t)std::ceil(lastRow);
    if (loop.on && loop.Valid() && !audio.SetLoop(loop.startRow / rowsPerSecond, loop.endRow / rowsPerSecond)) {
        loop.on = false;
        message = "the loop could not be set (see the log); looping is off";
        StudioLogError(message);
    }
    if (loop.on && loop.Valid()) {
        double row = Row();
        if (row < loop.startRow || row >= loop.endRow) Seek(loop.startRow, "into the loop");
    } else {
        audio.ClearLoop();
    }
    StudioLog("loop %s to %s %s", FormatBarBeatRow(loop.startRow).c_str(), FormatBarBeatRow(loop.endRow).c_str(),
        loop.on ? "on" : "off");
}

bool Studio::OnEvent(const SDL_Event& event)
{
    settleFrames = 0;
    if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) keyMods = event.key.keysym.mod;
    if (event.type == SDL_MOUSEBUTTONDOWN) clickShift = (keyMods & KMOD_SHIFT) != 0;
    if (overlayVisible && overlay.ProcessEvent(event)) return true;
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        resizePending = true;
        return true;
    }
    if (event.type != SDL_KEYDOWN) return false;
    if (EditKey(event.key)) return true;
    const bool shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
    const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
    const int stepRows = alt ? 1 : shift ? kRowsPerBar : kRowsPerBeat;
    const char* stepName = alt ? "row" : shift ? "bar" : "beat";
    switch (event.key.keysym.sym) {
    case SDLK_SPACE: TogglePlay(); break;
    case SDLK_RIGHT: Step(stepRows, stepName); break;
    case SDLK_LEFT: Step(-stepRows, stepName); break;
    case SDLK_PAGEUP: Seek(PreviousSectionRow(sections, Row()), "section"); break;
    case SDLK_PAGEDOWN: Seek(NextSectionRow(sections, Row(), lastRow), "section"); break;
    case SDLK_HOME: Seek(0.0, "home"); break;
    case SDLK_LEFTBRACKET:
        SetLoopStart(loop, Row());
        ApplyLoop();
        break;
    case SDLK_RIGHTBRACKET:
        SetLoopEnd(loop, Row());
        ApplyLoop();
        break;
    case SDLK_l:
        loop.on = !loop.on;
        if (!loop.Valid()) SetLoopStart(loop, Row());
        ApplyLoop();
        break;
    case SDLK_s: Save(); break;
    case SDLK_c: StartCapture(); break;
    case SDLK_TAB: overlayVisible = !overlayVisible; break;
    case SDLK_F11: {
        SDL_Window* handle = engine->GetWindow().GetHandle();
        bool full = (SDL_GetWindowFlags(handle) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
        SDL_SetWindowFullscreen(handle, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        break;
    }
    case SDLK_F12: stillPending = true; break;
    default: return false;  // Escape among them: the window ends the run
    }
    return true;
}

void Studio::Save()
{
    message = workspace.Save();
}

// The key that + - I and Delete act on: the selected one while it exists,
// else the one at the playhead.
bool Studio::TargetKey(const std::string& track, int32_t* row)
{
    const TrackSource* source = workspace.SourceOf(track);
    if (source == nullptr) return false;
    for (int32_t wanted : {overlay.keySelected ? overlay.selectedKeyRow : INT32_MIN, (int32_t)WholeRow(Row())}) {
        for (const TrackRecord& key : source->keys) {
            if (key.row != wanted) continue;
            *row = wanted;
            return true;
        }
    }
    return false;
}

void Studio::StepToKey(int direction)
{
    const std::string track = overlay.EditedTrack();
    SyncTrack* keys = syncStoreGetTrack(engine->GetSyncDevice().GetStore(), track.c_str());
    const int32_t here = (int32_t)WholeRow(Row());
    bool found = false;
    int32_t row = 0;
    for (int32_t i = 0; keys != nullptr && i < keys->keyCount; ++i) {
        int32_t at = keys->keys[i].row;
        if (direction < 0 ? at < here && (!found || at > row) : at > here && (!found || at < row)) {
            row = at;
            found = true;
        }
    }
    if (!found) {
        message = track + " has no key " + (direction < 0 ? "before " : "after ") + FormatBarBeatRow(here);
        StudioLog("%s", message.c_str());
        return;
    }
    overlay.keySelected = true;
    overlay.selectedKeyRow = row;
    Seek(row, "key");
}

void Studio::Edited(bool done, const std::string& text, uint32_t pressedAt)
{
    message = text;
    settleFrames = 0;
    if (!done) {
        StudioLogError(text);
        return;
    }
    restoreCamera = true;
    StudioLog("%s (%u ms from the key press to the swap)", text.c_str(), SDL_GetTicks() - pressedAt);
}

void Studio::EditFromOverlay(const OverlayActions& actions)
{
    const std::string track = overlay.EditedTrack();
    const uint32_t now = SDL_GetTicks();
    std::string text;
    if (actions.insertKey) {
        bool done = workspace.InsertKey(track, actions.insertRow, &text);
        if (done) {
            overlay.keySelected = true;
            overlay.selectedKeyRow = actions.insertRow;
        }
        Edited(done, text, now);
    }
    int32_t row = 0;
    if ((actions.setValue || actions.moveKey) && !TargetKey(track, &row))
        Edited(false, "no key of " + track + " selected or at the playhead", now);
    else if (actions.setValue)
        Edited(workspace.SetKeyValue(track, row, actions.value, &text), text, now);
    else if (actions.moveKey) {
        int32_t movedTo = row;
        bool done = workspace.MoveKey(track, row, actions.moveTo, &movedTo, &text);
        if (done) overlay.selectedKeyRow = movedTo;
        Edited(done, text, now);
    }
    if (actions.toggleMute || actions.toggleSolo) {
        std::vector<std::string> muted = workspace.Muted();
        auto place = std::find(muted.begin(), muted.end(), actions.group);
        if (actions.toggleMute) {
            if (place != muted.end())
                muted.erase(place);
            else
                muted.push_back(actions.group);
        } else {
            // Solo: every other object group muted; bloom stays as it was.
            bool bloom = std::find(muted.begin(), muted.end(), "bloom") != muted.end();
            muted.clear();
            for (const char* group : kViewGroups)
                if (group != actions.group && std::string(group) != "bloom") muted.push_back(group);
            if (bloom) muted.push_back("bloom");
        }
        workspace.SetMuted(muted);
        restoreCamera = true;
        settleFrames = 0;
    }
}

bool Studio::EditKey(const SDL_KeyboardEvent& event)
{
    const SDL_Keycode sym = event.keysym.sym;
    const bool shift = (event.keysym.mod & KMOD_SHIFT) != 0;
    const bool ctrl = (event.keysym.mod & KMOD_CTRL) != 0;
    std::string text;
    if (ctrl && (sym == SDLK_z || sym == SDLK_y)) {
        bool done = sym == SDLK_z && !shift ? workspace.Undo(&text) : workspace.Redo(&text);
        Edited(done, text, event.timestamp);
        return true;
    }
    const bool up = sym == SDLK_EQUALS || sym == SDLK_PLUS || sym == SDLK_KP_PLUS;
    const bool down = sym == SDLK_MINUS || sym == SDLK_KP_MINUS;
    const bool editKey = sym == SDLK_k || up || down || sym == SDLK_i || sym == SDLK_DELETE || sym == SDLK_COMMA ||
                         sym == SDLK_PERIOD;
    if (!editKey || ctrl) return false;
    if (overlay.selected.empty()) {
        message = "no track selected: tick one in the panel, or start with --curves";
        StudioLog("%s", message.c_str());
        return true;
    }
    const std::string track = overlay.EditedTrack();
    if (sym == SDLK_COMMA || sym == SDLK_PERIOD) {
        StepToKey(sym == SDLK_COMMA ? -1 : 1);
        return true;
    }
    if (sym == SDLK_k) {
        int32_t row = (int32_t)WholeRow(Row());
        bool done = workspace.InsertKey(track, row, &text);
        if (done) {
            overlay.keySelected = true;
            overlay.selectedKeyRow = row;
        }
        Edited(done, text, event.timestamp);
        return true;
    }
    int32_t row = 0;
    if (!TargetKey(track, &row)) {
        Edited(false, "no key of " + track + " selected or at " + FormatBarBeatRow(Row()) + "; K inserts one",
               event.timestamp);
        return true;
    }
    bool done = false;
    if (up || down) {
        float low = 0.0f, high = 0.0f;
        CurveRange(syncStoreGetTrack(engine->GetSyncDevice().GetStore(), track.c_str()), Row(), &low, &high);
        done = workspace.NudgeKey(track, row, (up ? 1 : -1) * (shift ? 10 : 1), NudgeStep(track, low, high), &text);
    } else if (sym == SDLK_i) {
        done = workspace.CycleInterpolation(track, row, &text);
    } else {
        done = workspace.DeleteKey(track, row, &text);
        if (done) overlay.keySelected = false;
    }
    if (done) {
        overlay.keySelected = sym != SDLK_DELETE;
        overlay.selectedKeyRow = row;
    }
    Edited(done, text, event.timestamp);
    return true;
}

void Studio::StartCapture()
{
    // C again while one runs: stop it.
    if (capture.Running()) {
        capture.Cancel();
        message = "cancelling the capture into " + captureOutput;
        StudioLog("%s", message.c_str());
        return;
    }
    // The capture's own hint names its --ffmpeg option, which the studio has not.
    if (FindProgram("ffmpeg").empty() || FindProbeFor("ffmpeg").empty()) {
        message = "capture not started: ffmpeg and ffprobe are not on PATH (install ffmpeg)";
        StudioLogError(message);
        return;
    }
    // The loop when it is on, else the section playing, else the whole song.
    int32_t from = 0, to = (int32_t)std::ceil(lastRow);
    const Section* section = SectionAt(sections, Row());
    if (loop.on && loop.Valid()) {
        from = loop.startRow;
        to = loop.endRow;
    } else if (section != nullptr) {
        from = section->startRow;
        to = section->endRow;
    }
    std::error_code failure;
    fs::path dir = fs::absolute(options.shotsDir, failure);
    char name[96];
    std::snprintf(name, sizeof name, "ostrel-studio-bars-%d-%d.mp4", from / kStudioRowsPerBar,
                  (to + kStudioRowsPerBar - 1) / kStudioRowsPerBar);
    captureOutput = (dir / name).string();
    Window& window = engine->GetWindow();
    std::vector<std::string> args = {"--size",
                                     std::to_string(window.GetWidth()) + "x" + std::to_string(window.GetHeight()),
                                     "--samples",
                                     std::to_string(window.GetSamples()),
                                     "--from",
                                     std::to_string(from) + "r",
                                     "--to",
                                     std::to_string(to) + "r",
                                     "-o",
                                     captureOutput};
    std::string program = (fs::read_symlink("/proc/self/exe", failure).parent_path() / "ostrel-capture").string();
    std::string error;
    if (!capture.Start(program, kResDir, workspace.LiveTracks(), args, error)) {
        message = "capture not started: " + error;
        StudioLogError(message);
        return;
    }
    message = "capturing rows " + std::to_string(from) + " to " + std::to_string(to) + " into " + captureOutput;
    StudioLog("%s (pid %d, working in %s)", message.c_str(), (int)capture.Pid(), capture.WorkDir().c_str());
    nextCapturePoll = 0.0;
}

// Progress in the overlay's message line a few times a second, then the end;
// true when the line changed.
bool Studio::WatchCapture()
{
    if (!capture.Running()) return false;
    bool ok = false;
    std::string last;
    if (capture.Finished(ok, last)) {
        if (ok) {
            message = "captured into " + captureOutput;
            StudioLog("%s", message.c_str());
        } else {
            message = (capture.Cancelled() ? "capture cancelled: " : "capture failed: ") + last;
            StudioLogError(message);
        }
        return true;
    }
    double now = Now();
    if (now < nextCapturePoll || capture.Cancelled()) return false;
    nextCapturePoll = now + 0.25;
    const CaptureJob::Progress& progress = capture.Poll();
    char text[160];
    if (progress.total <= 0)
        std::snprintf(text, sizeof text, "capture starting (C cancels)");
    else if (progress.secondsLeft < 0)
        std::snprintf(text, sizeof text, "capturing: %ld/%ld frames (C cancels)", progress.done, progress.total);
    else
        std::snprintf(text, sizeof text, "capturing: %ld/%ld frames, %ld:%02ld left (C cancels)", progress.done,
                      progress.total, progress.secondsLeft / 60, progress.secondsLeft % 60);
    std::string line = std::string(text) + " into " + fs::path(captureOutput).filename().string();
    if (line == message) return false;
    message = line;
    StudioLog("%s", message.c_str());
    return true;
}

void Studio::SaveStill()
{
    Window& window = engine->GetWindow();
    std::vector<uint8_t> pixels((size_t)window.GetWidth() * (size_t)window.GetHeight() * 4);
    std::string error;
    if (stills < 0) stills = NextStillNumber(options.shotsDir);
    char name[64];
    std::snprintf(name, sizeof name, "/studio-still-%03d.png", stills++);
    std::string path = options.shotsDir + name;
    if (ReadBackBuffer(window.GetWidth(), window.GetHeight(), pixels) &&
        WriteFramePng(path, window.GetWidth(), window.GetHeight(), pixels.data(), error))
        StudioLog("saved still %s at row %.3f", path.c_str(), Row());
    else
        StudioLogError("no still saved: " + (error.empty() ? "cannot read the frame back" : error));
}

void Studio::LogStatus()
{
    const Section* section = SectionAt(sections, Row());
    StudioLog("status row %.3f seconds %.4f %s loop %d-%d %s section %s tracks %s errors %zu frame %.1f ms at %s",
              Row(), (double)engine->GetAudioDevice().GetPosition(), playing ? "playing" : "paused", loop.startRow,
              loop.endRow, loop.on ? "on" : "off", section ? section->name.c_str() : "-",
              workspace.LiveTracks().empty() ? "files" : "text", workspace.Errors().size(), frameMs,
              FormatBarBeatRow(Row()).c_str());
}

void Studio::Frame()
{
    AudioDevice& audio = engine->GetAudioDevice();
    Window& window = engine->GetWindow();
    if (resizePending) {
        resizePending = false;
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window.GetHandle(), &w, &h);
        if (w > 0 && h > 0 && (w != window.GetWidth() || h != window.GetHeight())) {
            window.SetSize(w, h);
            if (!engine->GetScene().Resize()) StudioLogError("cannot resize the frame buffers");
            StudioLog("resized to %dx%d", w, h);
        }
    }
    bool swapped = false;
    if (workspace.Poll(&swapped)) settleFrames = 0;
    if (swapped) restoreCamera = true;
    if (playing && !audio.IsPlaying()) {
        playing = false;
        Hold(Row());
        StudioLog("the music ended; paused at the end");
    }
    if (WatchCapture()) settleFrames = 0;
    if (statusRequested) {
        statusRequested = 0;
        LogStatus();
    }
    if (overlayVisible && peaksReady && !peaksDrawn) {
        peaksDrawn = true;
        settleFrames = 0;
    }
    // Paused and settled: the window already shows this frame, so wait for
    // an event (or the next look at the files) instead of drawing it again.
    if (!playing && settleFrames >= kSettleFrames && !stillPending) {
        SDL_WaitEventTimeout(nullptr, (int)(kWatchSeconds * 1000.0));
        frameStart = 0.0;
        return;
    }
    ++settleFrames;

    float seconds = held ? secondsAtRow(heldRow, audio.GetTempo()) : audio.GetPosition();
    double row = held ? heldRow : (double)seconds * rowsPerSecond;
    if (playing && loop.on && row < previousRow - 1.0) {
        StudioLog("loop wrapped to row %.2f", row);
        restoreCamera = true;
    }
    previousRow = row;
    if (restoreCamera) {
        // Counted as the capture counts, so a paused frame matches its frame.
        engine->RestoreCamera((long)std::ceil((double)seconds * kStudioFps - 1e-3), kStudioFps);
        restoreCamera = false;
    }
    engine->RenderFrameAt(seconds);

    if (overlayVisible) {
        OverlayView view;
        view.row = row;
        view.seconds = seconds;
        view.lastRow = lastRow;
        view.playing = playing;
        view.loop = loop;
        view.fps = fps;
        view.frameMs = frameMs;
        view.sections = &sections;
        view.peaks = peaksReady ? &peaks : nullptr;
        view.peaksPerRow = kPeaksPerRow;
        view.sync = &engine->GetSyncDevice();
        view.trackSource = workspace.SourceLabel().c_str();
        view.errors = workspace.ScreenErrors();
        view.message = message;
        view.workspace = &workspace;
        view.muted = workspace.Muted();
        OverlayActions actions = overlay.Draw(view);
        EditFromOverlay(actions);
        if (actions.seek) {
            // Clicks land on rows, or on beats with Shift held.
            const bool shift = clickShift || (SDL_GetModState() & KMOD_SHIFT) != 0;
            double target = SnapRow(actions.seekRow, shift ? kRowsPerBeat : 1, lastRow);
            if (std::fabs(target - row) >= 0.5) Seek(target, "timeline");
        }
        if (actions.setLoop && (actions.loop.startRow != loop.startRow || actions.loop.endRow != loop.endRow ||
                                !loop.on)) {
            loop = actions.loop;
            ApplyLoop();
        }
        if (actions.togglePlay) TogglePlay();
        if (actions.toggleLoop) {
            loop.on = !loop.on;
            if (!loop.Valid()) SetLoopStart(loop, Row());
            ApplyLoop();
        }
        if (actions.save) Save();
        if (actions.capture) StartCapture();
    }
    if (stillPending) {
        stillPending = false;
        SaveStill();
    }
    window.SwapBuffers();

    double now = Now();
    if (frameStart > 0.0) {
        frameMs = (float)((now - frameStart) * 1000.0);
        fps = fps <= 0.0f ? 1000.0f / frameMs : fps * 0.9f + 0.1f * (1000.0f / frameMs);
    }
    frameStart = now;
}

void Studio::Shutdown()
{
    if (capture.Running()) {
        StudioLog("ending the capture into %s", captureOutput.c_str());
        capture.Stop();
    }
    if (peaksThread.joinable()) peaksThread.join();
    overlay.Shutdown();
    workspace.Close();
    engine->Shutdown();
}

int Studio::Run(int argc, char* argv[])
{
    std::string error;
    if (!ParseStudioOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "ostrel-studio: %s\nTry 'ostrel-studio --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(StudioUsage(), stdout);
        return 0;
    }
    // A folder option that names no folder would leave the studio editing nothing, unseen.
    for (const auto& folder : {std::make_pair("--tracks", &options.tracksDir), std::make_pair("--source", &options.sourceDir)}) {
        struct stat info;
        const std::string& path = *folder.second;
        if (path.empty()) continue;
        std::string why = stat(path.c_str(), &info) != 0 ? std::strerror(errno)
                          : !S_ISDIR(info.st_mode)       ? "it is not a folder"
                                                         : "";
        if (why.empty()) continue;
        std::fprintf(stderr, "ostrel-studio: %s %s: %s\n", folder.first, path.c_str(), why.c_str());
        return 2;
    }
    if (!EnterResourceFolder("ostrel-studio", {&options.shotsDir, &options.tracksDir, &options.sourceDir}, error)) {
        std::fprintf(stderr, "ostrel-studio: %s\n", error.c_str());
        return 1;
    }
    signal(SIGUSR1, OnStatusSignal);
    // Ends the studio as closing its window does, so that a running capture
    // is ended and its folder removed.
    CatchStopSignals(OnQuitSignal);
    if (!Start()) {
        std::fprintf(stderr, "ostrel-studio: the engine did not start (see the log above)\n");
        return 1;
    }
    while (!quitSignal && engine->GetWindow().PollEvents()) Frame();
    if (quitSignal) StudioLog("ending on signal %d", (int)quitSignal);
    Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    Studio studio;
    return studio.Run(argc, argv);
}
