#include "audio/PlaybackClock.h"

#include <cmath>
#include <cstring>

namespace {

// A larger error than kResyncSeconds (a start, a long stall) re-anchors the
// clock outright; smaller ones are slewed out over kSlewSeconds, the rate
// moving by at most kMaxSlew of its nominal value.
constexpr double kSlewSeconds = 0.25;
constexpr double kMaxSlew = 0.1;
constexpr double kResyncSeconds = 0.1;

// A mark at the same timeline frame as the last one replaces it; when full,
// the oldest goes.
void pushMark(PlaybackClock& clock, const ClockMark& mark)
{
    if (clock.markCount > 0 && clock.marks[clock.markCount - 1].at == mark.at) {
        clock.marks[clock.markCount - 1] = mark;
        return;
    }
    if (clock.markCount == kClockMarks) {
        memmove(clock.marks, clock.marks + 1, sizeof(ClockMark) * (kClockMarks - 1));
        --clock.markCount;
    }
    clock.marks[clock.markCount++] = mark;
}

// Where the clock stands at `now`, before clamping.
double clockAt(const PlaybackClock& clock, uint64_t now)
{
    double elapsed = static_cast<double>(static_cast<int64_t>(now - clock.ticks));
    return clock.frames + elapsed * clock.rate;
}

uint64_t bitsOf(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

double doubleOf(uint64_t bits)
{
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

void clockSeek(PlaybackClock& clock, uint64_t position, uint64_t* reported)
{
    *reported = 0;
    clock.handed = 0;
    clock.cursor = position;
    clock.running = false;
    clock.markCount = 0;
    pushMark(clock, ClockMark{0, position, 0});
}

void clockSteer(PlaybackClock& clock, uint64_t now, uint64_t before, const ClockRate& pace)
{
    double nominal = pace.framesPerSecond / pace.ticksPerSecond;
    double target = static_cast<double>(before);
    if (!clock.running) {
        clock.running = true;
        clock.ticks = now;
        clock.frames = target;
        clock.rate = nominal;
        return;
    }
    double at = clockAt(clock, now);
    double error = target - at;
    if (std::fabs(error) > kResyncSeconds * pace.framesPerSecond) {
        // Reported positions stay, so a jump back only holds the clock.
        clock.frames = target;
        clock.rate = nominal;
    } else {
        // The rate learns from the whole error, but the clock restarts from
        // where it was held: a late callback means the output starved, and
        // what was not heard during the wait is still to come.
        double correction = error / (kSlewSeconds * pace.framesPerSecond);
        if (correction > kMaxSlew) {
            correction = kMaxSlew;
        } else if (correction < -kMaxSlew) {
            correction = -kMaxSlew;
        }
        clock.frames = at < target ? at : target;
        clock.rate = nominal * (1.0 + correction);
    }
    clock.ticks = now;
}

void clockWrap(PlaybackClock& clock, uint64_t start, uint64_t period)
{
    const ClockMark* last = clock.markCount > 0 ? &clock.marks[clock.markCount - 1] : nullptr;
    if (!last || last->period != period || last->position != start) {
        pushMark(clock, ClockMark{clock.handed, start, period});
    }
    clock.cursor = start;
}

void clockLoopChanged(PlaybackClock& clock)
{
    if (clock.markCount > 0 && clock.marks[clock.markCount - 1].period != 0) {
        pushMark(clock, ClockMark{clock.handed, clock.cursor, 0});
    }
}

void clockDropPassedMarks(PlaybackClock& clock)
{
    uint64_t heard = clock.frames <= 0.0 ? 0 : static_cast<uint64_t>(clock.frames);
    int passed = 0;
    while (passed + 1 < clock.markCount && clock.marks[passed + 1].at <= heard) {
        ++passed;
    }
    if (passed > 0) {
        memmove(clock.marks, clock.marks + passed, sizeof(ClockMark) * static_cast<size_t>(clock.markCount - passed));
        clock.markCount -= passed;
    }
}

uint64_t clockHeard(const PlaybackClock& clock, bool playing, uint64_t now, uint64_t* reported)
{
    if (playing && clock.running) {
        double at = clockAt(clock, now);
        uint64_t frames = at <= 0.0 ? 0 : static_cast<uint64_t>(at);
        if (frames > clock.handed) {
            frames = clock.handed;
        }
        if (frames > *reported) {
            *reported = frames;
        }
    }
    return *reported;
}

uint64_t clockPositionAt(const PlaybackClock& clock, uint64_t frame)
{
    for (int i = clock.markCount - 1; i >= 0; --i) {
        const ClockMark& mark = clock.marks[i];
        if (mark.at <= frame) {
            uint64_t since = frame - mark.at;
            return mark.position + (mark.period ? since % mark.period : since);
        }
    }
    // Only when marks came faster than kClockMarks allows: the oldest one left.
    return clock.markCount > 0 ? clock.marks[0].position : 0;
}

bool clockFinished(const PlaybackClock& clock, uint64_t heard)
{
    return clock.drained && heard >= clock.handed;
}

void PublishedClock::Store(const PlaybackClock& clock)
{
    uint32_t before = sequence.load(std::memory_order_relaxed);
    sequence.store(before + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    handed.store(clock.handed, std::memory_order_relaxed);
    cursor.store(clock.cursor, std::memory_order_relaxed);
    flags.store((clock.running ? 1u : 0u) | (clock.drained ? 2u : 0u), std::memory_order_relaxed);
    ticks.store(clock.ticks, std::memory_order_relaxed);
    frameBits.store(bitsOf(clock.frames), std::memory_order_relaxed);
    rateBits.store(bitsOf(clock.rate), std::memory_order_relaxed);
    markCount.store(static_cast<uint32_t>(clock.markCount), std::memory_order_relaxed);
    for (int i = 0; i < clock.markCount; ++i) {
        markAt[i].store(clock.marks[i].at, std::memory_order_relaxed);
        markPosition[i].store(clock.marks[i].position, std::memory_order_relaxed);
        markPeriod[i].store(clock.marks[i].period, std::memory_order_relaxed);
    }
    sequence.store(before + 2, std::memory_order_release);
}

PlaybackClock PublishedClock::Load() const
{
    PlaybackClock clock;
    for (;;) {
        uint32_t before = sequence.load(std::memory_order_acquire);
        clock.handed = handed.load(std::memory_order_relaxed);
        clock.cursor = cursor.load(std::memory_order_relaxed);
        uint32_t state = flags.load(std::memory_order_relaxed);
        clock.ticks = ticks.load(std::memory_order_relaxed);
        clock.frames = doubleOf(frameBits.load(std::memory_order_relaxed));
        clock.rate = doubleOf(rateBits.load(std::memory_order_relaxed));
        uint32_t count = markCount.load(std::memory_order_relaxed);
        clock.markCount = count < kClockMarks ? static_cast<int>(count) : kClockMarks;
        for (int i = 0; i < clock.markCount; ++i) {
            clock.marks[i].at = markAt[i].load(std::memory_order_relaxed);
            clock.marks[i].position = markPosition[i].load(std::memory_order_relaxed);
            clock.marks[i].period = markPeriod[i].load(std::memory_order_relaxed);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1u) == 0 && sequence.load(std::memory_order_relaxed) == before) {
            clock.running = (state & 1u) != 0;
            clock.drained = (state & 2u) != 0;
            return clock;
        }
    }
}
