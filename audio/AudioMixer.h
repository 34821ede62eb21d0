#pragma once

#include "audio/AudioDecoder.h"
#include "audio/PlaybackClock.h"

#include <SDL.h>

#include <cstdint>

// The output device and the streams it plays. SDL's audio callback pulls
// every playing stream from its decoder, through its loop, adds them up and
// steers each stream's clock by what it handed. The main thread changes a
// stream only under the device lock, and reads its clock from the published
// copy.

constexpr int kMaxStreams = 8;

struct MixerStream {
    uint32_t handle = 0;
    AudioDecoder decoder;

    // Shared with the audio thread and touched by either only under the device
    // lock, except that the main thread reads `playing`, which only it writes.
    bool playing = false;
    uint64_t loopStart = 0;
    uint64_t loopEnd = 0;  // 0: no loop
    PlaybackClock clock;
    PublishedClock published;

    uint64_t reported = 0;  // timeline frames heard so far; main thread only
};

struct AudioMixer {
    SDL_AudioDeviceID device = 0;
    int deviceIndex = -1;  // -1: the default output; 1..n: SDL's devices in order
    int frequency = 44100;
    uint32_t updatePeriodMs = 16;
    double ticksPerSecond = 1.0;
    int bufferFrames = 0;
    bool started = false;  // the device was unpaused
    MixerStream* streams[kMaxStreams] = {};
    int32_t* mix = nullptr;     // bufferFrames * kChannels
    int16_t* pulled = nullptr;  // bufferFrames * kChannels
};

// Opens the device for the mixer's settings (paused); the streams stay as they
// are. Returns kAudioOk, kAudioErrorDevice or kAudioErrorMemory.
int mixerOpen(AudioMixer* mixer);
// Closes the device, which ends the audio thread's use of the streams.
void mixerClose(AudioMixer* mixer);

// Under the device lock: the next frame handed is the stream's frame
// `position`, heard as such from the first frame of a new timeline. False when
// the decoder cannot get there; the stream then stands ended.
bool mixerSeek(MixerStream* stream, uint64_t position);

// Under the device lock: the stream's clock with its decoder's state, and the
// same made visible to readers without the lock.
PlaybackClock mixerClock(const MixerStream* stream);
void mixerPublish(MixerStream* stream);
