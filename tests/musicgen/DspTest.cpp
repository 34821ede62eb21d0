#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Dsp.h"

using namespace musicgen;

namespace {

std::vector<float> StereoSine(double hz, float amplitude, double seconds) {
    std::vector<float> out(2 * static_cast<size_t>(seconds * kSampleRate));
    for (size_t i = 0; i < out.size() / 2; ++i)
        out[2 * i] = out[2 * i + 1] = amplitude * static_cast<float>(std::sin(2.0 * kPi * hz * i / kSampleRate));
    return out;
}

// Steady-state peak of a filter's low or high output for a sine input.
float FilterGain(double hz, float cutoff, float resonance, bool highPass) {
    Svf f;
    f.Set(cutoff, resonance);
    float peak = 0.0f;
    for (int i = 0; i < kSampleRate; ++i) {
        Svf::Out o = f.Process(static_cast<float>(std::sin(2.0 * kPi * hz * i / kSampleRate)));
        if (i > kSampleRate / 2) peak = std::max(peak, std::fabs(highPass ? o.hp : o.lp));
    }
    return peak;
}

int ZeroCrossingsUp(const std::vector<float>& x) {
    int n = 0;
    for (size_t i = 1; i < x.size(); ++i) n += x[i - 1] < 0.0f && x[i] >= 0.0f;
    return n;
}

}  // namespace

