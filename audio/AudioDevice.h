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

    // For tools that pause, seek and loop the music; the production never
    // calls these. Stop pauses and Play resumes where it stopped.
    // Moves to the frame nearest `seconds`, clamped to the soundtrack (a seek to
    // its end leaves it ended; a seek back lets Play play again).
    bool SetPosition(double seconds);
    // Plays [start, end) over and over once playback reaches the end from
    // below; times go to their nearest frames. An end at the first frame
    // clears the loop, like ClearLoop.
    bool SetLoop(double startSeconds, double endSeconds);
    void ClearLoop();
    // Seconds; negative on failure.
    double GetLength();

    // Sets the tempo without a soundtrack, for tools and tests that drive the clock.
    void SetTempo(float beatsPerMinute) { tempo = beatsPerMinute; }

private:
    uint32_t stream = 0;
    float tempo = 0.0f;
};
