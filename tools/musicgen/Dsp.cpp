#include "Dsp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace musicgen {

uint32_t Rng::Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
}

float Rng::Unit() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }
float Rng::Bipolar() { return Unit() * 2.0f - 1.0f; }

double NoteHz(double midiNote) { return 440.0 * std::pow(2.0, (midiNote - 69.0) / 12.0); }
float DbToGain(float db) { return std::pow(10.0f, db / 20.0f); }
float Clamp(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }

static float PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return static_cast<float>(t + t - t * t - 1.0);
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return static_cast<float>(t * t + t + t + 1.0);
    }
    return 0.0f;
}

float Saw::Next(double hz) {
    double dt = hz / kSampleRate;
    if (dt > 0.49) dt = 0.49;
    float v = static_cast<float>(2.0 * phase - 1.0) - PolyBlep(phase, dt);
    phase += dt;
    if (phase >= 1.0) phase -= 1.0;
    return v;
}

float Pulse::Next(double hz, float width) {
    // The second saw trails the first by the pulse width; their difference is a pulse.
    if (!started) {
        b.phase = std::fmod(1.0 + a.phase - Clamp(width, 0.01f, 0.99f), 1.0);
        started = true;
    }
    return 0.5f * (a.Next(hz) - b.Next(hz));
}

void Svf::Set(float hz, float resonance) {
    float nyquistSafe = Clamp(hz, 10.0f, 0.45f * kSampleRate);
    g = static_cast<float>(std::tan(kPi * nyquistSafe / kSampleRate));
    k = 2.0f - 1.98f * Clamp(resonance, 0.0f, 1.0f);
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
}

Svf::Out Svf::Process(float x) {
    float v3 = x - ic2;
    float v1 = a1 * ic1 + a2 * v3;
    float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    return {v2, v1, x - k * v1 - v2};
}

