// Cost of one scene frame: the 1028 production objects, every kind visible,
// bloom on, drawn into a 1600x900 4x window. Run with GALLIUM_NOOP=1 to leave
// only our CPU time and the GL API's; under llvmpipe the frame is rasterised
// as well (glFinish waits for it).

#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <cstdio>
#include <utility>

#include "engine/Engine.h"
#include "scene/Production.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"

namespace {

Scene* scene = nullptr;

bool WriteTracks(const TempLayout& layout)
{
    const std::pair<const char*, float> tracks[] = {
        {"Camera.Mode", 1.0f},       {"Camera.Distance", 140.0f}, {"Camera.Pitch", 20.0f},
        {"Camera.Yaw", 30.0f},       {"Grid.Visible", 1.0f},      {"Grid.Noise1", 1.0f},
        {"Grid.Noise2", 0.5f},       {"Grid.NoiseMagnitude", 20.0f}, {"Cube.Visible", 1.0f},
        {"Cube.Scale", 10.0f},       {"Flakes.Visible", 1.0f},    {"Flakes.Fade", 1.0f},
        {"Flakes.Time", 4.0f},       {"Needles.Visible", 1.0f},   {"Needles.Fade", 1.0f},
        {"Needles.Time", 4.0f},      {"Ring1.Progress", 1.0f},    {"Ring2.Progress", 1.0f},
        {"FX.EnableBloom", 1.0f},    {"FX.BloomDry", 1.0f},       {"FX.BloomWet", 1.0f},
        {"FX.Exposure", 1.0f},       {"FX.HighPassCutoff", 0.5f}, {"FX.BlurMagnitude", 1.0f},
        {"FX.Fade", 1.0f},
    };
    layout.ClearTracks();
    for (const auto& [name, value] : tracks) {
        if (!WriteConstantTrack(layout, name, value)) return false;
    }
    return true;
}

void BM_SceneRender(benchmark::State& state)
{
    float seconds = 0.0f;
    for (auto _ : state) {
        scene->Render(seconds);
        glFinish();
        seconds += 1.0f / 60.0f;
    }
    state.counters["objects"] = (double)scene->objects.size();
}
BENCHMARK(BM_SceneRender)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TempLayout layout;
    TestEngine engine;
    if (!WriteTracks(layout) || !engine.Init(1600, 900, 4)) {
        std::fprintf(stderr, "scene_render: cannot bring up the window\n");
        return 1;
    }
    scene = &engine.Get().GetScene();
    if (!scene->Init()) {
        std::fprintf(stderr, "scene_render: cannot initialise the scene\n");
        return 1;
    }
    PopulateScene(*scene);
    // llvmpipe compiles its shader variants on first use; keep that out of the timing.
    for (int i = 0; i < 3; ++i) {
        scene->Render(0.0f);
        glFinish();
    }
    std::fprintf(stderr, "renderer: %s\n", (const char*)glGetString(GL_RENDERER));
    benchmark::RunSpecifiedBenchmarks();
    scene->Shutdown();
    engine.Shutdown();
    benchmark::Shutdown();
    return 0;
}
