#include "audio/AudioBackend.h"

#include "engine/FileAccess.h"

#include <SDL.h>
#include <mpg123.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 4;  // 16-bit stereo
constexpr int kMaxStreams = 8;
constexpr size_t kDecodeChunk = 8192;

// The playback clock follows the frames handed to the device, slewing its rate
// towards them rather than jumping at each callback, so the position stays
// smooth when callbacks arrive unevenly. A larger error than kResyncSeconds
// (a start, a stall) re-anchors it outright.
constexpr double kSlewSeconds = 0.25;
constexpr double kMaxSlew = 0.1;
constexpr double kResyncSeconds = 0.1;

// From timeline frame `at` on (frames handed since the last seek), the stream
// stands at `position` plus the frames since, wrapped into `period` frames
// while a loop repeats unchanged. A new mark starts at each seek, at the first
// wrap of a loop and where a repeating loop is changed or cleared.
struct Mark {
    uint64_t at = 0;
    uint64_t position = 0;
    uint64_t period = 0;  // 0: no wrap
};

// Marks the heard position may still need: it trails the frames handed by
// about a device buffer, and each buffer adds at most two marks.
constexpr int kMaxMarks = 8;

// The compressed file in memory, read by the decoder through its own cursor.
struct MemoryReader {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

// The clock as the main thread reads it.
struct ClockView {
    uint64_t handed = 0;
    uint64_t cursor = 0;
    uint64_t ticks = 0;
    double frames = 0.0;
    double rate = 0.0;
    bool running = false;
    bool drained = false;
    int markCount = 0;
    Mark marks[kMaxMarks];
};

// A copy of the clock that the main thread reads without the device lock, so
// that polling the position flat out never holds up the audio thread. Whoever
// changes the clock (under the lock) publishes it; readers retry while the
// sequence count is odd or moved under them.
struct PublishedClock {
    std::atomic<uint32_t> sequence{0};
    std::atomic<uint64_t> handed{0};
    std::atomic<uint64_t> ticks{0};
    std::atomic<uint64_t> frameBits{0};
    std::atomic<uint64_t> rateBits{0};
    std::atomic<uint32_t> flags{0};
    std::atomic<uint64_t> cursor{0};
    std::atomic<uint32_t> markCount{0};
    std::atomic<uint64_t> markAt[kMaxMarks] = {};
    std::atomic<uint64_t> markPosition[kMaxMarks] = {};
    std::atomic<uint64_t> markPeriod[kMaxMarks] = {};
};

struct Stream {
    uint32_t handle = 0;
    mpg123_handle* decoder = nullptr;
    SDL_AudioStream* converter = nullptr;  // decoder rate -> device rate
    unsigned char* data = nullptr;         // the whole compressed file
    size_t size = 0;
    MemoryReader reader;

    // Shared with the audio thread and touched by either only under the device
    // lock, except that the main thread reads `playing`, which only it writes.
    bool playing = false;
    bool decodeEnded = false;
    bool drained = false;  // decodeEnded and every frame handed to the device
    uint64_t handed = 0;   // frames handed to the device since the last seek: the clock's timeline
    uint64_t cursor = 0;   // the stream position of the next frame to hand
    uint64_t decoded = 0;  // the decoder's position, at its own rate
    uint64_t length = 0;   // frames at the device rate: from the scan, exact once decoding ends
    int rate = 0;          // the decoder's rate
    uint64_t loopStart = 0;
    uint64_t loopEnd = 0;  // 0: no loop
    int markCount = 0;     // at least 1: the mark of the last seek
    Mark marks[kMaxMarks];

    // The clock, on the timeline: heard(t) = clockFrames + (t - clockTicks) *
    // clockRate, never beyond `handed`, never below `reported`.
    bool clockRunning = false;
    uint64_t clockTicks = 0;
    double clockFrames = 0.0;
    double clockRate = 0.0;  // frames per performance-counter tick
    PublishedClock published;

    uint64_t reported = 0;  // timeline frames heard so far; main thread only

