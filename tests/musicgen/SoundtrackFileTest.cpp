#include <gtest/gtest.h>

#include <mpg123.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

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

}  // namespace

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
