#pragma once

// Helpers for the audio tests: SDL's audio subsystem on a chosen driver for
// the length of one test, and raw 16-bit sample files.

#include <SDL.h>

#include <algorithm>
#include <cstddef>
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

// How many frames of `played` from frame `at` equal `reference` from frame `from`.
inline size_t MatchingFrames(const std::vector<int16_t>& played, size_t at, const std::vector<int16_t>& reference,
                             size_t from)
{
    size_t n = 0;
    while ((at + n) * 2 + 1 < played.size() && (from + n) * 2 + 1 < reference.size() &&
           played[(at + n) * 2] == reference[(from + n) * 2] &&
           played[(at + n) * 2 + 1] == reference[(from + n) * 2 + 1]) {
        ++n;
    }
    return n;
}

inline bool SilentFrom(const std::vector<int16_t>& played, size_t at)
{
    return std::all_of(played.begin() + static_cast<std::ptrdiff_t>(std::min(at * 2, played.size())), played.end(),
                       [](int16_t v) { return v == 0; });
}

inline double SecondsSince(uint64_t start)
{
    return static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(SDL_GetPerformanceFrequency());
}