    int16_t decodeBuffer[kDecodeChunk / sizeof(int16_t)];
};

struct Backend {
    bool open = false;
    SDL_AudioDeviceID device = 0;
    int deviceIndex = kAudioDefaultDevice;
    int frequency = 44100;
    uint32_t updatePeriodMs = 16;
    int bufferFrames = 0;
    double ticksPerSecond = 1.0;
    bool started = false;
    Stream* streams[kMaxStreams] = {};
    uint32_t serial = 0;
    int32_t* mix = nullptr;    // bufferFrames * kChannels
    int16_t* pulled = nullptr; // bufferFrames * kChannels
    int lastError = kAudioOk;
};

Backend backend;

bool fail(int code)
{
    backend.lastError = code;
    return false;
}

bool succeed()
{
    backend.lastError = kAudioOk;
    return true;
}

mpg123_ssize_t readMemory(void* handle, void* buffer, size_t bytes)
{
    MemoryReader* r = static_cast<MemoryReader*>(handle);
    size_t left = r->size - r->pos;
    size_t n = bytes < left ? bytes : left;
    memcpy(buffer, r->data + r->pos, n);
    r->pos += n;
    return static_cast<mpg123_ssize_t>(n);
}

off_t seekMemory(void* handle, off_t offset, int whence)
{
    MemoryReader* r = static_cast<MemoryReader*>(handle);
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<off_t>(r->pos);
    } else if (whence == SEEK_END) {
        base = static_cast<off_t>(r->size);
    } else if (whence != SEEK_SET) {
        return -1;
    }
    off_t target = base + offset;
    if (target < 0 || target > static_cast<off_t>(r->size)) {
        return -1;
    }
    r->pos = static_cast<size_t>(target);
    return target;
}

Stream* findStream(uint32_t handle)
{
    if (handle == 0) {
        return nullptr;
    }
    for (Stream* s : backend.streams) {
        if (s && s->handle == handle) {
            return s;
        }
    }
    return nullptr;
}

void destroyStream(Stream* s)
{
    if (s->decoder) {
        mpg123_delete(s->decoder);
    }
    if (s->converter) {
        SDL_FreeAudioStream(s->converter);
    }
    free(s->data);
    delete s;
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

// Under the device lock.
ClockView viewOf(const Stream* s)
{
    ClockView view;
    view.handed = s->handed;
    view.ticks = s->clockTicks;
    view.frames = s->clockFrames;
    view.rate = s->clockRate;
    view.running = s->clockRunning;
    view.drained = s->drained;
    view.cursor = s->cursor;
    view.markCount = s->markCount;
    for (int i = 0; i < s->markCount; ++i) {
        view.marks[i] = s->marks[i];
    }
    return view;
}

// Under the device lock.
void publish(Stream* s)
{
    PublishedClock& p = s->published;
    uint32_t sequence = p.sequence.load(std::memory_order_relaxed);
    p.sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    p.handed.store(s->handed, std::memory_order_relaxed);
    p.ticks.store(s->clockTicks, std::memory_order_relaxed);
    p.frameBits.store(bitsOf(s->clockFrames), std::memory_order_relaxed);
    p.rateBits.store(bitsOf(s->clockRate), std::memory_order_relaxed);
    p.flags.store((s->clockRunning ? 1u : 0u) | (s->drained ? 2u : 0u), std::memory_order_relaxed);
    p.cursor.store(s->cursor, std::memory_order_relaxed);
    p.markCount.store(static_cast<uint32_t>(s->markCount), std::memory_order_relaxed);
    for (int i = 0; i < s->markCount; ++i) {
        p.markAt[i].store(s->marks[i].at, std::memory_order_relaxed);
        p.markPosition[i].store(s->marks[i].position, std::memory_order_relaxed);
        p.markPeriod[i].store(s->marks[i].period, std::memory_order_relaxed);
    }
    p.sequence.store(sequence + 2, std::memory_order_release);
}

// Without the lock, on the main thread.
ClockView readClock(const Stream* s)
{
    const PublishedClock& p = s->published;
    ClockView view;
    for (;;) {
        uint32_t before = p.sequence.load(std::memory_order_acquire);
        view.handed = p.handed.load(std::memory_order_relaxed);
        view.ticks = p.ticks.load(std::memory_order_relaxed);
        view.frames = doubleOf(p.frameBits.load(std::memory_order_relaxed));
        view.rate = doubleOf(p.rateBits.load(std::memory_order_relaxed));
        uint32_t flags = p.flags.load(std::memory_order_relaxed);
        view.cursor = p.cursor.load(std::memory_order_relaxed);
        uint32_t count = p.markCount.load(std::memory_order_relaxed);
        view.markCount = count < kMaxMarks ? static_cast<int>(count) : kMaxMarks;
        for (int i = 0; i < view.markCount; ++i) {
            view.marks[i].at = p.markAt[i].load(std::memory_order_relaxed);
            view.marks[i].position = p.markPosition[i].load(std::memory_order_relaxed);
            view.marks[i].period = p.markPeriod[i].load(std::memory_order_relaxed);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1u) == 0 && p.sequence.load(std::memory_order_relaxed) == before) {
            view.running = (flags & 1u) != 0;
            view.drained = (flags & 2u) != 0;
            return view;
        }
    }
}

