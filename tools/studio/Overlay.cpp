// The studio's overlay, top to bottom: the transport window, the timeline, and
// the track panel (pinned curves with their key dots and mouse edits, the key
// panel of the edited track, the view switches, the list of 53 values).

#include "Overlay.h"

#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "TrackFormat.h"
#include "Workspace.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

namespace fs = std::filesystem;

const char* const kViewGroups[6] = {"Grid", "Cube", "Flakes", "Needles", "Rings", "bloom"};

namespace {

// Key positions as the track text writes them.
std::string KeyPosition(int32_t row)
{
    return formatPosition(row);
}

const float kTimelineHeight = 96.0f;
const float kPanelWidth = 420.0f;
const float kCurveHeight = 64.0f;
// The curves show this many rows on each side of the playhead: two bars.
const double kCurveHalfSpan = 128.0;

const ImU32 kWaveColour = IM_COL32(90, 150, 200, 255);
const ImU32 kSectionColour = IM_COL32(255, 210, 120, 200);
const ImU32 kLoopColour = IM_COL32(120, 255, 140, 60);
const ImU32 kLoopOffColour = IM_COL32(160, 160, 160, 40);
const ImU32 kPlayheadColour = IM_COL32(255, 70, 70, 255);
const ImU32 kCurveColour = IM_COL32(120, 220, 255, 255);
const ImU32 kKeyColour = IM_COL32(255, 230, 90, 255);

const ImGuiWindowFlags kFixedWindow = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                      ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings;

}  // namespace

void CurveRange(const SyncTrack* track, double row, float* low, float* high)
{
    float lo = INFINITY, hi = -INFINITY;
    const double from = std::floor(row) - kCurveHalfSpan;
    for (int i = 0; track != nullptr && i <= 2 * (int)kCurveHalfSpan + 1; ++i) {
        float v = (float)syncTrackValue(track, from + i);
        if (!std::isfinite(v)) continue;
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    if (!(hi >= lo)) lo = hi = 0.0f;
    if (hi - lo < 1e-6f) {
        lo -= 0.5f;
        hi += 0.5f;
    }
    *low = lo;
    *high = hi;
}

bool Overlay::Init(SDL_Window* window, SDL_GLContext context)
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // Nothing is written beside the program.
    io.IniFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Alpha = 0.92f;
    if (!ImGui_ImplSDL2_InitForOpenGL(window, context) || !ImGui_ImplOpenGL3_Init("#version 330 core")) {
        ImGui::DestroyContext();
        return false;
    }
    live = true;
    return true;
}

bool Overlay::ProcessEvent(const SDL_Event& event)
{
    if (!live) return false;
    ImGui_ImplSDL2_ProcessEvent(&event);
    ImGuiIO& io = ImGui::GetIO();
    // The system's own double click: Dear ImGui times clicks by frames, and
    // two clicks within one slow frame reach it a frame apart.
    if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT && event.button.clicks >= 2)
        doubleClicked = true;
    // Where the button went down and up: on a slow frame the pointer has
    // moved on by the time Dear ImGui looks.
    if ((event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP) &&
        event.button.button == SDL_BUTTON_LEFT) {
        ImVec2& at = event.type == SDL_MOUSEBUTTONDOWN ? pressedAt : releasedAt;
        at = ImVec2((float)event.button.x, (float)event.button.y);
    }
    switch (event.type) {
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL: return io.WantCaptureMouse;
    // Typing into a field is not a studio key.
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT: return io.WantTextInput;
    default: return false;
    }
}

void Overlay::Shutdown()
{
    if (!live) return;
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    live = false;
}

OverlayActions Overlay::Draw(const OverlayView& view)
{
    OverlayActions actions = Build(view);
    Submit();
    return actions;
}

