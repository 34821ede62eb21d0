// How smooth and how true the music position is as the frame loop sees it:
// the cost of one position read, and over 10 s of playback read at 60 Hz and
// as fast as possible, the largest step between consecutive reads, how far a
// step ran ahead of the wall time it could have spanned (a jump) or fell
// behind it (a hold), and the drift against the wall clock, beside the output
// device's own drift (the dummy and disk drivers keep time only as well as
// their whole-millisecond sleeps).
//
// SDL_AUDIODRIVER picks the output (dummy when unset).

#include <benchmark/benchmark.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "audio/AudioBackend.h"
#include "support/TestSupport.h"

namespace {

constexpr double kBytesPerSecond = 44100.0 * 4.0;

double Now()
{
    return static_cast<double>(SDL_GetPerformanceCounter()) / static_cast<double>(SDL_GetPerformanceFrequency());
}

// The 10 s test tone, open and playing; 0 when the output failed.
uint32_t StartTone()
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 || !audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr) ||
        !audioSetConfig(kAudioConfigUpdatePeriod, 16)) {
        return 0;
    }
    uint32_t stream = audioStreamCreateFile(false, TestData("tone-10s.mp3").c_str(), 0, 0, kAudioStreamPrescan);
    if (stream == 0 || !audioChannelPlay(stream, false)) {
        return 0;
    }
    return stream;
}

void StopTone()
{
    audioFree();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void BM_PositionRead(benchmark::State& state)
{
    uint32_t stream = StartTone();
    if (stream == 0) {
        state.SkipWithError("no audio output");
        return;
    }
    for (auto _ : state) {
        uint64_t bytes = audioChannelGetPosition(stream, kAudioPosByte);
        benchmark::DoNotOptimize(audioChannelBytes2Seconds(stream, bytes));
    }
    StopTone();
}
BENCHMARK(BM_PositionRead);

// Arg: reads per second, 0 for as fast as possible.
void BM_ClockSmoothness(benchmark::State& state)
{
    const double period = state.range(0) > 0 ? 1.0 / static_cast<double>(state.range(0)) : 0.0;
    for (auto _ : state) {
        uint32_t stream = StartTone();
        if (stream == 0) {
            state.SkipWithError("no audio output");
            return;
        }
        double start = Now();
        double next = start;
        double lastBefore = 0.0;
        double lastAfter = 0.0;
        double lastPosition = 0.0;
        double firstLag = -1.0;
        double firstDeviceLag = -1.0;
        double lag = 0.0;
        double deviceLag = 0.0;
        double largestStep = 0.0;
        double worstJump = 0.0;
        double worstHold = 0.0;
        double largestTrail = 0.0;
        int64_t reads = 0;
        bool backwards = false;
        while (audioChannelIsActive(stream) == kAudioActivePlaying && Now() - start < 12.0) {
            if (period > 0.0) {
                next += period;
                // Sleep most of the wait, then spin: the frame loop's swap is as punctual.
                while (Now() < next - 0.002) {
                    SDL_Delay(1);
                }
                while (Now() < next) {
                }
            }
            // The wall clock on both sides of the read bounds when it happened.
            double before = Now() - start;
            double handed = audioChannelGetPosition(stream, kAudioPosByte | kAudioPosDecode) / kBytesPerSecond;
            double position = audioChannelBytes2Seconds(stream, audioChannelGetPosition(stream, kAudioPosByte));
            double after = Now() - start;
            ++reads;
            if (position < lastPosition) {
                backwards = true;
            }
            if (position > 0.0 && position < 10.0) {
                if (lastPosition > 0.0) {
                    double step = position - lastPosition;
                    largestStep = std::max(largestStep, step);
                    worstJump = std::max(worstJump, step - (after - lastBefore));
                    worstHold = std::max(worstHold, (before - lastAfter) - step);
                }
                lag = (before + after) / 2 - position;
                deviceLag = before - handed;
                if (firstLag < 0.0) {
                    firstLag = lag;
                    firstDeviceLag = deviceLag;
                }
                largestTrail = std::max(largestTrail, handed - position);
            }
            lastBefore = before;
            lastAfter = after;
            lastPosition = position;
        }
        StopTone();
        if (backwards) {
            state.SkipWithError("the position went backwards");
            return;
        }
        state.counters["reads"] = static_cast<double>(reads);
        state.counters["largest_step_ms"] = largestStep * 1e3;
        state.counters["worst_jump_ms"] = worstJump * 1e3;
        state.counters["worst_hold_ms"] = worstHold * 1e3;
        state.counters["drift_vs_wall_ms"] = (firstLag - lag) * 1e3;
        state.counters["device_drift_vs_wall_ms"] = (firstDeviceLag - deviceLag) * 1e3;
        state.counters["largest_trail_ms"] = largestTrail * 1e3;
    }
}
BENCHMARK(BM_ClockSmoothness)->Arg(60)->Arg(0)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