// Where the clock stands at `now`, before clamping.
double clockAt(uint64_t ticks, double frames, double rate, uint64_t now)
{
    double elapsed = static_cast<double>(static_cast<int64_t>(now - ticks));
    return frames + elapsed * rate;
}

// The timeline frame heard at `now`, on the main thread.
uint64_t heardFrames(Stream* s, const ClockView& clock, uint64_t now)
{
    if (s->playing && clock.running) {
        double at = clockAt(clock.ticks, clock.frames, clock.rate, now);
        uint64_t frames = at <= 0.0 ? 0 : static_cast<uint64_t>(at);
        if (frames > clock.handed) {
            frames = clock.handed;
        }
        if (frames > s->reported) {
            s->reported = frames;
        }
    }
    return s->reported;
}

// The stream position at timeline frame `frame`.
uint64_t positionAt(const ClockView& clock, uint64_t frame)
{
    for (int i = clock.markCount - 1; i >= 0; --i) {
        const Mark& mark = clock.marks[i];
        if (mark.at <= frame) {
            uint64_t since = frame - mark.at;
            return mark.position + (mark.period ? since % mark.period : since);
        }
    }
    // Only when marks came faster than kMaxMarks allows: the oldest one left.
    return clock.markCount > 0 ? clock.marks[0].position : 0;
}

// Under the device lock. A mark at the same timeline frame as the last one
// replaces it; when full, the oldest goes.
void pushMark(Stream* s, const Mark& mark)
{
    if (s->markCount > 0 && s->marks[s->markCount - 1].at == mark.at) {
        s->marks[s->markCount - 1] = mark;
        return;
    }
    if (s->markCount == kMaxMarks) {
        memmove(s->marks, s->marks + 1, sizeof(Mark) * (kMaxMarks - 1));
        --s->markCount;
    }
    s->marks[s->markCount++] = mark;
}

// Under the device lock: drops marks the heard position has passed for good.
// Readers never ask for a frame before the clock's anchor.
void dropPassedMarks(Stream* s)
{
    uint64_t heard = s->clockFrames <= 0.0 ? 0 : static_cast<uint64_t>(s->clockFrames);
    int passed = 0;
    while (passed + 1 < s->markCount && s->marks[passed + 1].at <= heard) {
        ++passed;
    }
    if (passed > 0) {
        memmove(s->marks, s->marks + passed, sizeof(Mark) * static_cast<size_t>(s->markCount - passed));
        s->markCount -= passed;
    }
}

// Called once per callback in which the stream handed frames: the first of
// them, `before`, starts being heard now.
void steerClock(Stream* s, uint64_t now, uint64_t before)
{
    double nominal = backend.frequency / backend.ticksPerSecond;
    double target = static_cast<double>(before);
    if (!s->clockRunning) {
        s->clockRunning = true;
        s->clockTicks = now;
        s->clockFrames = target;
        s->clockRate = nominal;
        return;
    }
    double at = clockAt(s->clockTicks, s->clockFrames, s->clockRate, now);
    double error = target - at;
    if (std::fabs(error) > kResyncSeconds * backend.frequency) {
        // Reported positions stay, so a jump back only holds the clock.
        s->clockFrames = target;
        s->clockRate = nominal;
    } else {
        // The rate learns from the whole error, but the clock restarts from
        // where it was held: a late callback means the output starved, and
        // what was not heard during the wait is still to come.
        double correction = error / (kSlewSeconds * backend.frequency);
        if (correction > kMaxSlew) {
            correction = kMaxSlew;
        } else if (correction < -kMaxSlew) {
            correction = -kMaxSlew;
        }
        s->clockFrames = at < target ? at : target;
        s->clockRate = nominal * (1.0 + correction);
    }
    s->clockTicks = now;
}

