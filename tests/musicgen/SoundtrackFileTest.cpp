#include <gtest/gtest.h>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "Dsp.h"
#include "Score.h"

namespace {

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};

// Decodes the whole file gaplessly, as the player does.
bool Decode(const std::string& path, Decoded& out) {
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return false;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    bool ok = mpg123_open(mh, path.c_str()) == MPG123_OK;
    int encoding = 0;
    ok = ok && mpg123_getformat(mh, &out.rate, &out.channels, &encoding) == MPG123_OK;
    std::vector<unsigned char> buf(65536);
    while (ok) {
        size_t done = 0;
        err = mpg123_read(mh, buf.data(), buf.size(), &done);
        const int16_t* s = reinterpret_cast<const int16_t*>(buf.data());
        out.samples.insert(out.samples.end(), s, s + done / 2);
        if (err == MPG123_DONE) break;
        if (err != MPG123_OK && err != MPG123_NEW_FORMAT) ok = false;
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return ok;
}

// The committed soundtrack, decoded once for the level checks, as floats.
class SoundtrackLevels : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static Decoded d;
        static bool ok = mpg123_init() == MPG123_OK &&
                         Decode(std::string(OSTREL_SOURCE_DIR) + "/res/audio/melody.mp3", d) && d.channels == 2;
        music.clear();
        if (!ok) return;
        music.reserve(d.samples.size());
        for (int16_t s : d.samples) music.push_back(s / 32768.0f);
    }
    void SetUp() override { ASSERT_FALSE(music.empty()) << "res/audio/melody.mp3 does not decode"; }

    // Bars [from, to) as interleaved stereo.
    static std::vector<float> Bars(double from, double to) {
        long a = std::min<long>(musicgen::BarSample(from), music.size() / 2);
        long b = std::min<long>(musicgen::BarSample(to), music.size() / 2);
        return std::vector<float>(music.begin() + 2 * a, music.begin() + 2 * b);
    }
    static double Lufs(double from, double to) { return musicgen::IntegratedLoudness(Bars(from, to)); }
    static int SectionBar(const char* name) {
        for (const musicgen::Section& s : musicgen::Sections())
            if (std::string(s.name) == name) return s.bar;
        ADD_FAILURE() << "no section " << name;
        return 0;
    }

    static std::vector<float> music;
};
std::vector<float> SoundtrackLevels::music;

// The largest level between samples: each channel oversampled four times by
// a Hann-windowed sinc around every sample that comes near the top.
double TruePeakDb(const std::vector<float>& x) {
    const int kTaps = 16;
    double peak = 0.0;
    long frames = static_cast<long>(x.size() / 2);
    for (long i = kTaps; i + kTaps < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            double here = std::fabs(x[2 * i + c]);
            peak = std::max(peak, here);
            if (here < 0.5) continue;
            for (int phase = 1; phase < 4; ++phase) {
                double t = phase / 4.0, v = 0.0;
                for (int k = -kTaps + 1; k <= kTaps; ++k) {
                    double u = k - t;
                    double sinc = std::sin(musicgen::kPi * u) / (musicgen::kPi * u);
                    double window = 0.5 + 0.5 * std::cos(musicgen::kPi * u / kTaps);
                    v += x[2 * (i + k) + c] * sinc * window;
                }
                peak = std::max(peak, std::fabs(v));
            }
        }
    return 20.0 * std::log10(peak + 1e-12);
}

// Mono sample correlation of two spans of bars of the same length.
double Correlation(const std::vector<float>& a, const std::vector<float>& b) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i + 1 < std::min(a.size(), b.size()); i += 2) {
        double x = a[i] + a[i + 1], y = b[i] + b[i + 1];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return ab / std::sqrt(aa * bb + 1e-12);
}

}  // namespace

TEST_F(SoundtrackLevels, PlaysAtTheLoudnessTargetUnderTheTruePeakCeiling) {
    EXPECT_NEAR(musicgen::IntegratedLoudness(music), -14.0, 1.0);
    EXPECT_LE(TruePeakDb(music), -1.0);
}

TEST_F(SoundtrackLevels, TheClimaxIsLouderThanMainAndTheRollsSitUnderTheDrops) {
    const int main = SectionBar("main"), climax = SectionBar("climax");
    const double mainLufs = Lufs(main, SectionBar("break"));
    const double climaxLufs = Lufs(climax, SectionBar("outro"));
    EXPECT_GE(climaxLufs, mainLufs + 1.0) << "main " << mainLufs << " LUFS, climax " << climaxLufs;
    // The bar before each drop holds its snare roll; the drop's first bar is louder.
    for (int drop : {main, climax}) {
        const double roll = Lufs(drop - 1, drop), hit = Lufs(drop, drop + 1);
        EXPECT_GE(hit, roll + 0.5) << "bar " << drop - 1 << " at " << roll << " LUFS, drop at " << hit;
    }
}

TEST_F(SoundtrackLevels, TheSecondEightOfEachDropIsNoCopyOfTheFirst) {
    // Bars 8-14 of a drop against bars 0-6: a repeat correlates at 0.98 and up,
    // eight bars that develop (counter-melody, bass figure, drums) stay clearly under.
    for (const char* name : {"main", "climax"}) {
        const int first = SectionBar(name);
        const double c = Correlation(Bars(first, first + 7), Bars(first + 8, first + 15));
        EXPECT_LT(c, 0.95) << name << " repeats itself: correlation " << c;
    }
}

TEST(SoundtrackFile, DecodesToTheMappedLengthWithBeatOneAtSampleZero) {
    ASSERT_EQ(mpg123_init(), MPG123_OK);
    Decoded d;
    ASSERT_TRUE(Decode(std::string(OSTREL_SOURCE_DIR) + "/res/audio/melody.mp3", d));
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    long frames = static_cast<long>(d.samples.size() / 2);
    EXPECT_EQ(frames, musicgen::SongFrames());

    // The section map states the same length.
    std::ifstream in(std::string(OSTREL_SOURCE_DIR) + "/choreography/SECTIONS.md");
    std::stringstream map;
    map << in.rdbuf();
    std::smatch m;
    std::string text = map.str();
    ASSERT_TRUE(std::regex_search(text, m, std::regex("Total: .* = ([0-9]+) samples")));
    EXPECT_EQ(std::stol(m[1]), frames);

    // Beat one is sample 0: the decoded music lines up with a fresh render of
    // its first bars, with no encoder delay left in and nothing cut off.
    std::vector<float> render = musicgen::RenderSong(10);
    const long from = musicgen::BarSample(8.5), span = 8192, maxLag = 1500;
    long bestLag = maxLag + 1;
    double best = -1.0;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (long i = from; i < from + span; ++i) {
            double x = d.samples[2 * (i + lag)], y = render[2 * i];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        double c = xy / std::sqrt(xx * yy + 1e-9);
        if (c > best) { best = c; bestLag = lag; }
    }
    EXPECT_EQ(bestLag, 0);
    EXPECT_GT(best, 0.9);
    // And nothing is clipped.
    int peak = 0;
    for (int16_t s : d.samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_LT(peak, 32767 * 0.9);
}