TEST(MusicRng, SameSeedSameSequenceAndUnbiased) {
    Rng a(42), b(42), c(43);
    bool differs = false;
    double sum = 0.0;
    for (int i = 0; i < 100000; ++i) {
        uint32_t x = a.Next();
        ASSERT_EQ(x, b.Next());
        differs |= x != c.Next();
        float u = a.Unit();
        b.Unit();
        ASSERT_GE(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        sum += u;
    }
    EXPECT_TRUE(differs);
    EXPECT_NEAR(sum / 100000.0, 0.5, 0.01);
    Rng zero(0);
    EXPECT_NE(zero.Next(), zero.Next()) << "a zero seed must not stick at zero";
}

TEST(MusicOscillators, RunAtTheirPitchWithinRange) {
    for (double hz : {55.0, 441.0, 3000.0}) {
        Saw saw;
        Pulse pulse, narrow;
        std::vector<float> s(kSampleRate), p(kSampleRate);
        double mean = 0.0, narrowMean = 0.0;
        for (int i = 0; i < kSampleRate; ++i) {
            s[i] = saw.Next(hz);
            p[i] = pulse.Next(hz, 0.5f);
            mean += p[i];
            narrowMean += narrow.Next(hz, 0.2f);
        }
        // Each cycle crosses zero upward exactly once.
        EXPECT_NEAR(ZeroCrossingsUp(s), hz, 2.0) << hz;
        EXPECT_NEAR(ZeroCrossingsUp(p), hz, 2.0) << hz;
        EXPECT_NEAR(mean / kSampleRate, 0.0, 0.02) << hz;
        EXPECT_NEAR(narrowMean / kSampleRate, 0.0, 0.02) << hz << " Hz, narrow pulse";
        for (float v : s) ASSERT_LE(std::fabs(v), 1.1f);
    }
    EXPECT_NEAR(NoteHz(69), 440.0, 1e-9);
    EXPECT_NEAR(NoteHz(57), 220.0, 1e-9);
}

TEST(MusicFilter, PassesAndStopsTheRightBands) {
    struct Case { double hz; float cutoff; float resonance; bool highPass; float lo, hi; };
    const Case cases[] = {
        {100.0, 1000.0f, 0.0f, false, 0.95f, 1.02f},   // pass band
        {10000.0, 1000.0f, 0.0f, false, 0.0f, 0.02f},  // two octaves and more above: -40 dB
        {1000.0, 1000.0f, 0.0f, false, 0.45f, 0.55f},  // Q 0.5 at the corner
        {1000.0, 1000.0f, 0.9f, false, 3.0f, 20.0f},   // resonance peaks at the corner
        {10000.0, 1000.0f, 0.0f, true, 0.95f, 1.02f},
        {100.0, 1000.0f, 0.0f, true, 0.0f, 0.02f},
    };
    for (const Case& c : cases) {
        float g = FilterGain(c.hz, c.cutoff, c.resonance, c.highPass);
        EXPECT_GE(g, c.lo) << c.hz << " Hz through " << c.cutoff << (c.highPass ? " HP" : " LP");
        EXPECT_LE(g, c.hi) << c.hz << " Hz through " << c.cutoff << (c.highPass ? " HP" : " LP");
    }
    // Out-of-range cutoffs are clamped, not turned into an unstable filter.
    Svf f;
    f.Set(1e9f, 1.0f);
    float y = 0.0f;
    for (int i = 0; i < 1000; ++i) y = f.Low(i % 2 ? 1.0f : -1.0f);
    EXPECT_TRUE(std::isfinite(y));
}

TEST(MusicEnvelope, FollowsItsStages) {
    struct Case { double t; float expected; };
    // attack 0.1, decay 0.2, sustain 0.5, release 0.1, held for 1 s
    const float atHold = 0.5f + 0.5f * std::exp(-4.5f);
    const Case cases[] = {
        {-0.01, 0.0f}, {0.0, 0.0f}, {0.05, 0.5f}, {0.1, 1.0f},
        {0.3, 0.5f + 0.5f * std::exp(-1.0f)}, {0.99, 0.5f + 0.5f * std::exp(-4.45f)},
        {1.1, atHold * std::exp(-1.0f)}, {2.0, atHold * std::exp(-10.0f)},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(Adsr(c.t, 1.0, 0.1f, 0.2f, 0.5f, 0.1f), c.expected, 1e-4) << "t=" << c.t;
    // Released during the attack: the release starts from where the attack got to.
    EXPECT_NEAR(Adsr(0.05, 0.05, 0.1f, 0.2f, 0.5f, 0.1f), 0.5f, 1e-4);
    EXPECT_LT(Adsr(0.06, 0.05, 0.1f, 0.2f, 0.5f, 0.1f), 0.5f);
}

TEST(MusicEcho, EchoesBounceLeftThenRight) {
    const size_t delay = 1000;
    PingPong echo(delay);
    std::vector<float> l, r;
    for (size_t i = 0; i < 4 * delay; ++i) {
        float ol, orr;
        echo.Process(i == 0 ? 1.0f : 0.0f, i == 0 ? 1.0f : 0.0f, ol, orr);
        l.push_back(ol);
        r.push_back(orr);
    }
    auto loudest = [](const std::vector<float>& x) {
        return std::max_element(x.begin(), x.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); }) - x.begin();
    };
    EXPECT_EQ(loudest(l), static_cast<long>(delay));
    EXPECT_NEAR(loudest(r), static_cast<long>(2 * delay), 10);  // the damping filter smears a few samples
    EXPECT_LT(std::fabs(r[2 * delay]), 0.5f);                   // and each bounce is quieter
}

TEST(MusicLoudness, MatchesReferenceLevels) {
    // A full-scale 1 kHz sine in both channels reads 0 LUFS; levels scale in dB.
    EXPECT_NEAR(IntegratedLoudness(StereoSine(1000.0, 0.1f, 5.0)), -20.0, 0.15);
    EXPECT_NEAR(IntegratedLoudness(StereoSine(1000.0, 0.05f, 5.0)), -26.02, 0.15);
    // Silence and buffers shorter than one 400 ms block have no loudness.
    EXPECT_LE(IntegratedLoudness(std::vector<float>(2 * kSampleRate * 3, 0.0f)), -70.0);
    EXPECT_LE(IntegratedLoudness(StereoSine(1000.0, 0.5f, 0.2)), -70.0);
    // Gating ignores the silence after the tone.
    std::vector<float> toneThenSilence = StereoSine(1000.0, 0.1f, 5.0);
    toneThenSilence.resize(toneThenSilence.size() * 2, 0.0f);
    EXPECT_NEAR(IntegratedLoudness(toneThenSilence), -20.0, 0.3);
    // Bass below the weighting's corner counts for less.
    EXPECT_LT(IntegratedLoudness(StereoSine(30.0, 0.1f, 5.0)), -21.0);
}