void Overlay::Submit()
{
    if (live) ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

OverlayActions Overlay::Build(const OverlayView& view)
{
    OverlayActions actions;
    if (!live) return actions;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    const ImVec2 display = ImGui::GetIO().DisplaySize;

    ImGui::SetNextWindowPos(ImVec2(8, 8));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("Transport", nullptr, kFixedWindow | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoTitleBar);
    const Section* section = view.sections ? SectionAt(*view.sections, view.row) : nullptr;
    ImGui::Text("%s  %s  row %.1f  %.3f s  %s", view.playing ? "PLAY " : "PAUSE", FormatBarBeatRow(view.row).c_str(),
                view.row, view.seconds, section ? section->name.c_str() : "-");
    ImGui::Text("%.1f fps  %.2f ms", view.fps, view.frameMs);
    if (view.loop.Valid())
        ImGui::Text("loop %s - %s (%s)", FormatBarBeatRow(view.loop.startRow).c_str(),
                    FormatBarBeatRow(view.loop.endRow).c_str(), view.loop.on ? "on" : "off");
    else
        ImGui::TextUnformatted("loop: none ([ and ] set it)");
    ImGui::Text("tracks: %s", view.trackSource);
    if (ImGui::Button(view.playing ? "Pause" : "Play")) actions.togglePlay = true;
    ImGui::SameLine();
    if (ImGui::Button(view.loop.on ? "Loop off" : "Loop on")) actions.toggleLoop = true;
    ImGui::SameLine();
    if (ImGui::Button("Save tracks (S)")) actions.save = true;
    ImGui::SameLine();
    if (ImGui::Button("Capture (C)")) actions.capture = true;
    if (!view.muted.empty()) {
        std::string muted;
        for (const std::string& group : view.muted) muted += " " + group;
        ImGui::TextColored(ImVec4(1.0f, 0.75f, 0.3f, 1.0f), "view only, muted:%s", muted.c_str());
    }
    if (!view.message.empty()) ImGui::TextWrapped("%s", view.message.c_str());
    transportRight = ImGui::GetWindowPos().x + ImGui::GetWindowSize().x;
    transportBottom = ImGui::GetWindowPos().y + ImGui::GetWindowSize().y;
    ImGui::End();

    if (!view.errors.empty()) {
        ImGui::SetNextWindowPos(ImVec2(8, display.y * 0.35f), ImGuiCond_Always);
        ImGui::SetNextWindowSize(ImVec2(std::max(160.0f, display.x * 0.55f), 0), ImGuiCond_Always);
        ImGui::SetNextWindowBgAlpha(0.85f);
        ImGui::Begin("Errors: the last good version keeps playing", nullptr,
                     kFixedWindow | ImGuiWindowFlags_AlwaysAutoResize);
        ImGui::PushStyleColor(ImGuiCol_Text, IM_COL32(255, 110, 110, 255));
        for (const std::string& line : view.errors) ImGui::TextWrapped("%s", line.c_str());
        ImGui::PopStyleColor();
        ImGui::End();
    }

    DrawTracks(view, actions);
    DrawTimeline(view, actions);
    doubleClicked = false;
    pressedAt = releasedAt = ImVec2(-1.0f, -1.0f);

    ImGui::Render();
    return actions;
}

void Overlay::DrawTimeline(const OverlayView& view, OverlayActions& actions)
{
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(0, display.y - kTimelineHeight));
    ImGui::SetNextWindowSize(ImVec2(display.x, kTimelineHeight));
    ImGui::SetNextWindowBgAlpha(0.7f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(6, 6));
    ImGui::Begin("Timeline", nullptr, kFixedWindow | ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoScrollbar);
    ImGui::PopStyleVar();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 size = ImGui::GetContentRegionAvail();
    ImGui::InvisibleButton("timeline", size, ImGuiButtonFlags_MouseButtonLeft | ImGuiButtonFlags_MouseButtonRight);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const double lastRow = view.lastRow > 0.0 ? view.lastRow : 1.0;
    auto xOf = [&](double row) { return origin.x + (float)(row / lastRow) * size.x; };
    auto rowOf = [&](float x) {
        double row = (double)(x - origin.x) / size.x * lastRow;
        return row < 0.0 ? 0.0 : (row > lastRow ? lastRow : row);
    };
    const float mid = origin.y + size.y * 0.5f;

    if (view.loop.Valid())
        draw->AddRectFilled(ImVec2(xOf(view.loop.startRow), origin.y), ImVec2(xOf(view.loop.endRow), origin.y + size.y),
                            view.loop.on ? kLoopColour : kLoopOffColour);

    // One vertical stroke per pixel column: the loudest peak under it.
    if (view.peaks != nullptr && !view.peaks->empty()) {
        const std::vector<float>& peaks = *view.peaks;
        const double perColumn = lastRow * view.peaksPerRow / size.x;
        for (int x = 0; x < (int)size.x; ++x) {
            size_t a = (size_t)(x * perColumn);
            size_t b = (size_t)((x + 1) * perColumn);
            if (b <= a) b = a + 1;
            float peak = 0.0f;
            for (size_t i = a; i < b && i < peaks.size(); ++i) peak = peaks[i] > peak ? peaks[i] : peak;
            float h = peak * size.y * 0.45f;
            draw->AddLine(ImVec2(origin.x + x + 0.5f, mid - h), ImVec2(origin.x + x + 0.5f, mid + h + 1.0f),
                          kWaveColour);
        }
    }

    if (view.sections != nullptr) {
        for (const Section& section : *view.sections) {
            float x = xOf(section.startRow);
            draw->AddLine(ImVec2(x, origin.y), ImVec2(x, origin.y + size.y), kSectionColour, 1.0f);
            draw->AddText(ImVec2(x + 3, origin.y), kSectionColour, section.name.c_str());
        }
    }
    float playhead = xOf(view.row);
    draw->AddLine(ImVec2(playhead, origin.y), ImVec2(playhead, origin.y + size.y), kPlayheadColour, 2.0f);

    // Left button: seek, and keep seeking while dragged. Right button: drag a
    // loop over whole bars.
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    if (ImGui::IsItemActive() && ImGui::IsMouseDown(ImGuiMouseButton_Left)) {
        dragSeek = true;
        actions.seek = true;
        actions.seekRow = rowOf(mouse.x);
    } else {
        dragSeek = false;
    }
    if (ImGui::IsItemHovered() && ImGui::IsMouseClicked(ImGuiMouseButton_Right)) {
        dragLoop = true;
        dragLoopFrom = rowOf(mouse.x);
    }
    if (dragLoop) {
        double a = dragLoopFrom, b = rowOf(mouse.x);
        if (b < a) std::swap(a, b);
        actions.setLoop = true;
        actions.loop.on = true;
        actions.loop.startRow = BarStartRow(a);
        actions.loop.endRow = BarEndRow(b);
        if (actions.loop.endRow > (int32_t)std::ceil(lastRow)) actions.loop.endRow = (int32_t)std::ceil(lastRow);
        if (!ImGui::IsMouseDown(ImGuiMouseButton_Right)) dragLoop = false;
    }
    ImGui::End();
}

