#include "audio/AudioMixer.h"

#include "audio/AudioBackend.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Fills `out` with up to `frames` frames of the stream, continuing at the loop
// start wherever the cursor reaches the loop end from below; returns how many
// and advances the cursor and the timeline by them.
int pullFrames(MixerStream* s, int16_t* out, int frames)
{
    int got = 0;
    while (got < frames && !s->decoder.drained) {
        int wanted = frames - got;
        bool looping = s->loopEnd > 0 && s->clock.cursor < s->loopEnd;
        if (looping && s->loopEnd - s->clock.cursor < static_cast<uint64_t>(wanted)) {
            wanted = static_cast<int>(s->loopEnd - s->clock.cursor);
        }
        int n = decoderRead(&s->decoder, s->clock.cursor, out + got * kChannels, wanted);
        got += n;
        s->clock.cursor += static_cast<uint64_t>(n);
        s->clock.handed += static_cast<uint64_t>(n);
        if (looping && s->clock.cursor == s->loopEnd) {
            clockWrap(s->clock, s->loopStart, s->loopEnd - s->loopStart);
            decoderSeek(&s->decoder, s->loopStart);
        } else if (n < wanted) {
            break;
        }
    }
    return got;
}

void SDLCALL mixCallback(void* userdata, Uint8* output, int bytes)
{
    AudioMixer* m = static_cast<AudioMixer*>(userdata);
    uint64_t now = SDL_GetPerformanceCounter();
    int frames = bytes / kBytesPerFrame;
    if (frames > m->bufferFrames) {
        memset(output + m->bufferFrames * kBytesPerFrame, 0,
               static_cast<size_t>(bytes - m->bufferFrames * kBytesPerFrame));
        frames = m->bufferFrames;
    }
    const ClockRate pace{static_cast<double>(m->frequency), m->ticksPerSecond};
    int samples = frames * kChannels;
    memset(m->mix, 0, sizeof(int32_t) * static_cast<size_t>(samples));
    for (MixerStream* s : m->streams) {
        if (!s || !s->playing || s->decoder.drained) {
            continue;
        }
        uint64_t before = s->clock.handed;
        int got = pullFrames(s, m->pulled, frames);
        for (int i = 0; i < got * kChannels; ++i) {
            m->mix[i] += m->pulled[i];
        }
        if (got > 0) {
            clockSteer(s->clock, now, before, pace);
            clockDropPassedMarks(s->clock);
        }
        mixerPublish(s);
    }
    int16_t* out = reinterpret_cast<int16_t*>(output);
    for (int i = 0; i < samples; ++i) {
        int32_t v = m->mix[i];
        out[i] = static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
    }
}

}  // namespace

int mixerOpen(AudioMixer* m)
{
    const char* name = nullptr;
    if (m->deviceIndex != kAudioDefaultDevice) {
        name = SDL_GetAudioDeviceName(m->deviceIndex - 1, 0);
        if (!name) {
            return kAudioErrorDevice;
        }
    }
    // SDL wants a power of two here (other sizes make it pace the callback
    // wrongly or crash), so the update period picks the nearest one.
    double exact = static_cast<double>(m->frequency) * m->updatePeriodMs / 1000.0;
    int frames = 1 << static_cast<int>(std::lround(std::log2(exact)));
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = m->frequency;
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = static_cast<Uint16>(frames);
    want.callback = mixCallback;
    want.userdata = m;
    SDL_AudioSpec have;
    SDL_zero(have);
    // SDL converts for the hardware where it must, so the callback always
    // sees exactly this format and buffer size.
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (device == 0) {
        return kAudioErrorDevice;
    }
    int bufferFrames = have.samples > frames ? have.samples : frames;
    int32_t* mix = static_cast<int32_t*>(malloc(sizeof(int32_t) * kChannels * static_cast<size_t>(bufferFrames)));
    int16_t* pulled = static_cast<int16_t*>(malloc(sizeof(int16_t) * kChannels * static_cast<size_t>(bufferFrames)));
    if (!mix || !pulled) {
        free(mix);
        free(pulled);
        SDL_CloseAudioDevice(device);
        return kAudioErrorMemory;
    }
    m->device = device;
    m->bufferFrames = bufferFrames;
    m->mix = mix;
    m->pulled = pulled;
    m->started = false;
    return kAudioOk;
}

void mixerClose(AudioMixer* m)
{
    if (m->device) {
        SDL_CloseAudioDevice(m->device);
        m->device = 0;
    }
    free(m->mix);
    free(m->pulled);
    m->mix = nullptr;
    m->pulled = nullptr;
    m->started = false;
}

bool mixerSeek(MixerStream* s, uint64_t position)
{
    bool ok = decoderSeek(&s->decoder, position);
    clockSeek(s->clock, position, &s->reported);
    mixerPublish(s);
    return ok;
}

PlaybackClock mixerClock(const MixerStream* s)
{
    PlaybackClock clock = s->clock;
    clock.drained = s->decoder.drained;
    return clock;
}

void mixerPublish(MixerStream* s)
{
    s->published.Store(mixerClock(s));
}
