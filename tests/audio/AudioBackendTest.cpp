#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/AudioBackend.h"
#include "support/TestSupport.h"
#include "AudioTestOutput.h"

namespace {

double Seconds(uint32_t stream)
{
    return audioChannelBytes2Seconds(stream, audioChannelGetPosition(stream, kAudioPosByte));
}

TEST(AudioBackend, RejectsCallsOutOfOrderAndBadArguments)
{
    std::string tone = TestData("tone-1s.mp3");
    EXPECT_FALSE(audioFree());
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorInit);
    EXPECT_EQ(audioStreamCreateFile(false, tone.c_str(), 0, 0, kAudioStreamPrescan), 0u);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorInit);

    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    EXPECT_FALSE(audioInit(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorIllegalParam);
    EXPECT_FALSE(audioInit(99, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorDevice);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(audioErrorGetCode(), kAudioOk);

    const uint32_t badConfigs[][2] = {{kAudioConfigUpdatePeriod, 0}, {kAudioConfigUpdatePeriod, 1000}, {2, 16}};
    for (const auto& config : badConfigs) {
        EXPECT_FALSE(audioSetConfig(config[0], config[1]));
        EXPECT_EQ(audioErrorGetCode(), kAudioErrorIllegalParam);
    }
    EXPECT_TRUE(audioSetConfig(kAudioConfigUpdatePeriod, 16));
    EXPECT_EQ(audioErrorGetCode(), kAudioOk);

    EXPECT_EQ(audioStreamCreateFile(false, tone.c_str(), 0, 0, 0x1), 0u);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorIllegalParam);
    EXPECT_EQ(audioStreamCreateFile(true, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorIllegalParam);

    uint32_t stream = audioStreamCreateFile(false, tone.c_str(), 0, 0, kAudioStreamPrescan);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audioChannelGetPosition(stream, 1), UINT64_MAX);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorNotAvailable);
    EXPECT_EQ(audioChannelGetPosition(stream, kAudioPosByte), 0u);
    EXPECT_EQ(audioErrorGetCode(), kAudioOk);

    // A freed stream's handle stays dead, even once its slot is reused.
    ASSERT_TRUE(audioStreamFree(stream));
    uint32_t next = audioStreamCreateFile(false, tone.c_str(), 0, 0, kAudioStreamPrescan);
    ASSERT_NE(next, 0u);
    EXPECT_NE(next, stream);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorHandle);
    EXPECT_FALSE(audioChannelPlay(stream, false));
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorHandle);
    EXPECT_LT(audioChannelBytes2Seconds(stream, 0), 0.0);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorHandle);
    EXPECT_DOUBLE_EQ(audioChannelBytes2Seconds(next, 176400), 1.0);

    EXPECT_FALSE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorAlready);
    EXPECT_TRUE(audioFree());
    EXPECT_EQ(audioChannelIsActive(next), kAudioActiveStopped);
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorHandle);
}

TEST(AudioBackend, StreamsFromMemoryAndSlotsRunOut)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(TestData("tone-1s.mp3"), bytes));
    std::vector<uint32_t> streams;
    for (;;) {
        uint32_t s = audioStreamCreateFile(true, bytes.data(), 0, bytes.size(), kAudioStreamPrescan);
        if (s == 0) {
            break;
        }
        streams.push_back(s);
        ASSERT_LT(streams.size(), 100u);
    }
    EXPECT_EQ(audioErrorGetCode(), kAudioErrorNoChannel);
    EXPECT_GE(streams.size(), 2u);
    // The block is copied: the caller may drop it at once.
    bytes.assign(bytes.size(), '\0');
    EXPECT_TRUE(audioChannelPlay(streams[0], false));
    SDL_Delay(100);
    EXPECT_EQ(audioChannelIsActive(streams[0]), kAudioActivePlaying);
    EXPECT_GT(Seconds(streams[0]), 0.03);
    EXPECT_TRUE(audioFree());
}

TEST(AudioBackend, StopHoldsThePositionAndPlayResumes)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    ASSERT_TRUE(audioSetConfig(kAudioConfigUpdatePeriod, 16));
    uint32_t stream = audioStreamCreateFile(false, TestData("tone-2s.mp3").c_str(), 0, 0, kAudioStreamPrescan);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);

    ASSERT_TRUE(audioChannelPlay(stream, false));
    SDL_Delay(300);
    ASSERT_TRUE(audioChannelStop(stream));
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);
    double held = Seconds(stream);
    EXPECT_NEAR(held, 0.3, 0.05);
    SDL_Delay(100);
    EXPECT_EQ(Seconds(stream), held);

    // Resuming never goes back; the buffer already handed over is not replayed.
    ASSERT_TRUE(audioChannelPlay(stream, false));
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActivePlaying);
    SDL_Delay(200);
    double resumed = Seconds(stream);
    EXPECT_GT(resumed, held + 0.15);
    EXPECT_LT(resumed, held + 0.25);

    // A restart plays from the first sample again.
    ASSERT_TRUE(audioChannelPlay(stream, true));
    EXPECT_EQ(Seconds(stream), 0.0);
    SDL_Delay(100);
    EXPECT_LT(Seconds(stream), 0.12);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActivePlaying);
    EXPECT_TRUE(audioFree());
}

