// Track queries as one frame makes them: every name looked up again, 53
// tracks loaded, the needle and flake groups read by each of their 512
// instances.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "audio/AudioDevice.h"
#include "support/TestSupport.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackNames.h"

namespace {

enum class Getter { Bool, Float, Int };

struct Query {
    Getter getter;
    const char* name;
};

std::vector<Query> frameQueries()
{
    std::vector<Query> q;
    q.push_back({Getter::Int, "Camera.Mode"});
    for (const char* name : {"Camera.X", "Camera.Y", "Camera.Z", "Focus.X", "Focus.Y", "Focus.Z", "Camera.Distance",
                             "Camera.Pitch", "Camera.Yaw", "Camera.Roll", "Ring1.Progress", "Ring1.Rotation",
                             "Ring2.Progress", "Ring2.Rotation"})
        q.push_back({Getter::Float, name});
    q.push_back({Getter::Bool, "Cube.Visible"});
    for (int i = 0; i < 8; ++i) {
        q.push_back({Getter::Float, "Cube.Z"});
        q.push_back({Getter::Float, "Cube.Scale"});
    }
    q.push_back({Getter::Bool, "Grid.Visible"});
    for (const char* name : {"Grid.Noise1", "Grid.Noise2", "Grid.Noise3", "Grid.Noise4", "Grid.NoiseMagnitude",
                             "Grid.NoiseScrollX", "Grid.NoiseScrollY", "Grid.CenterGravity"})
        q.push_back({Getter::Float, name});
    for (int i = 0; i < 512; ++i) {
        q.push_back({Getter::Bool, "Needles.Visible"});
        for (const char* name : {"Needles.Z", "Needles.Y", "Needles.X", "Needles.Time", "Needles.Fade"})
            q.push_back({Getter::Float, name});
        q.push_back({Getter::Bool, "Flakes.Visible"});
        for (const char* name : {"Flakes.Z", "Flakes.Y", "Flakes.X", "Flakes.Time", "Flakes.Fade"})
            q.push_back({Getter::Float, name});
    }
    q.push_back({Getter::Bool, "FX.EnableBloom"});
    q.push_back({Getter::Bool, "FX.RenderDepth"});
    for (const char* name : {"FX.HighPassCutoff", "FX.BlurMagnitude", "FX.Fade", "FX.BloomDry", "FX.BloomWet",
                             "FX.Exposure", "FX.Flash", "FX.Vignette", "FX.BG_R", "FX.BG_G", "FX.BG_B", "FX.BG_A"})
        q.push_back({Getter::Float, name});
    return q;
}

// 53 tracks of 48 keys each over the song's 4,096 rows, every kind of interval.
struct LoadedDevice {
    TempLayout layout{false, true};
    AudioDevice audio;
    SyncDevice sync;

    LoadedDevice()
    {
        for (int n = 0; n < SYNC_TRACK_NAME_COUNT; ++n) {
            std::vector<TrackKey> keys;
            for (int k = 0; k < 48; ++k)
                keys.push_back({k * 85 + n % 7, (float)((k * 37 + n) % 11) * 0.25f, (int8_t)(k % 4)});
            WriteTrack(layout, syncTrackNames[n], keys);
        }
        audio.SetTempo(110.0f);
        sync.Init(&audio);
    }
    ~LoadedDevice() { sync.Destroy(); }
};

float runQuery(SyncDevice& sync, const Query& q)
{
    switch (q.getter) {
    case Getter::Bool: return sync.GetBool(q.name) ? 1.0f : 0.0f;
    case Getter::Int: return (float)sync.GetInt(q.name);
    default: return sync.GetFloat(q.name);
    }
}

void BM_FrameOfQueries(benchmark::State& state)
{
    LoadedDevice device;
    const std::vector<Query> queries = frameQueries();
    float seconds = 0.0f;
    for (const Query& q : queries)  // the first frame reads the files
        runQuery(device.sync, q);
    for (auto _ : state) {
        device.sync.UpdateAt(seconds);
        seconds += 1.0f / 60.0f;
        if (seconds > 139.0f)
            seconds = 0.0f;
        float sum = 0.0f;
        for (const Query& q : queries)
            sum += runQuery(device.sync, q);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["queries/frame"] = (double)queries.size();
    state.counters["time/query"] = benchmark::Counter((double)state.iterations() * (double)queries.size(),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FrameOfQueries)->Unit(benchmark::kMicrosecond);

// One GetFloat by the n-th name in request order: the cost of the name search.
void BM_GetFloatByPosition(benchmark::State& state)
{
    LoadedDevice device;
    for (const char* name : syncTrackNames)
        device.sync.GetFloat(name);
    const char* name = syncTrackNames[state.range(0)];
    device.sync.SetRow(1000.5f);
    for (auto _ : state)
        benchmark::DoNotOptimize(device.sync.GetFloat(name));
    state.SetLabel(name);
}
BENCHMARK(BM_GetFloatByPosition)->Arg(0)->Arg(26)->Arg(52);

}  // namespace

BENCHMARK_MAIN();
