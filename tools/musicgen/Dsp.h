#pragma once
// Building blocks of the soundtrack synthesiser. Everything here is
// deterministic: the same calls give the same samples on every run.

#include <cstdint>
#include <string>
#include <vector>

namespace musicgen {

constexpr int kSampleRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// xorshift64*: small, fast and identical everywhere, unlike std:: distributions.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint32_t Next();
    float Unit();     // [0, 1)
    float Bipolar();  // [-1, 1)
};

double NoteHz(double midiNote);
float DbToGain(float db);
float Clamp(float x, float lo, float hi);

// Band-limited sawtooth (polyBLEP) with a free-running phase in [0, 1).
struct Saw {
    double phase = 0.0;
    float Next(double hz);
};

// Band-limited pulse built from two saws; levels width and width - 1, no DC.
struct Pulse {
    Saw a, b;
    bool started = false;
    float Next(double hz, float width);
};

// Zero-delay-feedback state-variable filter; resonance 0 = no peak.
struct Svf {
    float ic1 = 0.0f, ic2 = 0.0f;
    float g = 0.0f, k = 2.0f, a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;
    void Set(float hz, float resonance);
    struct Out { float lp, bp, hp; };
    Out Process(float x);
    float Low(float x) { return Process(x).lp; }
};

// Direct-form biquad used for fixed equalisation and loudness weighting.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
    double Process(double x);
};

// A bell that lifts (or cuts) `gainDb` around `hz`; `q` sets its width.
Biquad PeakingEq(double hz, double gainDb, double q);

// Attack / decay / sustain / release level at `t` seconds after note-on,
// for a note held `hold` seconds. Linear attack, exponential decay and release.
float Adsr(double t, double hold, float attack, float decay, float sustain, float release);

// Stereo ping-pong delay with a damped feedback path.
struct PingPong {
    std::vector<float> bufL, bufR;
    size_t pos = 0;
    float feedback = 0.45f;
    Svf dampL, dampR;
    explicit PingPong(size_t delaySamples);
    void Process(float inL, float inR, float& outL, float& outR);
};

// Schroeder-Moorer room: parallel damped combs into series all-passes,
// the right channel's lines a little longer for width.
struct Reverb {
    struct Comb { std::vector<float> buf; size_t pos = 0; float store = 0.0f; };
    struct AllPass { std::vector<float> buf; size_t pos = 0; };
    Comb combL[8], combR[8];
    AllPass apL[4], apR[4];
    float feedback = 0.84f, damp = 0.25f;
    Reverb();
    void Process(float inL, float inR, float& outL, float& outR);
};

// Integrated loudness (LUFS, gated) of an interleaved stereo buffer; -70 or
// below means silence.
double IntegratedLoudness(const std::vector<float>& interleaved);

// Largest absolute sample value.
float PeakLevel(const std::vector<float>& interleaved);

// Look-ahead peak limiter: no output sample exceeds `ceiling`, gain changes
// ramp over `lookahead` samples and recover with `releaseSeconds`.
void Limit(std::vector<float>& interleaved, float ceiling, int lookahead, float releaseSeconds);

// 16-bit PCM RIFF/WAVE image of an interleaved stereo buffer at kSampleRate.
std::vector<uint8_t> EncodeWav(const std::vector<float>& interleaved);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace musicgen
