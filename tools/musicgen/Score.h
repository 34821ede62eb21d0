#pragma once
// The soundtrack's score: tempo, arrangement, section map and the render.

#include <string>
#include <vector>

namespace musicgen {

constexpr double kBpm = 110.0;
constexpr int kBeatsPerBar = 4;
constexpr int kRowsPerBeat = 16;
constexpr int kRowsPerBar = kBeatsPerBar * kRowsPerBeat;
constexpr int kSongBars = 72;

// 44100 * 60 / 110: not a whole number, so every position rounds on its own
// rather than accumulating a rounded step.
constexpr double kSamplesPerBeat = 44100.0 * 60.0 / kBpm;
constexpr double kSamplesPerBar = kSamplesPerBeat * kBeatsPerBar;

// First sample of a (fractional) bar, rounded to nearest.
long BarSample(double bar);
// Frames in the first `bars` bars: the song ends on the bar line, rounded down.
long SongFrames(int bars = kSongBars);

struct Section {
    const char* name;
    int bar;           // first bar, 0-based
    const char* what;  // what plays
};

struct Hit {
    double bar;  // 0-based, fractional for hits between bar lines
    const char* what;
};

const std::vector<Section>& Sections();
const std::vector<Hit>& Hits();

// The section map as plain text, one line per section and per hit.
std::string SectionMap();

// Renders the first `bars` bars (1 .. kSongBars) of the song, mastered to
// the loudness target under the peak ceiling; interleaved stereo floats.
std::vector<float> RenderSong(int bars = kSongBars);

constexpr double kTargetLufs = -14.0;
// Sample-peak ceiling, low enough that peaks between samples and the MP3
// encoder's ripple stay under -1 dBFS true peak.
constexpr float kCeilingDb = -2.5f;

}  // namespace musicgen
