// What the studio's overlay costs a frame: the status line, the timeline with
// the whole song's waveform and sections, the 53 track values, three track
// curves and the key panel of the first (keys around the playhead with their
// lines in the choreography text), drawn over a 1280x720 4x window. The CPU figure is the main
// thread's: our code, Dear ImGui and the GL calls, with llvmpipe's vertex
// work on the small draw lists included (its rasteriser runs on threads of its
// own). Mesa's no-op driver (GALLIUM_NOOP=1) crashes in ImGui's draw path, so
// this runs on the real driver.

#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <cstdio>

#include "Overlay.h"
#include "SongMap.h"
#include "Soundtrack.h"
#include "Workspace.h"
#include "engine/Engine.h"
#include "scene/Production.h"
#include "sync/Timeline.h"
#include "support/TestSupport.h"

namespace {

Engine* engine = nullptr;
Overlay overlay;
OverlayView view;
Workspace workspace;
std::vector<Section> sections;
std::vector<float> peaks;
float seconds = 50.0f;

void Frame(bool withOverlay)
{
    engine->RenderFrameAt(seconds);
    if (withOverlay) {
        view.row = seconds * kProductionRowsPerSecond;
        view.seconds = seconds;
        overlay.Draw(view);
    }
    glFinish();
    seconds += 1.0f / 60.0f;
    if (seconds > 150.0f) seconds = 50.0f;
}

void BM_ProductionFrame(benchmark::State& state)
{
    for (auto _ : state) Frame(false);
}
BENCHMARK(BM_ProductionFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ProductionFrameWithOverlay(benchmark::State& state)
{
    for (auto _ : state) Frame(true);
}
BENCHMARK(BM_ProductionFrameWithOverlay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OverlayAlone(benchmark::State& state)
{
    for (auto _ : state) {
        overlay.Draw(view);
        glFinish();
    }
}
BENCHMARK(BM_OverlayAlone)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// Only the CPU half: Dear ImGui laying out the widgets, our code filling them.
void BM_OverlayBuild(benchmark::State& state)
{
    for (auto _ : state) overlay.Build(view);
}
BENCHMARK(BM_OverlayBuild)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The build's own res/, read in place.
    TempLayout layout;
    TestEngine testEngine;
    if (!testEngine.Init(1280, 720, 4)) {
        std::fprintf(stderr, "studio_overlay: cannot bring up the window\n");
        return 1;
    }
    engine = &testEngine.Get();
    engine->GetAudioDevice().SetTempo(kProductionTempo);
    if (!engine->GetScene().Init()) {
        std::fprintf(stderr, "studio_overlay: cannot initialise the scene\n");
        return 1;
    }
    PopulateScene(engine->GetScene());
    Window& window = engine->GetWindow();
    std::string error;
    if (!overlay.Init(window.GetHandle(), window.GetContext()) ||
        !ReadSongMap(OSTREL_SOURCE_DIR "/choreography/SECTIONS.md", &sections, &error) ||
        !SoundtrackPeaks("../res/audio/melody.mp3", 44100.0 / (kProductionRowsPerSecond * 2), &peaks)) {
        std::fprintf(stderr, "studio_overlay: cannot set up the overlay %s\n", error.c_str());
        return 1;
    }
    view.lastRow = 4608.0;
    view.playing = true;
    view.loop = Loop{true, 1024, 1152};
    view.fps = 60.0f;
    view.frameMs = 16.7f;
    view.sections = &sections;
    view.peaks = &peaks;
    view.peaksPerRow = 2;
    view.sync = &engine->GetSyncDevice();
    view.trackSource = "choreography text";
    StudioOptions options;
    options.tracksDir = OSTREL_SOURCE_DIR "/choreography";
    options.sourceDir = layout.Root();
    workspace.Open(options, engine->GetSyncDevice(), engine->GetScene());
    if (workspace.LiveTracks().empty()) {
        std::fprintf(stderr, "studio_overlay: the choreography did not compile\n");
        return 1;
    }
    view.workspace = &workspace;
    overlay.selected = {"Camera.Distance", "FX.Exposure", "Grid.NoiseMagnitude"};
    for (int i = 0; i < 3; ++i) Frame(true);
    std::fprintf(stderr, "renderer: %s\n", (const char*)glGetString(GL_RENDERER));
    benchmark::RunSpecifiedBenchmarks();
    overlay.Shutdown();
    workspace.Close();
    engine->GetScene().Shutdown();
    testEngine.Shutdown();
    benchmark::Shutdown();
    return 0;
}
