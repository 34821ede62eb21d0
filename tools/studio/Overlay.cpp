#include "Overlay.h"

#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sync/SyncDevice.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

namespace {

const float kTimelineHeight = 96.0f;
const float kPanelWidth = 330.0f;
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
    switch (event.type) {
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL: return io.WantCaptureMouse;
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
    if (!view.message.empty()) ImGui::TextWrapped("%s", view.message.c_str());
    ImGui::End();

    if (!view.errors.empty()) {
        ImGui::SetNextWindowPos(ImVec2(8, display.y * 0.35f), ImGuiCond_Always);
        ImGui::SetNextWindowSize(ImVec2(display.x - kPanelWidth - 24, 0), ImGuiCond_Always);
        ImGui::SetNextWindowBgAlpha(0.85f);
        ImGui::Begin("Errors: the last good version keeps playing", nullptr,
                     kFixedWindow | ImGuiWindowFlags_AlwaysAutoResize);
        ImGui::PushStyleColor(ImGuiCol_Text, IM_COL32(255, 110, 110, 255));
        for (const std::string& line : view.errors) ImGui::TextWrapped("%s", line.c_str());
        ImGui::PopStyleColor();
        ImGui::End();
    }

    DrawTracks(view);
    DrawTimeline(view, actions);

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

void Overlay::DrawTracks(const OverlayView& view)
{
    if (view.sync == nullptr) return;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(display.x - kPanelWidth - 8, 8));
    ImGui::SetNextWindowSize(ImVec2(kPanelWidth, display.y - kTimelineHeight - 16));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("Tracks", nullptr, kFixedWindow);
    SyncTrackStore* store = view.sync->GetStore();

    // The curves of the selected tracks first, so they stay in view.
    for (const std::string& name : selected) {
        SyncTrack* track = store ? syncStoreGetTrack(store, name.c_str()) : nullptr;
        ImGui::TextUnformatted(name.c_str());
        const ImVec2 origin = ImGui::GetCursorScreenPos();
        const float width = ImGui::GetContentRegionAvail().x;
        ImGui::Dummy(ImVec2(width, kCurveHeight));
        if (track == nullptr || width < 4.0f) continue;
        const double from = view.row - kCurveHalfSpan;
        const double span = 2.0 * kCurveHalfSpan;
        const int columns = (int)width;
        std::vector<float> values((size_t)columns + 1);
        float lo = INFINITY, hi = -INFINITY;
        for (int x = 0; x <= columns; ++x) {
            float v = (float)syncTrackValue(track, from + span * x / columns);
            values[(size_t)x] = v;
            if (std::isfinite(v)) {
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
        }
        if (!(hi >= lo)) lo = hi = 0.0f;
        if (hi - lo < 1e-6f) {
            lo -= 0.5f;
            hi += 0.5f;
        }
        auto yOf = [&](float v) { return origin.y + kCurveHeight - 4 - (v - lo) / (hi - lo) * (kCurveHeight - 8); };
        ImDrawList* draw = ImGui::GetWindowDrawList();
        draw->AddRectFilled(origin, ImVec2(origin.x + width, origin.y + kCurveHeight), IM_COL32(20, 20, 30, 160));
        for (double bar = std::ceil(from / kStudioRowsPerBar) * kStudioRowsPerBar; bar < from + span;
             bar += kStudioRowsPerBar) {
            float x = origin.x + (float)((bar - from) / span) * width;
            draw->AddLine(ImVec2(x, origin.y), ImVec2(x, origin.y + kCurveHeight), IM_COL32(90, 90, 110, 160));
        }
        std::vector<ImVec2> points;
        points.reserve(values.size());
        for (int x = 0; x <= columns; ++x)
            if (std::isfinite(values[(size_t)x])) points.push_back(ImVec2(origin.x + x, yOf(values[(size_t)x])));
        if (points.size() > 1) draw->AddPolyline(points.data(), (int)points.size(), kCurveColour, 0, 1.5f);
        for (int32_t k = 0; k < track->keyCount; ++k) {
            const SyncKey& key = track->keys[k];
            if (key.row < from || key.row > from + span || !std::isfinite(key.value)) continue;
            draw->AddCircleFilled(ImVec2(origin.x + (float)((key.row - from) / span) * width, yOf(key.value)), 3.0f,
                                  kKeyColour);
        }
        float playhead = origin.x + width * 0.5f;
        draw->AddLine(ImVec2(playhead, origin.y), ImVec2(playhead, origin.y + kCurveHeight), kPlayheadColour);
        char range[64];
        std::snprintf(range, sizeof range, "%.3g .. %.3g", lo, hi);
        draw->AddText(ImVec2(origin.x + 2, origin.y + 1), IM_COL32(200, 200, 200, 200), range);
    }
    if (!selected.empty()) ImGui::Separator();

    // The tracks by group (in the order groups first appear), each with its
    // value at the playhead.
    std::vector<std::string> groups;
    for (int i = 0; i < SYNC_TRACK_NAME_COUNT; ++i) {
        const char* dot = std::strchr(syncTrackNames[i], '.');
        std::string group(syncTrackNames[i], dot ? (size_t)(dot - syncTrackNames[i]) : 0);
        if (std::find(groups.begin(), groups.end(), group) == groups.end()) groups.push_back(group);
    }
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
            ImGui::SameLine(170);
            ImGui::Text("%10.4f", view.sync->GetFloat(name));
        }
    }
    ImGui::End();
}
