// Capture throughput: ostrel-capture rendering the production at 1920x1080
// with 4 samples from 20 s on, with the frames thrown away (the renderer and
// the read-back alone), written as PNG files, and encoded into an MP4. The
// figure is the capture's own count of frames per second over its render
// loop, so start-up and shut-down are left out. The 96 frames outlast the
// encoder's lookahead (x264's "medium" holds 40 frames before it writes), so
// its work falls inside the loop as it does in a long capture; two rounds of
// each, averaged, because a shared machine moves single rounds by a tenth.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace {

const int kFrames = 96;

void BM_CaptureThroughput(benchmark::State& state)
{
    char pattern[] = "/tmp/ostrel-bench-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) {
        state.SkipWithError("no temporary directory");
        return;
    }
    std::string output;
    switch (state.range(0)) {
    case 0: output = "/dev/null"; state.SetLabel("discard"); break;
    case 1: output = std::string(dir) + "/frames"; state.SetLabel("png"); break;
    default: output = std::string(dir) + "/out.mp4"; state.SetLabel("mp4"); break;
    }

    double frames = 0.0, seconds = 0.0;
    for (auto _ : state) {
        ProcessResult r = RunProcess({std::string(OSTREL_BIN_DIR) + "/ostrel-capture", "--quiet", "--like",
                                      "ostrel-1920x1080-4x", "--from", "20s", "--frames", std::to_string(kFrames),
                                      "-o", output},
                                     OSTREL_BIN_DIR, {"SDL_AUDIODRIVER=dummy"}, 600.0);
        // "ostrel-capture: 96 frames (1200 to 1295) in 16.56 s, 5.80 frames/s -> ..."
        size_t at = r.output.rfind("ostrel-capture: ");
        long done = 0, first = 0, last = 0;
        double loop = 0.0, fps = 0.0;
        if (r.exitCode != 0 || at == std::string::npos ||
            std::sscanf(r.output.c_str() + at, "ostrel-capture: %ld frames (%ld to %ld) in %lf s, %lf", &done, &first,
                        &last, &loop, &fps) != 5 ||
            loop <= 0.0) {
            state.SkipWithError(("ostrel-capture failed: " + r.output.substr(r.output.size() > 400 ? r.output.size() - 400 : 0))
                                    .c_str());
            break;
        }
        state.SetIterationTime(loop / (double)done);
        frames += (double)done;
        seconds += loop;
    }
    if (seconds > 0.0) state.counters["frames_per_second"] = frames / seconds;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CaptureThroughput)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(2)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