// The converter holds back the tail of its filter even when flushed, so the end
// of the music is pushed through with this much silence and cut at its length.
constexpr int kTailFrames = 4096;

// Fills `out` with up to `frames` frames decoded from the cursor on; returns
// how many. The cursor is left to the caller.
int convertFrames(Stream* s, int16_t* out, int frames)
{
    int wanted = frames * kBytesPerFrame;
    // A decoder that keeps returning nothing must not spin the audio thread.
    for (int guard = 0; guard < 64 && !s->decodeEnded && SDL_AudioStreamAvailable(s->converter) < wanted;
         ++guard) {
        size_t done = 0;
        int result = mpg123_read(s->decoder, s->decodeBuffer, sizeof s->decodeBuffer, &done);
        if (done > 0 && SDL_AudioStreamPut(s->converter, s->decodeBuffer, static_cast<int>(done)) != 0) {
            result = MPG123_ERR;
        }
        s->decoded += done / kBytesPerFrame;
        if (result != MPG123_OK) {
            // The end of the data, a decoding error, or a change of sample rate
            // mid-stream all end the stream here.
            s->decodeEnded = true;
            s->length = (s->decoded * static_cast<uint64_t>(backend.frequency) + static_cast<uint64_t>(s->rate / 2)) /
                        static_cast<uint64_t>(s->rate);
            memset(s->decodeBuffer, 0, sizeof s->decodeBuffer);
            for (int tail = 0; tail < kTailFrames; tail += static_cast<int>(sizeof s->decodeBuffer) / kBytesPerFrame) {
                SDL_AudioStreamPut(s->converter, s->decodeBuffer, sizeof s->decodeBuffer);
            }
            SDL_AudioStreamFlush(s->converter);
        }
    }
    if (s->decodeEnded) {
        uint64_t left = s->length > s->cursor ? s->length - s->cursor : 0;
        if (left < static_cast<uint64_t>(frames)) {
            wanted = static_cast<int>(left) * kBytesPerFrame;
        }
    }
    int got = wanted > 0 ? SDL_AudioStreamGet(s->converter, out, wanted) : 0;
    int gotFrames = got > 0 ? got / kBytesPerFrame : 0;
    if (s->decodeEnded && (s->cursor + static_cast<uint64_t>(gotFrames) >= s->length ||
                           SDL_AudioStreamAvailable(s->converter) < kBytesPerFrame)) {
        s->drained = true;
    }
    return gotFrames;
}

// Under the device lock: makes `position` (at most the length) the next frame
// to hand, dropping whatever was decoded beyond the cursor. False when the
// decoder cannot get there; the stream then stands ended.
bool reposition(Stream* s, uint64_t position)
{
    SDL_AudioStreamClear(s->converter);
    s->cursor = position;
    s->decodeEnded = false;
    s->drained = false;
    if (position < s->length) {
        // Rounded to the nearest decoder sample when the rates differ.
        uint64_t sample = (position * static_cast<uint64_t>(s->rate) + static_cast<uint64_t>(backend.frequency / 2)) /
                          static_cast<uint64_t>(backend.frequency);
        off_t at = mpg123_seek(s->decoder, static_cast<off_t>(sample), SEEK_SET);
        if (at >= 0) {
            s->decoded = static_cast<uint64_t>(at);
            return true;
        }
    }
    s->decodeEnded = true;
    s->drained = true;
    return position >= s->length;
}

// Under the device lock: the next frame handed is the stream's frame
// `position`, and is heard as such from the first frame of the timeline.
bool seekStream(Stream* s, uint64_t position)
{
    bool ok = reposition(s, position);
    s->handed = 0;
    s->reported = 0;
    s->clockRunning = false;
    s->markCount = 0;
    pushMark(s, Mark{0, s->cursor, 0});
    publish(s);
    return ok;
}