std::string Overlay::EditedTrack() const
{
    if (!editing.empty() && std::find(selected.begin(), selected.end(), editing) != selected.end()) return editing;
    return selected.empty() ? std::string() : selected.front();
}

// The panel sits at the right, its width a share of the window's; where the
// window is too narrow for that beside the transport, it takes the room left
// beside it, or goes below it, so that no button is covered.
void Overlay::DrawTracks(const OverlayView& view, OverlayActions& actions)
{
    if (view.sync == nullptr) return;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    float width = std::min(kPanelWidth, std::max(160.0f, display.x * 0.3f));
    float x = display.x - width - 8, y = 8;
    if (x < transportRight + 8) {
        if (display.x - transportRight - 16 >= 120.0f) {
            x = transportRight + 8;
            width = display.x - x - 8;
        } else {
            y = transportBottom + 8;
        }
    }
    const float height = display.y - kTimelineHeight - 8 - y;
    if (height < 40.0f) return;
    ImGui::SetNextWindowPos(ImVec2(x, y));
    ImGui::SetNextWindowSize(ImVec2(width, height));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("Tracks", nullptr, kFixedWindow | ImGuiWindowFlags_NoScrollbar);

    // The chosen curves and the key panel are pinned above the list, which
    // scrolls on its own; they take at most two thirds of the panel.
    float pinned = 0.0f;
    for (const std::string& name : selected) {
        auto h = curveHeights.find(name);
        pinned += (h == curveHeights.end() ? kCurveHeight : h->second) + ImGui::GetFrameHeightWithSpacing() + 4;
    }
    if (!selected.empty()) pinned += 5 * ImGui::GetTextLineHeightWithSpacing() + ImGui::GetFrameHeightWithSpacing();
    pinned = std::min(pinned, ImGui::GetContentRegionAvail().y * 0.67f);
    if (pinned > 0.0f) {
        ImGui::BeginChild("curves", ImVec2(0, pinned), false);
        for (size_t i = 0; i < selected.size(); ++i) DrawCurve(view, i, actions);
        DrawKeyPanel(view, actions);
        ImGui::EndChild();
        ImGui::Separator();
    }

    ImGui::BeginChild("list", ImVec2(0, 0), false);
    DrawViewSwitches(view, actions);
    // The tracks by group (in the order groups first appear), each with its
    // value at the playhead.
    std::vector<std::string> groups;
    for (int i = 0; i < SYNC_TRACK_NAME_COUNT; ++i) {
        const char* dot = std::strchr(syncTrackNames[i], '.');
        std::string group(syncTrackNames[i], dot ? (size_t)(dot - syncTrackNames[i]) : 0);
        if (std::find(groups.begin(), groups.end(), group) == groups.end()) groups.push_back(group);
    }
    const float valueColumn = std::max(100.0f, ImGui::GetContentRegionAvail().x - 80.0f);
    for (const std::string& group : groups) {
        if (!ImGui::CollapsingHeader(group.c_str(), ImGuiTreeNodeFlags_DefaultOpen)) continue;
        for (int i = 0; i < SYNC_TRACK_NAME_COUNT; ++i) {
            const char* name = syncTrackNames[i];
            if (std::strncmp(name, group.c_str(), group.size()) != 0 || name[group.size()] != '.') continue;
            auto place = std::find(selected.begin(), selected.end(), name);
            bool on = place != selected.end();
            if (ImGui::Checkbox(name + group.size() + 1, &on)) {
                if (on)
                    selected.push_back(name);
                else
                    selected.erase(place);
                keySelected = false;
            }
            ImGui::SameLine(valueColumn);
            ImGui::Text("%10.4f", view.sync->GetFloat(name));
        }
    }
    ImGui::EndChild();
    ImGui::End();
}

