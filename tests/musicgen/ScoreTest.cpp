#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Dsp.h"
#include "Score.h"

using namespace musicgen;

namespace {

double Rms(const std::vector<float>& x, long from, long frames) {
    double sum = 0.0;
    for (long i = from; i < from + frames; ++i) sum += x[2 * i] * x[2 * i] + x[2 * i + 1] * x[2 * i + 1];
    return std::sqrt(sum / (2.0 * frames));
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(MusicScore, TimingFollowsTheRowClock) {
    // 110 BPM: a bar of four beats is 96218.18 samples, 64 rows.
    EXPECT_EQ(BarSample(0), 0);
    EXPECT_EQ(BarSample(1), 96218);
    EXPECT_EQ(BarSample(11), 1058400);  // 24 s exactly
    EXPECT_EQ(BarSample(0.25), 24055);
    EXPECT_EQ(SongFrames(), 6927709);
    double seconds = SongFrames() / 44100.0;
    EXPECT_NEAR(seconds * (kBpm / 60.0) * 16.0, kSongBars * kRowsPerBar, 0.01);
    EXPECT_GE(seconds, 120.0);
    EXPECT_LE(seconds, 180.0);
}

TEST(MusicScore, SectionsAndHitsLieOnTheGrid) {
    const auto& sections = Sections();
    ASSERT_GE(sections.size(), 6u);
    EXPECT_EQ(sections.front().bar, 0);
    for (size_t i = 0; i < sections.size(); ++i) {
        EXPECT_EQ(sections[i].bar % 4, 0) << sections[i].name;
        EXPECT_LT(sections[i].bar, kSongBars) << sections[i].name;
        if (i) {
            EXPECT_GT(sections[i].bar, sections[i - 1].bar) << sections[i].name;
        }
    }
    for (const Hit& h : Hits()) {
        EXPECT_GE(h.bar, 0.0);
        EXPECT_LT(h.bar, kSongBars);
        double row = h.bar * kRowsPerBar;
        EXPECT_EQ(row, std::floor(row)) << "hit at bar " << h.bar << " is off the row grid";
    }
}

TEST(MusicScore, CommittedSectionMapMatchesTheScore) {
    std::string map = SectionMap();
    EXPECT_NE(map.find("6927709 samples"), std::string::npos);
    EXPECT_NE(map.find("4608 rows"), std::string::npos);
    for (const Section& s : Sections()) {
        std::string row = "| " + std::string(s.name) + " | " + std::to_string(s.bar) + "-";
        EXPECT_NE(map.find(row), std::string::npos) << s.name;
        EXPECT_NE(map.find("| " + std::to_string(s.bar * 64) + " |"), std::string::npos) << s.name;
    }
    EXPECT_EQ(ReadText(std::string(OSTREL_SOURCE_DIR) + "/choreography/SECTIONS.md"), map)
        << "choreography/SECTIONS.md is stale: run scripts/make-music.sh";
}

class MusicRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() { song = new std::vector<float>(RenderSong(10)); }
    static void TearDownTestSuite() { delete song; }
    static std::vector<float>* song;
};
std::vector<float>* MusicRender::song = nullptr;

TEST_F(MusicRender, IsDeterministic) {
    std::vector<float> again = RenderSong(10);
    ASSERT_EQ(again.size(), song->size());
    EXPECT_EQ(0, std::memcmp(again.data(), song->data(), again.size() * sizeof(float)));
}

TEST_F(MusicRender, HasTheLengthLevelAndCeiling) {
    EXPECT_EQ(static_cast<long>(song->size()), 2 * SongFrames(10));
    EXPECT_LE(PeakLevel(*song), std::pow(10.0f, kCeilingDb / 20.0f));
    EXPECT_NEAR(IntegratedLoudness(*song), kTargetLufs, 0.5);
    for (float s : *song) ASSERT_TRUE(std::isfinite(s));
}

TEST_F(MusicRender, KicksLandOnTheBeats) {
    // The kick starts at bar 8: from then on every beat is clearly louder in
    // the 10 ms after it than in the 10 ms before it; before bar 8 no beat is.
    const long window = 441;
    auto jump = [&](double bar) {
        long at = BarSample(bar);
        return Rms(*song, at, window) / Rms(*song, at - window, window);
    };
    for (int beat = 0; beat < 8; ++beat) EXPECT_GT(jump(8 + beat / 4.0), 1.6) << "beat " << beat;
    for (int beat = 1; beat < 4; ++beat) EXPECT_LT(jump(7 + beat / 4.0), 1.3) << "beat " << beat;
}

TEST_F(MusicRender, IsStereo) {
    double side = 0.0, mid = 0.0;
    for (size_t i = 0; i < song->size(); i += 2) {
        double l = (*song)[i], r = (*song)[i + 1];
        side += (l - r) * (l - r);
        mid += (l + r) * (l + r);
    }
    EXPECT_GT(side, 0.05 * mid);
    EXPECT_LT(side, mid);
}