// Fills `out` with up to `frames` frames of the stream, continuing at the loop
// start wherever the cursor reaches the loop end from below; returns how many
// and advances the cursor and the timeline by them.
int pullFrames(Stream* s, int16_t* out, int frames)
{
    int got = 0;
    while (got < frames && !s->drained) {
        int wanted = frames - got;
        bool looping = s->loopEnd > 0 && s->cursor < s->loopEnd;
        if (looping && s->loopEnd - s->cursor < static_cast<uint64_t>(wanted)) {
            wanted = static_cast<int>(s->loopEnd - s->cursor);
        }
        int n = convertFrames(s, out + got * kChannels, wanted);
        got += n;
        s->cursor += static_cast<uint64_t>(n);
        s->handed += static_cast<uint64_t>(n);
        if (looping && s->cursor == s->loopEnd) {
            uint64_t period = s->loopEnd - s->loopStart;
            const Mark& last = s->marks[s->markCount - 1];
            // Later rounds of an unchanged loop are covered by its first mark.
            if (last.period != period || last.position != s->loopStart) {
                pushMark(s, Mark{s->handed, s->loopStart, period});
            }
            reposition(s, s->loopStart);
        } else if (n < wanted) {
            break;
        }
    }
    return got;
}

void SDLCALL mixCallback(void*, Uint8* output, int bytes)
{
    uint64_t now = SDL_GetPerformanceCounter();
    int frames = bytes / kBytesPerFrame;
    if (frames > backend.bufferFrames) {
        memset(output + backend.bufferFrames * kBytesPerFrame, 0,
               static_cast<size_t>(bytes - backend.bufferFrames * kBytesPerFrame));
        frames = backend.bufferFrames;
    }
    int samples = frames * kChannels;
    memset(backend.mix, 0, sizeof(int32_t) * static_cast<size_t>(samples));
    for (Stream* s : backend.streams) {
        if (!s || !s->playing || s->drained) {
            continue;
        }
        uint64_t before = s->handed;
        int got = pullFrames(s, backend.pulled, frames);
        for (int i = 0; i < got * kChannels; ++i) {
            backend.mix[i] += backend.pulled[i];
        }
        if (got > 0) {
            steerClock(s, now, before);
            dropPassedMarks(s);
        }
        publish(s);
    }
    int16_t* out = reinterpret_cast<int16_t*>(output);
    for (int i = 0; i < samples; ++i) {
        int32_t v = backend.mix[i];
        out[i] = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
    }
}

void closeDevice()
{
    if (backend.device) {
        SDL_CloseAudioDevice(backend.device);
        backend.device = 0;
    }
    free(backend.mix);
    free(backend.pulled);
    backend.mix = nullptr;
    backend.pulled = nullptr;
    backend.started = false;
}

// Opens the device for the current settings; the streams stay as they are.
bool openDevice()
{
    const char* name = nullptr;
    if (backend.deviceIndex != kAudioDefaultDevice) {
        name = SDL_GetAudioDeviceName(backend.deviceIndex - 1, 0);
        if (!name) {
            return fail(kAudioErrorDevice);
        }
    }
    // SDL wants a power of two here (other sizes make it pace the callback
    // wrongly or crash), so the update period picks the nearest one.
    double exact = static_cast<double>(backend.frequency) * backend.updatePeriodMs / 1000.0;
    int frames = 1 << static_cast<int>(std::lround(std::log2(exact)));
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = backend.frequency;
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = static_cast<Uint16>(frames);
    want.callback = mixCallback;
    SDL_AudioSpec have;
    SDL_zero(have);
    // SDL converts for the hardware where it must, so the callback always
    // sees exactly this format and buffer size.
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (device == 0) {
        return fail(kAudioErrorDevice);
    }
    int bufferFrames = have.samples > frames ? have.samples : frames;
    int32_t* mix = static_cast<int32_t*>(malloc(sizeof(int32_t) * kChannels * static_cast<size_t>(bufferFrames)));
    int16_t* pulled = static_cast<int16_t*>(malloc(sizeof(int16_t) * kChannels * static_cast<size_t>(bufferFrames)));
    if (!mix || !pulled) {
        free(mix);
        free(pulled);
        SDL_CloseAudioDevice(device);
        return fail(kAudioErrorMemory);
    }
    backend.device = device;
    backend.bufferFrames = bufferFrames;
    backend.mix = mix;
    backend.pulled = pulled;
    backend.started = false;
    return true;
}

