#pragma once

// Helpers for the audio tests: SDL's audio subsystem on a chosen driver for
// the length of one test, and raw 16-bit sample files.

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"

class AudioDriver {
public:
    // "dummy" plays into nothing at its own pace; "disk" writes what is played
    // to diskFile, waiting 1 ms per device buffer.
    explicit AudioDriver(const char* driver, const std::string& diskFile = "")
    {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", diskFile.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "1", 1);
        ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    ~AudioDriver() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
    AudioDriver(const AudioDriver&) = delete;
    AudioDriver& operator=(const AudioDriver&) = delete;

    bool ok = false;
};

inline std::vector<int16_t> ReadSamples(const std::string& path)
{
    std::string bytes;
    std::vector<int16_t> samples;
    if (ReadWholeFile(path, bytes)) {
        samples.resize(bytes.size() / 2);
        memcpy(samples.data(), bytes.data(), samples.size() * 2);
    }
    return samples;
}

// Index of the first stereo frame that is not silent, or the frame count.
inline size_t FirstSoundingFrame(const std::vector<int16_t>& stereo)
{
    size_t frame = 0;
    while (frame * 2 + 1 < stereo.size() && stereo[frame * 2] == 0 && stereo[frame * 2 + 1] == 0) {
        ++frame;
    }
    return frame;
}

inline double SecondsSince(uint64_t start)
{
    return static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(SDL_GetPerformanceFrequency());
}