double Biquad::Process(double x) {
    double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

Biquad PeakingEq(double hz, double gainDb, double q) {
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * kPi * hz / kSampleRate;
    const double alpha = std::sin(w0) / (2.0 * q);
    const double a0 = 1.0 + alpha / a;
    Biquad f;
    f.b0 = (1.0 + alpha * a) / a0;
    f.b1 = -2.0 * std::cos(w0) / a0;
    f.b2 = (1.0 - alpha * a) / a0;
    f.a1 = f.b1;
    f.a2 = (1.0 - alpha / a) / a0;
    return f;
}

float Adsr(double t, double hold, float attack, float decay, float sustain, float release) {
    if (t < 0.0) return 0.0f;
    auto held = [&](double u) -> float {
        if (u < attack) return static_cast<float>(u / attack);
        return sustain + (1.0f - sustain) * std::exp(-static_cast<float>(u - attack) / decay);
    };
    if (t < hold) return held(t);
    return held(hold) * std::exp(-static_cast<float>(t - hold) / release);
}

PingPong::PingPong(size_t delaySamples) : bufL(delaySamples, 0.0f), bufR(delaySamples, 0.0f) {
    dampL.Set(3500.0f, 0.0f);
    dampR.Set(3500.0f, 0.0f);
}

void PingPong::Process(float inL, float inR, float& outL, float& outR) {
    float dl = bufL[pos], dr = bufR[pos];
    // Mono input enters on the left only, the feedback crosses over: echoes bounce.
    bufL[pos] = 0.5f * (inL + inR) + feedback * dampR.Low(dr);
    bufR[pos] = feedback * dampL.Low(dl);
    pos = (pos + 1) % bufL.size();
    outL = dl;
    outR = dr;
}

Reverb::Reverb() {
    static const int combLen[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int apLen[4] = {556, 441, 341, 225};
    const int spread = 23;
    for (int i = 0; i < 8; ++i) {
        combL[i].buf.assign(combLen[i], 0.0f);
        combR[i].buf.assign(combLen[i] + spread, 0.0f);
    }
    for (int i = 0; i < 4; ++i) {
        apL[i].buf.assign(apLen[i], 0.0f);
        apR[i].buf.assign(apLen[i] + spread, 0.0f);
    }
}

static float RunComb(Reverb::Comb& c, float in, float feedback, float damp) {
    float out = c.buf[c.pos];
    c.store = out * (1.0f - damp) + c.store * damp;
    c.buf[c.pos] = in + c.store * feedback;
    if (++c.pos == c.buf.size()) c.pos = 0;
    return out;
}

static float RunAllPass(Reverb::AllPass& a, float in) {
    float delayed = a.buf[a.pos];
    a.buf[a.pos] = in + delayed * 0.5f;
    if (++a.pos == a.buf.size()) a.pos = 0;
    return delayed - in;
}

void Reverb::Process(float inL, float inR, float& outL, float& outR) {
    float in = (inL + inR) * 0.015f;
    float l = 0.0f, r = 0.0f;
    for (int i = 0; i < 8; ++i) {
        l += RunComb(combL[i], in, feedback, damp);
        r += RunComb(combR[i], in, feedback, damp);
    }
    for (int i = 0; i < 4; ++i) {
        l = RunAllPass(apL[i], l);
        r = RunAllPass(apR[i], r);
    }
    outL = l;
    outR = r;
}

// K-weighting: a high-shelf for the head's acoustic effect and a high-pass
// that ignores the lowest bass, designed for any sample rate from the
// analogue prototypes.
static void KWeighting(Biquad& shelf, Biquad& highPass) {
    double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(kPi * f0 / kSampleRate);
    double vh = std::pow(10.0, gainDb / 20.0);
    double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    shelf.b0 = (vh + vb * k / q + k * k) / a0;
    shelf.b1 = 2.0 * (k * k - vh) / a0;
    shelf.b2 = (vh - vb * k / q + k * k) / a0;
    shelf.a1 = 2.0 * (k * k - 1.0) / a0;
    shelf.a2 = (1.0 - k / q + k * k) / a0;

    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(kPi * f0 / kSampleRate);
    a0 = 1.0 + k / q + k * k;
    highPass.b0 = 1.0;
    highPass.b1 = -2.0;
    highPass.b2 = 1.0;
    highPass.a1 = 2.0 * (k * k - 1.0) / a0;
    highPass.a2 = (1.0 - k / q + k * k) / a0;
}

double IntegratedLoudness(const std::vector<float>& interleaved) {
    size_t frames = interleaved.size() / 2;
    const size_t step = kSampleRate / 10;  // 100 ms hop, 400 ms blocks
    if (frames < 4 * step) return -70.0;
    size_t steps = frames / step;
    std::vector<double> power(steps, 0.0);
    for (int ch = 0; ch < 2; ++ch) {
        Biquad shelf, highPass;
        KWeighting(shelf, highPass);
        for (size_t i = 0; i < steps * step; ++i) {
            double y = highPass.Process(shelf.Process(interleaved[2 * i + ch]));
            power[i / step] += y * y;
        }
    }
    std::vector<double> blocks;
    for (size_t s = 0; s + 4 <= steps; ++s)
        blocks.push_back((power[s] + power[s + 1] + power[s + 2] + power[s + 3]) / (4.0 * step));
    auto loudness = [](double meanSquare) { return -0.691 + 10.0 * std::log10(std::max(meanSquare, 1e-20)); };
    auto gatedMean = [&](double gate, double& mean) {
        double sum = 0.0;
        size_t n = 0;
        for (double b : blocks)
            if (loudness(b) > gate) { sum += b; ++n; }
        mean = n ? sum / n : 0.0;
        return n;
    };
    double mean = 0.0;
    if (!gatedMean(-70.0, mean)) return -70.0;
    double relativeGate = loudness(mean) - 10.0;
    if (!gatedMean(relativeGate, mean)) return -70.0;
    return loudness(mean);
}

float PeakLevel(const std::vector<float>& interleaved) {
    float peak = 0.0f;
    for (float s : interleaved) peak = std::max(peak, std::fabs(s));
    return peak;
}

void Limit(std::vector<float>& interleaved, float ceiling, int lookahead, float releaseSeconds) {
    size_t frames = interleaved.size() / 2;
    if (!frames || lookahead < 1) return;
    size_t la = static_cast<size_t>(lookahead);
    std::vector<float> need(frames);
    for (size_t i = 0; i < frames; ++i) {
        float p = std::max(std::fabs(interleaved[2 * i]), std::fabs(interleaved[2 * i + 1]));
        need[i] = p > ceiling ? ceiling / p : 1.0f;
    }
    // Minimum over the coming window, then a moving average over the past
    // window: the averaged gain has reached each peak's need when the peak plays.
    std::vector<float> ahead(frames);
    for (size_t i = 0; i < frames; ++i) {
        float m = 1.0f;
        for (size_t j = i; j < std::min(frames, i + la); ++j) m = std::min(m, need[j]);
        ahead[i] = m;
    }
    double sum = 0.0;
    float release = 1.0f - std::exp(-1.0f / (releaseSeconds * kSampleRate));
    float gain = 1.0f;
    for (size_t i = 0; i < frames; ++i) {
        sum += ahead[i];
        if (i >= la) sum -= ahead[i - la];
        float avg = static_cast<float>(sum / static_cast<double>(std::min(i + 1, la)));
        if (i < la) avg = std::min(avg, ahead[i]);
        gain = std::min(avg, gain + (1.0f - gain) * release);
        interleaved[2 * i] *= gain;
        interleaved[2 * i + 1] *= gain;
    }
    // Rounding in the average may leave a sample a hair above the ceiling.
    for (float& s : interleaved) s = Clamp(s, -ceiling, ceiling);
}

static void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xff);
    out.push_back((v >> 8) & 0xff);
}
static void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

std::vector<uint8_t> EncodeWav(const std::vector<float>& interleaved) {
    uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() / 2 * 4);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 2);
    Put32(out, kSampleRate);
    Put32(out, kSampleRate * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, dataBytes);
    for (size_t i = 0; i + 1 < interleaved.size(); i += 2) {
        for (int ch = 0; ch < 2; ++ch) {
            float s = Clamp(interleaved[i + ch], -1.0f, 1.0f);
            long v = std::lround(s * 32767.0f);
            Put16(out, static_cast<uint32_t>(static_cast<int16_t>(v)) & 0xffff);
        }
    }
    return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace musicgen