// Reads the whole input into memory so that the audio thread never waits on
// the file system.
bool loadData(Stream* s, bool fromMemory, const void* file, uint64_t offset, uint64_t length)
{
    if (fromMemory) {
        if (!file || length == 0 || length > SIZE_MAX) {
            return fail(kAudioErrorIllegalParam);
        }
        s->data = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
        if (!s->data) {
            return fail(kAudioErrorMemory);
        }
        memcpy(s->data, file, static_cast<size_t>(length));
        s->size = static_cast<size_t>(length);
        return true;
    }
    if (!file) {
        return fail(kAudioErrorFileOpen);
    }
    FILE* f = openRegularFile(static_cast<const char*>(file));
    if (!f) {
        return fail(kAudioErrorFileOpen);
    }
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode)) {
        fclose(f);
        return fail(kAudioErrorFileOpen);
    }
    bool ok = fseeko(f, 0, SEEK_END) == 0;
    off_t end = ok ? ftello(f) : -1;
    if (end < 0 || offset > static_cast<uint64_t>(end) ||
        fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) {
        fclose(f);
        return fail(kAudioErrorFileOpen);
    }
    uint64_t available = static_cast<uint64_t>(end) - offset;
    uint64_t wanted = length == 0 || length > available ? available : length;
    if (wanted == 0) {
        fclose(f);
        return fail(kAudioErrorFileForm);
    }
    if (wanted > SIZE_MAX) {
        fclose(f);
        return fail(kAudioErrorMemory);
    }
    s->data = static_cast<unsigned char*>(malloc(static_cast<size_t>(wanted)));
    if (!s->data) {
        fclose(f);
        return fail(kAudioErrorMemory);
    }
    s->size = fread(s->data, 1, static_cast<size_t>(wanted), f);
    fclose(f);
    if (s->size != wanted) {
        return fail(kAudioErrorFileOpen);
    }
    return true;
}

// A decoder over `reader` giving 16-bit stereo at the data's own rate, or null
// with the error set.
mpg123_handle* newDecoder(MemoryReader* reader)
{
    int err = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &err);
    if (!decoder) {
        fail(kAudioErrorDecoder);
        return nullptr;
    }
    // Gapless keeps sample 0 the first sample of the music; quiet keeps the
    // library from writing to stderr; mono comes out on both channels.
    const long flags = MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_STEREO;
    bool ok = mpg123_param(decoder, MPG123_ADD_FLAGS, flags, 0.0) == MPG123_OK &&
              mpg123_param(decoder, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0) == MPG123_OK &&
              mpg123_format_none(decoder) == MPG123_OK;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; ok && i < count; ++i) {
        ok = mpg123_format(decoder, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    }
    ok = ok && mpg123_replace_reader_handle(decoder, readMemory, seekMemory, nullptr) == MPG123_OK;
    if (!ok) {
        mpg123_delete(decoder);
        fail(kAudioErrorDecoder);
        return nullptr;
    }
    reader->pos = 0;
    if (mpg123_open_handle(decoder, reader) != MPG123_OK) {
        mpg123_delete(decoder);
        fail(kAudioErrorFileForm);
        return nullptr;
    }
    return decoder;
}

// Opens the stream's decoder; gives the data's rate and its length in samples
// at that rate as the scan finds it.
bool openDecoder(Stream* s, long* rate, off_t* samples)
{
    s->reader.data = s->data;
    s->reader.size = s->size;
    // The whole data is scanned by a decoder of its own: after a scan,
    // libmpg123 loses the gapless start of a file shorter than its header says.
    mpg123_handle* scanner = newDecoder(&s->reader);
    if (!scanner) {
        return false;
    }
    int channels = 0;
    int encoding = 0;
    bool playable = mpg123_scan(scanner) == MPG123_OK && mpg123_length(scanner) > 0 &&
                    mpg123_getformat(scanner, rate, &channels, &encoding) == MPG123_OK && *rate > 0;
    *samples = playable ? mpg123_length(scanner) : 0;
    mpg123_delete(scanner);
    if (!playable) {
        return fail(kAudioErrorFileForm);
    }
    s->decoder = newDecoder(&s->reader);
    if (!s->decoder) {
        return false;
    }
    long decodeRate = 0;
    if (mpg123_getformat(s->decoder, &decodeRate, &channels, &encoding) != MPG123_OK || decodeRate != *rate ||
        channels != kChannels || encoding != MPG123_ENC_SIGNED_16) {
        return fail(kAudioErrorFileForm);
    }
    return true;
}

}  // namespace

