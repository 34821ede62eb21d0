#pragma once

#include <atomic>
#include <cstdint>

// The playback clock: which frame of a stream is being heard at a moment, from
// what was handed to the output device and when. Plain arithmetic: times are
// counter ticks and positions are frames at the device rate, all passed in.
//
// Frames count on a timeline that starts at 0 at each seek and grows by every
// frame handed to the device. The audio thread steers the clock at each
// callback (clockSteer); the main thread reads a published copy without a lock
// (PublishedClock) and turns the moment into a timeline frame (clockHeard) and
// that into a stream position (clockPositionAt).

// From timeline frame `at` on, the stream stands at `position` plus the frames
// since, wrapped into `period` frames while a loop repeats unchanged (0: no
// wrap). A new mark starts at each seek, at the first wrap of a loop and where
// a repeating loop is changed or cleared.
struct ClockMark {
    uint64_t at = 0;
    uint64_t position = 0;
    uint64_t period = 0;
};

// Marks the heard position may still need: it trails the frames handed by
// about a device buffer, and each buffer adds at most two marks.
constexpr int kClockMarks = 8;

// The device's pace: frames per second, and counter ticks per second.
struct ClockRate {
    double framesPerSecond = 44100.0;
    double ticksPerSecond = 1.0;
};

struct PlaybackClock {
    uint64_t handed = 0;   // timeline frames handed to the device since the last seek
    uint64_t cursor = 0;   // the stream position of the next frame to hand
    bool drained = false;  // no frame follows `handed`: the music has ended

    // heard(t) = frames + (t - ticks) * rate, never beyond `handed`.
    bool running = false;
    uint64_t ticks = 0;
    double frames = 0.0;
    double rate = 0.0;  // frames per tick

    int markCount = 0;  // at least 1 once seeked: the mark of the last seek
    ClockMark marks[kClockMarks];
};

// A seek: the next frame handed is stream frame `position`, heard as such from
// timeline frame 0, which the reader's `reported` (see clockHeard) starts
// from. The clock waits for the next callback to run again.
void clockSeek(PlaybackClock& clock, uint64_t position, uint64_t* reported);

// Called once per callback in which frames were handed: the first of them,
// timeline frame `before`, starts being heard at `now`. The rate slews towards
// the frames handed rather than jumping, so that the position stays smooth when
// callbacks come unevenly; after a stall the clock goes on from what was heard.
void clockSteer(PlaybackClock& clock, uint64_t now, uint64_t before, const ClockRate& pace);

// The loop wrapped to stream frame `start` after `handed`; later rounds of an
// unchanged loop of `period` frames need no mark of their own.
void clockWrap(PlaybackClock& clock, uint64_t start, uint64_t period);

// The loop changed or was cleared: a repeating loop's mark stops holding at
// the frame handed next.
void clockLoopChanged(PlaybackClock& clock);

// Drops marks the heard position has passed for good (never read again:
// readers never ask for a frame before the clock's anchor).
void clockDropPassedMarks(PlaybackClock& clock);

// The timeline frame heard at `now` while `playing`. `reported` holds the
// reader's last answer: the heard frame never goes backwards between seeks.
uint64_t clockHeard(const PlaybackClock& clock, bool playing, uint64_t now, uint64_t* reported);

// The stream position at timeline frame `frame`.
uint64_t clockPositionAt(const PlaybackClock& clock, uint64_t frame);

// True once the last frame of the music has been heard.
bool clockFinished(const PlaybackClock& clock, uint64_t heard);

// A copy of the clock that the main thread reads without the device lock, so
// that polling the position flat out never holds up the audio thread. Whoever
// changes the clock (under the lock) stores it; readers retry while the
// sequence count is odd or moved under them.
class PublishedClock {
public:
    void Store(const PlaybackClock& clock);
    PlaybackClock Load() const;

private:
    std::atomic<uint32_t> sequence{0};
    std::atomic<uint64_t> handed{0};
    std::atomic<uint64_t> cursor{0};
    std::atomic<uint32_t> flags{0};
    std::atomic<uint64_t> ticks{0};
    std::atomic<uint64_t> frameBits{0};
    std::atomic<uint64_t> rateBits{0};
    std::atomic<uint32_t> markCount{0};
    std::atomic<uint64_t> markAt[kClockMarks] = {};
    std::atomic<uint64_t> markPosition[kClockMarks] = {};
    std::atomic<uint64_t> markPeriod[kClockMarks] = {};
};
