#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AudioTestOutput.h"
#include "audio/AudioBackend.h"
#include "support/TestSupport.h"

namespace {

double Seconds(uint32_t stream, uint32_t mode = kAudioPosByte)
{
    return audioChannelBytes2Seconds(stream, audioChannelGetPosition(stream, mode));
}

uint32_t OpenTone(const char* name)
{
    return audioStreamCreateFile(false, TestData(name).c_str(), 0, 0, kAudioStreamPrescan);
}

TEST(AudioBackend, CallsOutOfOrderFailWithTheirCode)
{
    EXPECT_EQ(OpenTone("tone-1s.mp3"), 0u);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorInit);
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorAlready);

    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(TestData("tone-1s.mp3"), bytes));
    std::vector<uint32_t> streams;
    uint32_t s;
    while (streams.size() < 100 && (s = audioStreamCreateFile(true, bytes.data(), 0, bytes.size(), 0)) != 0) {
        streams.push_back(s);
    }
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorNoChannel);
    ASSERT_GE(streams.size(), 2u);

    // A freed stream's handle stays dead, even once its slot is taken again.
    ASSERT_TRUE(audioStreamFree(streams[0]));
    uint32_t next = OpenTone("tone-1s.mp3");
    ASSERT_NE(next, 0u);
    EXPECT_FALSE(audioChannelPlay(streams[0], false));
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorHandle);
    EXPECT_TRUE(audioFree());
    EXPECT_EQ(audioChannelGetPosition(next, kAudioPosByte), UINT64_MAX);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorHandle);
    EXPECT_FALSE(audioFree());
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorInit);
}

TEST(AudioBackend, StopHoldsThePositionAndPlayResumes)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    uint32_t stream = OpenTone("tone-2s.mp3");
    ASSERT_NE(stream, 0u);
    // Upper bounds allow the device's first buffer and its pace being a few percent fast.
    const double slack = 0.03;
    uint64_t played = SDL_GetPerformanceCounter();
    ASSERT_TRUE(audioChannelPlay(stream, false));
    SDL_Delay(300);
    ASSERT_TRUE(audioChannelStop(stream));
    double held = Seconds(stream);
    EXPECT_GT(held, 0.1);
    EXPECT_LT(held, SecondsSince(played) * 1.05 + slack);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);
    SDL_Delay(100);
    EXPECT_EQ(Seconds(stream), held);

    // Resuming goes on from there, never back.
    uint64_t resumed = SDL_GetPerformanceCounter();
    ASSERT_TRUE(audioChannelPlay(stream, false));
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActivePlaying);
    EXPECT_GE(Seconds(stream), held);
    SDL_Delay(200);
    double now = Seconds(stream);
    EXPECT_GT(now, held + 0.05);
    EXPECT_LT(now, held + SecondsSince(resumed) * 1.05 + slack + 512 / 44100.0);

    // A restart plays from the first sample again.
    uint64_t restarted = SDL_GetPerformanceCounter();
    ASSERT_TRUE(audioChannelPlay(stream, true));
    EXPECT_EQ(Seconds(stream), 0.0);
    SDL_Delay(100);
    now = Seconds(stream);
    EXPECT_GT(now, 0.0);
    EXPECT_LT(now, SecondsSince(restarted) * 1.05 + slack);
    EXPECT_TRUE(audioFree());
}

// The dummy driver paces itself with whole-millisecond sleeps, so its speed is
// off by a few percent: the position is held to what the device took, and to
// the wall clock only as closely as the driver keeps to it. Each read is
// bracketed by wall-clock reads, so that a test thread preempted under load
// does not pass for a jumping clock.
TEST(AudioBackend, PositionFollowsWhatTheDevicePlaysSmoothly)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    ASSERT_TRUE(audioSetConfig(kAudioConfigUpdatePeriod, 16));
    uint32_t stream = OpenTone("tone-2s.mp3");
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(Seconds(stream), 0.0);

    struct Sample {
        double before, after;  // wall clock around the reads
        double handedBefore, position, handedAfter, positionAfter;
        bool playing;
    };
    std::vector<Sample> samples;
    uint64_t start = SDL_GetPerformanceCounter();
    ASSERT_TRUE(audioChannelPlay(stream, false));
    while (SecondsSince(start) < 4.0) {
        Sample s;
        s.before = SecondsSince(start);
        s.handedBefore = Seconds(stream, kAudioPosByte | kAudioPosDecode);
        s.position = Seconds(stream);
        s.handedAfter = Seconds(stream, kAudioPosByte | kAudioPosDecode);
        s.playing = audioChannelIsActive(stream) == kAudioActivePlaying;
        s.positionAfter = Seconds(stream);
        s.after = SecondsSince(start);
        samples.push_back(s);
        if (!s.playing) {
            break;
        }
        SDL_Delay(1);
    }
    EXPECT_TRUE(audioFree());
    ASSERT_FALSE(samples.back().playing);

    const double buffer = 512 / 44100.0;
    double worstLead = 0.0;
    double worstTrail = 0.0;
    double worstJump = 0.0;
    double sumW = 0, sumP = 0, sumWW = 0, sumWP = 0;
    int n = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const Sample& previous = samples[i - 1];
        ASSERT_GE(s.position, previous.positionAfter) << "at " << s.before << " s";
        ASSERT_GE(s.positionAfter, s.position) << "at " << s.before << " s";
        // Playing exactly until the last frame is heard.
        EXPECT_TRUE(s.position < 2.0 || !s.playing) << "at " << s.before << " s";
        EXPECT_TRUE(s.playing || s.positionAfter == 2.0) << "at " << s.before << " s";
        worstLead = std::max(worstLead, s.position - s.handedAfter);
        worstTrail = std::max(worstTrail, s.handedBefore - s.position);
        if (previous.position > 0.0 && s.position < 2.0) {
            // Faster than the wall clock only by the clock's small rate correction.
            double wall = s.after - previous.before;
            worstJump = std::max(worstJump, (s.position - previous.position) - 1.1 * wall);
            double mid = (s.before + s.after) / 2;
            sumW += mid;
            sumP += s.position;
            sumWW += mid * mid;
            sumWP += mid * s.position;
            ++n;
        }
    }
    EXPECT_LE(worstLead, 0.0) << "ahead of the frames handed to the device";
    EXPECT_LT(worstTrail, 2 * buffer) << "further behind the device than its buffer";
    EXPECT_LT(worstJump, 0.0005) << "a step, not a smooth clock";
    ASSERT_GT(n, 100);
    double slope = (n * sumWP - sumW * sumP) / (n * sumWW - sumW * sumW);
    EXPECT_NEAR(slope, 1.0, 0.08) << "seconds of music per second of wall clock";
}

}  // namespace