bool audioInit(int device, uint32_t frequency, uint32_t, void*, const void*)
{
    if (backend.open) {
        return fail(kAudioErrorAlready);
    }
    if (frequency < 8000 || frequency > 192000 || (device != kAudioDefaultDevice && device < 1)) {
        return fail(kAudioErrorIllegalParam);
    }
    backend.deviceIndex = device;
    backend.frequency = static_cast<int>(frequency);
    backend.ticksPerSecond = static_cast<double>(SDL_GetPerformanceFrequency());
    if (mpg123_init() != MPG123_OK) {
        return fail(kAudioErrorDecoder);
    }
    if (!openDevice()) {
        return false;
    }
    backend.open = true;
    return succeed();
}

bool audioSetConfig(uint32_t option, uint32_t value)
{
    if (option != kAudioConfigUpdatePeriod || value < 5 || value > 100) {
        return fail(kAudioErrorIllegalParam);
    }
    if (backend.updatePeriodMs == value) {
        return succeed();
    }
    backend.updatePeriodMs = value;
    if (backend.open) {
        bool wasStarted = backend.started;
        closeDevice();
        if (!openDevice()) {
            audioFree();
            return fail(kAudioErrorDevice);
        }
        if (wasStarted) {
            SDL_PauseAudioDevice(backend.device, 0);
            backend.started = true;
        }
    }
    return succeed();
}

uint32_t audioStreamCreateFile(bool fromMemory, const void* file, uint64_t offset, uint64_t length,
                               uint32_t flags)
{
    if (!backend.open) {
        fail(kAudioErrorInit);
        return 0;
    }
    if ((flags & ~kAudioStreamPrescan) != 0) {
        fail(kAudioErrorIllegalParam);
        return 0;
    }
    Stream* s = new (std::nothrow) Stream;
    if (!s) {
        fail(kAudioErrorMemory);
        return 0;
    }
    long rate = 0;
    off_t samples = 0;
    if (!loadData(s, fromMemory, file, offset, length) || !openDecoder(s, &rate, &samples)) {
        destroyStream(s);
        return 0;
    }
    s->rate = static_cast<int>(rate);
    uint64_t scanned = static_cast<uint64_t>(samples);
    s->length = (scanned * static_cast<uint64_t>(backend.frequency) + static_cast<uint64_t>(rate / 2)) /
                static_cast<uint64_t>(rate);
    pushMark(s, Mark{0, 0, 0});
    publish(s);
    s->converter = SDL_NewAudioStream(AUDIO_S16SYS, kChannels, static_cast<int>(rate), AUDIO_S16SYS, kChannels,
                                      backend.frequency);
    if (!s->converter) {
        destroyStream(s);
        fail(kAudioErrorMemory);
        return 0;
    }
    int slot = -1;
    for (int i = 0; i < kMaxStreams; ++i) {
        if (!backend.streams[i]) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        destroyStream(s);
        fail(kAudioErrorNoChannel);
        return 0;
    }
    // Handles carry a serial so that a freed stream's handle stays dead.
    backend.serial = (backend.serial + 1) & 0x0fffffffu;
    s->handle = (backend.serial << 4) | static_cast<uint32_t>(slot + 1);
    SDL_LockAudioDevice(backend.device);
    backend.streams[slot] = s;
    SDL_UnlockAudioDevice(backend.device);
    succeed();
    return s->handle;
}

bool audioStreamFree(uint32_t stream)
{
    Stream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    SDL_LockAudioDevice(backend.device);
    for (Stream*& slot : backend.streams) {
        if (slot == s) {
            slot = nullptr;
        }
    }
    SDL_UnlockAudioDevice(backend.device);
    destroyStream(s);
    return succeed();
}

bool audioChannelPlay(uint32_t stream, bool restart)
{
    Stream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    bool ok = true;
    SDL_LockAudioDevice(backend.device);
    if (restart) {
        ok = seekStream(s, 0);
    }
    s->playing = true;
    SDL_UnlockAudioDevice(backend.device);
    if (!ok) {
        return fail(kAudioErrorFileForm);
    }
    if (!backend.started) {
        SDL_PauseAudioDevice(backend.device, 0);
        backend.started = true;
    }
    return succeed();
}

bool audioChannelStop(uint32_t stream)
{
    Stream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    SDL_LockAudioDevice(backend.device);
    heardFrames(s, viewOf(s), SDL_GetPerformanceCounter());
    s->playing = false;
    s->clockRunning = false;
    publish(s);
    SDL_UnlockAudioDevice(backend.device);
    return succeed();
}

