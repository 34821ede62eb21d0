#include "audio/AudioBackend.h"

#include "audio/AudioMixer.h"

#include <SDL.h>
#include <mpg123.h>

#include <new>

// The API the rest of the program calls: handles, argument checks and error
// codes over the mixer (audio/AudioMixer.h), whose streams decode through
// audio/AudioDecoder.h and keep time with audio/PlaybackClock.h.

namespace {

struct Backend {
    bool open = false;
    AudioMixer mixer;
    uint32_t serial = 0;
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

MixerStream* findStream(uint32_t handle)
{
    if (handle == 0) {
        return nullptr;
    }
    for (MixerStream* s : backend.mixer.streams) {
        if (s && s->handle == handle) {
            return s;
        }
    }
    return nullptr;
}

void destroyStream(MixerStream* s)
{
    decoderClose(&s->decoder);
    delete s;
}

void lock()
{
    SDL_LockAudioDevice(backend.mixer.device);
}

void unlock()
{
    SDL_UnlockAudioDevice(backend.mixer.device);
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
    AudioMixer& mixer = backend.mixer;
    mixer.deviceIndex = device;
    mixer.frequency = static_cast<int>(frequency);
    mixer.ticksPerSecond = static_cast<double>(SDL_GetPerformanceFrequency());
    if (mpg123_init() != MPG123_OK) {
        return fail(kAudioErrorDecoder);
    }
    int error = mixerOpen(&mixer);
    if (error != kAudioOk) {
        return fail(error);
    }
    backend.open = true;
    return succeed();
}

bool audioSetConfig(uint32_t option, uint32_t value)
{
    if (option != kAudioConfigUpdatePeriod || value < 5 || value > 100) {
        return fail(kAudioErrorIllegalParam);
    }
    AudioMixer& mixer = backend.mixer;
    if (mixer.updatePeriodMs == value) {
        return succeed();
    }
    mixer.updatePeriodMs = value;
    if (backend.open) {
        bool wasStarted = mixer.started;
        mixerClose(&mixer);
        if (mixerOpen(&mixer) != kAudioOk) {
            audioFree();
            return fail(kAudioErrorDevice);
        }
        if (wasStarted) {
            SDL_PauseAudioDevice(mixer.device, 0);
            mixer.started = true;
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
    MixerStream* s = new (std::nothrow) MixerStream;
    if (!s) {
        fail(kAudioErrorMemory);
        return 0;
    }
    int error = decoderOpen(&s->decoder, fromMemory, file, offset, length, backend.mixer.frequency);
    if (error != kAudioOk) {
        destroyStream(s);
        fail(error);
        return 0;
    }
    clockSeek(s->clock, 0, &s->reported);
    mixerPublish(s);
    int slot = -1;
    for (int i = 0; i < kMaxStreams; ++i) {
        if (!backend.mixer.streams[i]) {
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
    lock();
    backend.mixer.streams[slot] = s;
    unlock();
    succeed();
    return s->handle;
}

bool audioStreamFree(uint32_t stream)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    lock();
    for (MixerStream*& slot : backend.mixer.streams) {
        if (slot == s) {
            slot = nullptr;
        }
    }
    unlock();
    destroyStream(s);
    return succeed();
}

bool audioChannelPlay(uint32_t stream, bool restart)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    bool ok = true;
    lock();
    if (restart) {
        ok = mixerSeek(s, 0);
    }
    s->playing = true;
    unlock();
    if (!ok) {
        return fail(kAudioErrorFileForm);
    }
    if (!backend.mixer.started) {
        SDL_PauseAudioDevice(backend.mixer.device, 0);
        backend.mixer.started = true;
    }
    return succeed();
}

bool audioChannelStop(uint32_t stream)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    lock();
    // What was heard up to now stays the position while stopped.
    clockHeard(mixerClock(s), s->playing, SDL_GetPerformanceCounter(), &s->reported);
    s->playing = false;
    s->clock.running = false;
    mixerPublish(s);
    unlock();
    return succeed();
}

uint32_t audioChannelIsActive(uint32_t stream)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        fail(kAudioErrorHandle);
        return kAudioActiveStopped;
    }
    uint32_t state = kAudioActiveStopped;
    if (s->playing) {
        PlaybackClock clock = s->published.Load();
        uint64_t heard = clockHeard(clock, s->playing, SDL_GetPerformanceCounter(), &s->reported);
        if (clockFinished(clock, heard)) {
            // Played to its last frame; nothing more comes, so it stops for good.
            lock();
            s->playing = false;
            s->clock.running = false;
            mixerPublish(s);
            unlock();
        } else {
            state = kAudioActivePlaying;
        }
    }
    if (state == kAudioActivePlaying && SDL_GetAudioDeviceStatus(backend.mixer.device) == SDL_AUDIO_STOPPED) {
        state = kAudioActiveStalled;
    }
    succeed();
    return state;
}

uint64_t audioChannelGetPosition(uint32_t stream, uint32_t mode)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        fail(kAudioErrorHandle);
        return UINT64_MAX;
    }
    if ((mode & ~kAudioPosDecode) != kAudioPosByte) {
        fail(kAudioErrorNotAvailable);
        return UINT64_MAX;
    }
    PlaybackClock clock = s->published.Load();
    uint64_t frames =
        mode & kAudioPosDecode
            ? clock.cursor
            : clockPositionAt(clock, clockHeard(clock, s->playing, SDL_GetPerformanceCounter(), &s->reported));
    succeed();
    return frames * kBytesPerFrame;
}

bool audioChannelSetPosition(uint32_t stream, uint64_t position, uint32_t mode)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    if (mode != kAudioPosByte) {
        return fail(kAudioErrorNotAvailable);
    }
    lock();
    uint64_t frame = position / kBytesPerFrame;
    uint64_t end = s->decoder.length;
    bool ok = mixerSeek(s, frame < end ? frame : end);
    unlock();
    return ok ? succeed() : fail(kAudioErrorFileForm);
}

bool audioChannelSetLoop(uint32_t stream, uint64_t start, uint64_t end)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        return fail(kAudioErrorHandle);
    }
    uint64_t first = start / kBytesPerFrame;
    uint64_t last = end / kBytesPerFrame;
    lock();
    if (end != 0 && (first >= last || last > s->decoder.length)) {
        unlock();
        return fail(kAudioErrorIllegalParam);
    }
    clockLoopChanged(s->clock);
    mixerPublish(s);
    s->loopStart = end != 0 ? first : 0;
    s->loopEnd = end != 0 ? last : 0;
    unlock();
    return succeed();
}

uint64_t audioChannelGetLength(uint32_t stream, uint32_t mode)
{
    MixerStream* s = findStream(stream);
    if (!s) {
        fail(kAudioErrorHandle);
        return UINT64_MAX;
    }
    if (mode != kAudioPosByte) {
        fail(kAudioErrorNotAvailable);
        return UINT64_MAX;
    }
    lock();
    uint64_t frames = s->decoder.length;
    unlock();
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
    return static_cast<double>(position) / (static_cast<double>(backend.mixer.frequency) * kBytesPerFrame);
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
    mixerClose(&backend.mixer);
    for (MixerStream*& s : backend.mixer.streams) {
        if (s) {
            destroyStream(s);
            s = nullptr;
        }
    }
    backend.open = false;
    return succeed();
}
