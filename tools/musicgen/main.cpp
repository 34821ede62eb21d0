// musicgen: renders the soundtrack to a WAV file and writes its section map.
//   musicgen <out.wav> [<section-map.md>] [--bars N]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Dsp.h"
#include "Score.h"

using namespace musicgen;

int main(int argc, char** argv) {
    const char* wavPath = nullptr;
    const char* mapPath = nullptr;
    int bars = kSongBars;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--bars") && i + 1 < argc) {
            bars = std::atoi(argv[++i]);
            if (bars < 1 || bars > kSongBars) {
                std::fprintf(stderr, "musicgen: --bars takes 1 .. %d\n", kSongBars);
                return 2;
            }
        } else if (!wavPath) {
            wavPath = argv[i];
        } else if (!mapPath) {
            mapPath = argv[i];
        } else {
            wavPath = nullptr;
            break;
        }
    }
    if (!wavPath) {
        std::fprintf(stderr, "usage: musicgen <out.wav> [<section-map.md>] [--bars N]\n");
        return 2;
    }

    std::vector<float> song = RenderSong(bars);
    if (!WriteFile(wavPath, EncodeWav(song))) {
        std::fprintf(stderr, "musicgen: cannot write %s\n", wavPath);
        return 1;
    }
    if (mapPath) {
        std::string map = SectionMap();
        if (!WriteFile(mapPath, std::vector<uint8_t>(map.begin(), map.end()))) {
            std::fprintf(stderr, "musicgen: cannot write %s\n", mapPath);
            return 1;
        }
    }
    std::printf("%s: %ld frames, %.3f s, %.2f LUFS, peak %.2f dBFS\n", wavPath, SongFrames(bars),
                SongFrames(bars) / static_cast<double>(kSampleRate), IntegratedLoudness(song),
                20.0 * std::log10(PeakLevel(song) + 1e-12f));
    return 0;
}
