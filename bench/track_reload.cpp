// What a maker waits for between saving the choreography and seeing it: the
// three track sources compiled in-process, a store built from them and swapped
// into a running sync device, the old store destroyed. Beside it, the reload
// of the 53 compiled files. Both must fit well inside a frame or two.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "TrackFormat.h"
#include "support/TestSupport.h"
#include "sync/SyncDevice.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

namespace {

const std::string kSource = OSTREL_SOURCE_DIR;

std::vector<std::string> choreographySources()
{
    std::vector<std::string> paths;
    for (const char* name : {"camera", "objects", "fx"})
        paths.push_back(kSource + "/choreography/" + name + ".tracks");
    return paths;
}

size_t keyCount(const std::vector<TrackSource>& tracks)
{
    size_t keys = 0;
    for (const TrackSource& track : tracks)
        keys += track.keys.size();
    return keys;
}

// Swaps the store in, frees the one it replaces and reads one value, so a
// store that answers nothing cannot pass for a fast one.
bool swapIn(SyncDevice& sync, SyncTrackStore* store)
{
    if (!store)
        return false;
    syncStoreDestroy(sync.SwapStore(store));
    benchmark::DoNotOptimize(sync.GetFloat("Camera.Distance"));
    return true;
}

void BM_RecompileAndSwap(benchmark::State& state)
{
    const std::vector<std::string> sources = choreographySources();
    SyncDevice sync;
    sync.SetRow(1024.5f);
    std::vector<TrackSource> tracks;
    for (auto _ : state) {
        std::vector<std::string> errors;
        if (!compileTrackSources(sources, false, &tracks, &errors)) {
            state.SkipWithError("the choreography does not compile");
            break;
        }
        // The production's names all come from the text; none is left to a file.
        if (!swapIn(sync, buildStoreFromTracks(tracks, "/nonexistent/"))) {
            state.SkipWithError("no store");
            break;
        }
    }
    sync.Destroy();
    state.counters["tracks"] = (double)tracks.size();
    state.counters["keys"] = (double)keyCount(tracks);
}
BENCHMARK(BM_RecompileAndSwap)->Unit(benchmark::kMillisecond);

void BM_ReloadFilesAndSwap(benchmark::State& state)
{
    const std::string base = kSource + "/res/sync/";
    SyncDevice sync;
    sync.SetRow(1024.5f);
    for (auto _ : state) {
        SyncTrackStore* store = syncStoreCreate(base.c_str());
        if (store && syncStoreLoadAll(store, syncTrackNames, SYNC_TRACK_NAME_COUNT) != 0) {
            syncStoreDestroy(store);
            store = nullptr;
        }
        if (!swapIn(sync, store)) {
            state.SkipWithError("no store");
            break;
        }
    }
    sync.Destroy();
}
BENCHMARK(BM_ReloadFilesAndSwap)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
