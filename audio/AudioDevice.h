#pragma once

#include <cstdint>

// The soundtrack and its playback position, which is the master clock of the
// whole production.
class AudioDevice {
public:
    bool Init();
    bool BuildSoundtrack(const char* path, float tempo);
    void Play();
    void Stop();
    void Free();
    bool IsPlaying();
    float GetPosition();
    float GetTempo() const { return tempo; }
    // Sets the tempo without a soundtrack, for tools and tests that drive the clock.
    void SetTempo(float beatsPerMinute) { tempo = beatsPerMinute; }

private:
    uint32_t stream = 0;
    float tempo = 0.0f;
};