void Overlay::DrawCurve(const OverlayView& view, size_t index, OverlayActions& actions)
{
    const std::string name = selected[index];
    SyncTrackStore* store = view.sync->GetStore();
    SyncTrack* track = store ? syncStoreGetTrack(store, name.c_str()) : nullptr;
    float& height = curveHeights.emplace(name, kCurveHeight).first->second;
    float lo = 0.0f, hi = 0.0f;
    CurveRange(track, view.row, &lo, &hi);

    // The header: name, range, then order, height and removal.
    ImGui::PushID(name.c_str());
    const bool edited = name == EditedTrack();
    ImGui::TextColored(edited ? ImVec4(1.0f, 0.9f, 0.35f, 1.0f) : ImVec4(0.85f, 0.85f, 0.85f, 1.0f), "%s",
                       name.c_str());
    ImGui::SameLine();
    ImGui::TextDisabled("%.3g .. %.3g", lo, hi);
    const float buttons = 4 * (ImGui::GetFrameHeight() + ImGui::GetStyle().ItemSpacing.x);
    ImGui::SameLine(std::max(ImGui::GetCursorPosX(), ImGui::GetWindowContentRegionMax().x - buttons));
    if (ImGui::SmallButton("^") && index > 0) std::swap(selected[index], selected[index - 1]);
    ImGui::SameLine();
    if (ImGui::SmallButton("+")) height = std::min(height + 32.0f, 320.0f);
    ImGui::SameLine();
    if (ImGui::SmallButton("-")) height = std::max(height - 32.0f, 32.0f);
    ImGui::SameLine();
    bool remove = ImGui::SmallButton("x");

    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float width = ImGui::GetContentRegionAvail().x;
    ImGui::InvisibleButton("curve", ImVec2(std::max(width, 4.0f), height));
    ImGui::PopID();
    if (remove) {
        selected.erase(selected.begin() + (long)index);
        return;
    }
    if (track == nullptr || width < 4.0f) return;
    const double from = view.row - kCurveHalfSpan;
    const double span = 2.0 * kCurveHalfSpan;
    auto xOf = [&](double row) { return origin.x + (float)((row - from) / span) * width; };
    auto yOf = [&](float v) { return origin.y + height - 4 - (v - lo) / (hi - lo) * (height - 8); };
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(origin, ImVec2(origin.x + width, origin.y + height), IM_COL32(20, 20, 30, 160));
    for (double bar = std::ceil(from / kStudioRowsPerBar) * kStudioRowsPerBar; bar < from + span;
         bar += kStudioRowsPerBar)
        draw->AddLine(ImVec2(xOf(bar), origin.y), ImVec2(xOf(bar), origin.y + height), IM_COL32(90, 90, 110, 160));
    const int columns = (int)width;
    std::vector<ImVec2> points;
    points.reserve((size_t)columns + 1);
    for (int x = 0; x <= columns; ++x) {
        float v = (float)syncTrackValue(track, from + span * x / columns);
        if (std::isfinite(v)) points.push_back(ImVec2(origin.x + x, yOf(v)));
    }
    if (points.size() > 1) draw->AddPolyline(points.data(), (int)points.size(), kCurveColour, 0, 1.5f);

    // Key dots; the selected one ringed. A click on a dot selects it and
    // makes its track the edited one.
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const ImVec2 press = pressedAt.x >= 0.0f ? pressedAt : mouse;
    const ImVec2 end = releasedAt.x >= 0.0f ? releasedAt : mouse;
    const bool pressedHere = press.x >= origin.x && press.x < origin.x + width && press.y >= origin.y &&
                             press.y < origin.y + height;
    int32_t hit = INT32_MIN;
    float hitValue = 0.0f;
    for (int32_t k = 0; k < track->keyCount; ++k) {
        const SyncKey& key = track->keys[k];
        if (key.row < from || key.row > from + span || !std::isfinite(key.value)) continue;
        ImVec2 dot(xOf(key.row), yOf(key.value));
        bool chosen = edited && keySelected && key.row == selectedKeyRow;
        draw->AddCircleFilled(dot, chosen ? 4.5f : 3.0f, kKeyColour);
        if (chosen) draw->AddCircle(dot, 7.0f, kKeyColour);
        if (pressedHere && std::fabs(press.x - dot.x) <= 6.0f && std::fabs(press.y - dot.y) <= 6.0f) {
            hit = key.row;
            hitValue = key.value;
        }
    }
    float playhead = origin.x + width * 0.5f;
    draw->AddLine(ImVec2(playhead, origin.y), ImVec2(playhead, origin.y + height), kPlayheadColour);

    const bool shift = ImGui::GetIO().KeyShift;
    auto snappedRow = [&](float x) {
        double row = from + (double)(x - origin.x) / width * span;
        double unit = shift ? kStudioRowsPerBeat : 1.0;
        return (int32_t)(std::floor(row / unit + 0.5) * unit);
    };
    if (pressedHere && doubleClicked && hit == INT32_MIN) {
        editing = name;
        actions.insertKey = true;
        actions.insertRow = snappedRow(press.x);
    } else if (pressedHere && ImGui::IsMouseClicked(ImGuiMouseButton_Left) && hit != INT32_MIN) {
        editing = name;
        keySelected = true;
        selectedKeyRow = hit;
        keyDrag = KeyDrag{true, name, hit, press, 0, hitValue, hit};
    }
    if (keyDrag.on && keyDrag.track == name) {
        const ImVec2 at = ImGui::IsMouseDown(ImGuiMouseButton_Left) ? mouse : end;
        float dx = at.x - keyDrag.start.x, dy = at.y - keyDrag.start.y;
        if (keyDrag.axis == 0 && std::max(std::fabs(dx), std::fabs(dy)) > 4.0f)
            keyDrag.axis = std::fabs(dy) >= std::fabs(dx) ? 1 : 2;
        if (keyDrag.axis == 1) {
            // Dragged values land on the nudge step, so the text stays short.
            double step = NudgeStep(name, lo, hi);
            double value = lo + (double)(origin.y + height - 4 - at.y) / (height - 8) * (hi - lo);
            keyDrag.value = (float)(std::round(value / step) * step);
            draw->AddCircle(ImVec2(xOf(keyDrag.row), yOf(keyDrag.value)), 5.0f, kPlayheadColour);
        } else if (keyDrag.axis == 2) {
            keyDrag.toRow = snappedRow(at.x);
            draw->AddCircle(ImVec2(xOf(keyDrag.toRow), yOf(hitValue)), 5.0f, kPlayheadColour);
        }
        if (!ImGui::IsMouseDown(ImGuiMouseButton_Left)) {
            if (keyDrag.axis == 1) {
                char text[32];
                std::snprintf(text, sizeof text, "%.6g", keyDrag.value);
                actions.setValue = true;
                actions.value = text;
            } else if (keyDrag.axis == 2 && keyDrag.toRow != keyDrag.row) {
                actions.moveKey = true;
                actions.moveTo = keyDrag.toRow;
            }
            keyDrag.on = false;
        }
    }
}