TEST(MusicEq, PeakingBellLiftsItsBandAndLeavesTheRest) {
    // Steady-state gain in dB of the bell for a sine.
    auto gainDb = [](double hz, double bellHz, double bellDb) {
        Biquad f = PeakingEq(bellHz, bellDb, 0.6);
        double peak = 0.0;
        for (int i = 0; i < kSampleRate; ++i) {
            double y = f.Process(std::sin(2.0 * kPi * hz * i / kSampleRate));
            if (i > kSampleRate / 2) peak = std::max(peak, std::fabs(y));
        }
        return 20.0 * std::log10(peak);
    };
    EXPECT_NEAR(gainDb(3500.0, 3500.0, 5.0), 5.0, 0.1);
    EXPECT_NEAR(gainDb(3500.0, 3500.0, -6.0), -6.0, 0.1);
    // An octave and more away it fades; bass and air stay as they were.
    EXPECT_GT(gainDb(1750.0, 3500.0, 5.0), 1.0);
    EXPECT_LT(gainDb(1750.0, 3500.0, 5.0), 4.5);
    EXPECT_NEAR(gainDb(100.0, 3500.0, 5.0), 0.0, 0.1);
    EXPECT_NEAR(gainDb(18000.0, 3500.0, 5.0), 0.0, 0.6);
}

TEST(MusicLimiter, HoldsTheCeilingWithoutTouchingQuietAudio) {
    std::vector<float> quiet = StereoSine(440.0, 0.3f, 1.0);
    std::vector<float> copy = quiet;
    Limit(copy, 0.5f, 64, 0.05f);
    EXPECT_EQ(0, std::memcmp(copy.data(), quiet.data(), quiet.size() * sizeof(float)));

    std::vector<float> loud = StereoSine(440.0, 0.3f, 1.0);
    const size_t spike = 2 * 20000;
    loud[spike] = 4.0f;
    loud[spike + 1] = -4.0f;
    Limit(loud, 0.5f, 64, 0.05f);
    EXPECT_LE(PeakLevel(loud), 0.5f);
    EXPECT_NEAR(std::fabs(loud[spike]), 0.5f, 0.01f);
    // The gain ramps down over the look-ahead instead of jumping: no sample
    // next to the spike is cut to the spike's gain.
    float gainBefore = std::fabs(loud[spike - 2 * 60]) / std::max(1e-6f, std::fabs(quiet[spike - 2 * 60]));
    EXPECT_GT(gainBefore, 0.2f);
    EXPECT_LT(gainBefore, 1.0f);
    // Far from the spike the gain has recovered.
    EXPECT_NEAR(loud[2 * 40000], quiet[2 * 40000], 0.01f);
}

TEST(MusicWav, HeaderAndSamplesArePcm16Stereo) {
    std::vector<float> samples = {0.0f, 0.5f, -1.0f, 1.5f, -0.25f, 1.0f};
    std::vector<uint8_t> wav = EncodeWav(samples);
    ASSERT_EQ(wav.size(), 44u + 6 * 2);
    auto u32 = [&](size_t at) { return wav[at] | wav[at + 1] << 8 | wav[at + 2] << 16 | static_cast<uint32_t>(wav[at + 3]) << 24; };
    auto s16 = [&](size_t at) { return static_cast<int16_t>(wav[at] | wav[at + 1] << 8); };
    EXPECT_EQ(0, std::memcmp(wav.data(), "RIFF", 4));
    EXPECT_EQ(u32(4), wav.size() - 8);
    EXPECT_EQ(0, std::memcmp(wav.data() + 8, "WAVEfmt ", 8));
    EXPECT_EQ(s16(20), 1);                      // PCM
    EXPECT_EQ(s16(22), 2);                      // stereo
    EXPECT_EQ(u32(24), 44100u);
    EXPECT_EQ(u32(28), 44100u * 4);
    EXPECT_EQ(s16(34), 16);
    EXPECT_EQ(0, std::memcmp(wav.data() + 36, "data", 4));
    EXPECT_EQ(u32(40), 12u);
    const int16_t expected[] = {0, 16384, -32767, 32767, -8192, 32767};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s16(44 + 2 * i), expected[i]) << i;
}