uint32_t audioChannelIsActive(uint32_t stream)
{
    Stream* s = findStream(stream);
    if (!s) {
        fail(kAudioErrorHandle);
        return kAudioActiveStopped;
    }
    uint32_t state = kAudioActiveStopped;
    if (s->playing) {
        ClockView clock = readClock(s);
        uint64_t heard = heardFrames(s, clock, SDL_GetPerformanceCounter());
        if (clock.drained && heard >= clock.handed) {
            // Played to its last frame; nothing more comes, so it stops for good.
            SDL_LockAudioDevice(backend.device);
            s->playing = false;
            s->clockRunning = false;
            publish(s);
            SDL_UnlockAudioDevice(backend.device);
        } else {
            state = kAudioActivePlaying;
        }
    }
    if (state == kAudioActivePlaying && SDL_GetAudioDeviceStatus(backend.device) == SDL_AUDIO_STOPPED) {
        state = kAudioActiveStalled;
    }
    succeed();
    return state;
}

uint64_t audioChannelGetPosition(uint32_t stream, uint32_t mode)
{
    Stream* s = findStream(stream);
    if (!s) {
        fail(kAudioErrorHandle);
        return UINT64_MAX;
    }
    if ((mode & ~kAudioPosDecode) != kAudioPosByte) {
        fail(kAudioErrorNotAvailable);
        return UINT64_MAX;
    }
    ClockView clock = readClock(s);
    uint64_t frames = mode & kAudioPosDecode ? clock.cursor
                                             : positionAt(clock, heardFrames(s, clock, SDL_GetPerformanceCounter()));
    succeed();
    return frames * kBytesPerFrame;
}

bool audioChannelSetPosition(uint32_t stream, uint64_t position, uint32_t mode)
{
    Stream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    if (mode != kAudioPosByte) {
        return fail(kAudioErrorNotAvailable);
    }
    SDL_LockAudioDevice(backend.device);
    uint64_t frame = position / kBytesPerFrame;
    bool ok = seekStream(s, frame < s->length ? frame : s->length);
    SDL_UnlockAudioDevice(backend.device);
    return ok ? succeed() : fail(kAudioErrorFileForm);
}

bool audioChannelSetLoop(uint32_t stream, uint64_t start, uint64_t end)
{
    Stream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    uint64_t first = start / kBytesPerFrame;
    uint64_t last = end / kBytesPerFrame;
    SDL_LockAudioDevice(backend.device);
    if (end != 0 && (first >= last || last > s->length)) {
        SDL_UnlockAudioDevice(backend.device);
        return fail(kAudioErrorIllegalParam);
    }
    // A repeating loop's mark stops holding here.
    if (s->marks[s->markCount - 1].period != 0) {
        pushMark(s, Mark{s->handed, s->cursor, 0});
        publish(s);
    }
    s->loopStart = end != 0 ? first : 0;
    s->loopEnd = end != 0 ? last : 0;
    SDL_UnlockAudioDevice(backend.device);
    return succeed();
}

uint64_t audioChannelGetLength(uint32_t stream, uint32_t mode)
{
    Stream* s = findStream(stream);
    if (!s) {
        fail(kAudioErrorHandle);
        return UINT64_MAX;
    }
    if (mode != kAudioPosByte) {
        fail(kAudioErrorNotAvailable);
        return UINT64_MAX;
    }
    SDL_LockAudioDevice(backend.device);
    uint64_t frames = s->length;
    SDL_UnlockAudioDevice(backend.device);
    succeed();
    return frames * kBytesPerFrame;
}

double audioChannelBytes2Seconds(uint32_t stream, uint64_t position)
{
    if (!findStream(stream)) {
        fail(kAudioErrorHandle);
        return -1.0;
    }
    succeed();
    return static_cast<double>(position) / (static_cast<double>(backend.frequency) * kBytesPerFrame);
}

int audioErrorGetCode()
{
    return backend.lastError;
}

bool audioFree()
{
    if (!backend.open) {
        return fail(kAudioErrorInit);
    }
    // Closing the device first ends the audio thread, so the streams are no
    // longer shared when they go.
    closeDevice();
    for (Stream*& s : backend.streams) {
        if (s) {
            destroyStream(s);
            s = nullptr;
        }
    }
    backend.open = false;
    return succeed();
}