// The keys around the playhead of the edited track, where their lines are,
// and a field for the selected key's value.
void Overlay::DrawKeyPanel(const OverlayView& view, OverlayActions& actions)
{
    const std::string name = EditedTrack();
    const TrackSource* source = view.workspace ? view.workspace->SourceOf(name) : nullptr;
    if (source == nullptr) {
        ImGui::TextDisabled("%s: %s", name.c_str(),
                            view.workspace && !view.workspace->LiveTracks().empty() ? "in no source"
                                                                                    : "keys come from res/sync");
        return;
    }
    const std::string file = fs::path(view.workspace->FileOf(name)).filename().string();
    const int32_t here = (int32_t)WholeRow(view.row);
    size_t after = 0;
    while (after < source->keys.size() && source->keys[after].row <= here) ++after;
    auto line = [&](const char* label, size_t i) {
        if (i >= source->keys.size()) {
            ImGui::TextDisabled("%s -", label);
            return;
        }
        const TrackRecord& key = source->keys[i];
        bool chosen = keySelected && key.row == selectedKeyRow;
        ImGui::Text("%s%s %s %s %s  %s:%d", label, chosen ? ">" : " ", KeyPosition(key.row).c_str(),
                    formatValue(key.valueBits).c_str(), formatType(key.type).c_str(), file.c_str(),
                    source->keyLines[i]);
    };
    line("before", after == 0 ? source->keys.size() : after - 1);
    line("after ", after);

    // The value field edits the selected key, else the one at the playhead.
    int32_t target = INT32_MIN;
    for (const TrackRecord& key : source->keys)
        if (key.row == (keySelected ? selectedKeyRow : here)) target = key.row;
    if (target == INT32_MIN) {
        ImGui::TextDisabled("no key at the playhead: K inserts one");
        return;
    }
    uint32_t bits = 0;
    for (const TrackRecord& key : source->keys)
        if (key.row == target) bits = key.valueBits;
    // The field follows the key until the maker types into it.
    if ((target != valueFieldRow || bits != valueFieldBits) && !ImGui::IsAnyItemActive()) {
        std::snprintf(valueField, sizeof valueField, "%s", formatValue(bits).c_str());
        valueFieldRow = target;
        valueFieldBits = bits;
    }
    ImGui::SetNextItemWidth(110.0f);
    if (ImGui::InputText(("value at " + KeyPosition(target)).c_str(), valueField, sizeof valueField,
                         ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_CharsScientific)) {
        keySelected = true;
        selectedKeyRow = target;
        actions.setValue = true;
        actions.value = valueField;
        valueFieldRow = INT32_MIN;
    }
}

void Overlay::DrawViewSwitches(const OverlayView& view, OverlayActions& actions)
{
    if (!ImGui::CollapsingHeader("View (not saved)")) return;
    for (const char* group : kViewGroups) {
        ImGui::PushID(group);
        bool muted = std::find(view.muted.begin(), view.muted.end(), group) != view.muted.end();
        if (ImGui::Checkbox("mute", &muted)) {
            actions.toggleMute = true;
            actions.group = group;
        }
        ImGui::SameLine();
        if (std::strcmp(group, "bloom") != 0 && ImGui::SmallButton("solo")) {
            actions.toggleSolo = true;
            actions.group = group;
        }
        ImGui::SameLine();
        ImGui::TextUnformatted(group);
        ImGui::PopID();
    }
}