TEST(AudioBackend, FinishedStreamStaysStopped)
{
    TempLayout dir(false, false);
    AudioDriver driver("disk", dir.Path("played.raw"));
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    uint32_t stream = audioStreamCreateFile(false, TestData("tone-1s.mp3").c_str(), 0, 0, kAudioStreamPrescan);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    uint64_t start = SDL_GetPerformanceCounter();
    while (audioChannelIsActive(stream) == kAudioActivePlaying && SecondsSince(start) < 5.0) {
        SDL_Delay(1);
    }
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);
    EXPECT_DOUBLE_EQ(Seconds(stream), 1.0);
    EXPECT_TRUE(audioChannelPlay(stream, false));
    SDL_Delay(20);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);
    EXPECT_DOUBLE_EQ(Seconds(stream), 1.0);
    EXPECT_TRUE(audioFree());
}

// The dummy driver paces itself with whole-millisecond sleeps, so its speed is
// off by a few percent: the position is held to what the device took, and to
// the wall clock only as closely as the driver keeps to it.
TEST(AudioBackend, PositionFollowsWhatTheDevicePlaysSmoothly)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
    ASSERT_TRUE(audioSetConfig(kAudioConfigUpdatePeriod, 16));
    uint32_t stream = audioStreamCreateFile(false, TestData("tone-2s.mp3").c_str(), 0, 0, kAudioStreamPrescan);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(Seconds(stream), 0.0);

    struct Sample {
        double wall;
        double position;
        double handed;
    };
    std::vector<Sample> samples;
    uint64_t start = SDL_GetPerformanceCounter();
    ASSERT_TRUE(audioChannelPlay(stream, false));
    double ended = -1.0;
    double allHanded = -1.0;
    while (SecondsSince(start) < 4.0) {
        bool playing = audioChannelIsActive(stream) == kAudioActivePlaying;
        double wall = SecondsSince(start);
        double handed = audioChannelGetPosition(stream, kAudioPosByte | kAudioPosDecode) / 176400.0;
        samples.push_back({wall, Seconds(stream), handed});
        if (allHanded < 0.0 && handed >= 2.0) {
            allHanded = wall;
        }
        if (!playing) {
            ended = wall;
            break;
        }
        SDL_Delay(1);
    }
    EXPECT_TRUE(audioFree());

    // Playing until the last frame handed over has been heard, not longer.
    ASSERT_GT(allHanded, 0.0);
    EXPECT_GE(ended, allHanded);
    EXPECT_LT(ended - allHanded, 0.05);
    EXPECT_FLOAT_EQ(static_cast<float>(samples.back().position), 2.0f);

    const double buffer = 512 / 44100.0;  // the device buffer
    double worstLead = 0.0;
    double worstTrail = 0.0;
    double worstJump = 0.0;
    double sumW = 0, sumP = 0, sumWW = 0, sumWP = 0;
    int n = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        ASSERT_GE(s.position, samples[i - 1].position) << "at " << s.wall << " s";
        worstLead = std::max(worstLead, s.position - s.handed);
        worstTrail = std::max(worstTrail, s.handed - s.position);
        if (samples[i - 1].position > 0.0 && s.position < 2.0) {
            // Faster than the wall clock only by the clock's small rate correction.
            double step = s.position - samples[i - 1].position;
            worstJump = std::max(worstJump, step - 1.1 * (s.wall - samples[i - 1].wall));
            sumW += s.wall;
            sumP += s.position;
            sumWW += s.wall * s.wall;
            sumWP += s.wall * s.position;
            ++n;
        }
    }
    EXPECT_LE(worstLead, 0.0) << "ahead of the frames handed to the device";
    EXPECT_LT(worstTrail, 2 * buffer) << "behind what the device plays";
    EXPECT_LT(worstJump, 0.0005) << "a step, not a smooth clock";
    ASSERT_GT(n, 100);
    double slope = (n * sumWP - sumW * sumP) / (n * sumWW - sumW * sumW);
    EXPECT_NEAR(slope, 1.0, 0.08) << "seconds of music per second of wall clock";
}

}  // namespace
