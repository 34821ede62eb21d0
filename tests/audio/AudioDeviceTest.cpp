#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/AudioDevice.h"
#include "support/TestSupport.h"
#include "AudioTestOutput.h"

namespace {

// The program's own lines; SDL adds lines of its own (the disk driver's notice).
std::vector<std::string> SystemLines(const LogCapture& log)
{
    std::vector<std::string> lines;
    for (const LogLine& line : log.Lines()) {
        if (line.category == SDL_LOG_CATEGORY_SYSTEM) {
            lines.push_back(line.message);
        }
    }
    return lines;
}

const int kDeviceBufferFrames = 512;  // the power of two nearest 16 ms at 44100 Hz

// Plays a file through AudioDevice on the disk driver to its end and returns
// what the device wrote, 16-bit stereo at 44100 Hz.
std::vector<int16_t> PlayToDisk(const std::string& mp3, float* endPosition, LogCapture& log)
{
    TempLayout dir(false, false);
    std::string out = dir.Path("played.raw");
    {
        AudioDriver driver("disk", out);
        EXPECT_TRUE(driver.ok) << SDL_GetError();
        AudioDevice audio;
        EXPECT_TRUE(audio.Init());
        EXPECT_TRUE(audio.BuildSoundtrack(mp3.c_str(), 110.0f));
        audio.Play();
        uint64_t start = SDL_GetPerformanceCounter();
        while (audio.IsPlaying() && SecondsSince(start) < 20.0) {
            SDL_Delay(1);
        }
        EXPECT_FALSE(audio.IsPlaying());
        *endPosition = audio.GetPosition();
        audio.Stop();
        audio.Free();
    }
    EXPECT_EQ(SystemLines(log), std::vector<std::string>{});
    return ReadSamples(out);
}

struct DecodedFile {
    const char* mp3;
    const char* reference;  // the mpg123 program's decode
    int referenceChannels;
    size_t frames;
};

class DiskPlayback : public ::testing::TestWithParam<DecodedFile> {};

TEST_P(DiskPlayback, DevicePlaysExactlyTheDecodedMusic)
{
    const DecodedFile& file = GetParam();
    std::vector<int16_t> reference = ReadSamples(TestData(file.reference));
    if (file.referenceChannels == 1) {
        std::vector<int16_t> stereo;
        for (int16_t s : reference) {
            stereo.push_back(s);
            stereo.push_back(s);
        }
        reference.swap(stereo);
    }
    // Gapless decoding: the encoder's delay and padding are not part of the music.
    ASSERT_EQ(reference.size() / 2, file.frames);

    LogCapture log;
    float endPosition = -1.0f;
    std::vector<int16_t> played = PlayToDisk(TestData(file.mp3), &endPosition, log);
    EXPECT_FLOAT_EQ(endPosition, file.frames / 44100.0f);

    size_t referenceStart = FirstSoundingFrame(reference);
    size_t playedStart = FirstSoundingFrame(played);
    ASSERT_LT(referenceStart, file.frames);
    ASSERT_GE(playedStart, referenceStart);
    // The device ran silent in whole 16 ms buffers until the music started.
    EXPECT_EQ((playedStart - referenceStart) % kDeviceBufferFrames, 0u);

    size_t offset = (playedStart - referenceStart) * 2;
    ASSERT_GE(played.size(), offset + reference.size());
    size_t mismatches = 0;
    size_t firstMismatch = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        if (played[offset + i] != reference[i] && mismatches++ == 0) {
            firstMismatch = i;
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first at sample " << firstMismatch;
    size_t sounding = 0;
    for (size_t i = offset + reference.size(); i < played.size(); ++i) {
        sounding += played[i] != 0 ? 1 : 0;
    }
    EXPECT_EQ(sounding, 0u) << "sound after the end of the music";
}

INSTANTIATE_TEST_SUITE_P(Files, DiskPlayback,
                         ::testing::Values(DecodedFile{"tone-1s.mp3", "tone-1s.raw", 2, 44100},
                                           DecodedFile{"tone-2s.mp3", "tone-2s.raw", 2, 88200},
                                           DecodedFile{"tone-mono.mp3", "tone-mono.raw", 1, 44100}),
                         [](const ::testing::TestParamInfo<DecodedFile>& info) {
                             std::string name = info.param.mp3;
                             name = name.substr(0, name.find('.'));
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

TEST(DiskPlaybackRate, OtherRatesPlayAt44100)
{
    LogCapture log;
    float endPosition = -1.0f;
    std::vector<int16_t> played = PlayToDisk(TestData("tone-22050.mp3"), &endPosition, log);
    size_t start = FirstSoundingFrame(played);
    size_t end = played.size() / 2;
    while (end > start && played[end * 2 - 2] == 0 && played[end * 2 - 1] == 0) {
        --end;
    }
    // One second of a 1 kHz tone, neither sped up nor slowed down.
    EXPECT_NEAR(static_cast<double>(end - start), 44100.0, 64.0);
    EXPECT_NEAR(endPosition, 1.0f, 64.0f / 44100.0f);
    int crossings = 0;
    for (size_t i = start + 1; i < end; ++i) {
        crossings += (played[i * 2 - 2] < 0) != (played[i * 2] < 0) ? 1 : 0;
    }
    EXPECT_NEAR(crossings, 2000, 10);
}

// ---- Failures --------------------------------------------------------------

struct BadFile {
    const char* name;
    std::string (*make)(const TempLayout& dir);
    int code;
};

std::string Write(const TempLayout& dir, const std::string& bytes)
{
    dir.WriteFile("audio/bad.mp3", bytes);
    return dir.Path("audio/bad.mp3");
}

std::string Head(const std::string& file, size_t bytes)
{
    std::string all;
    ReadWholeFile(TestData(file), all);
    return all.substr(0, bytes);
}

std::string Garbage(size_t bytes)
{
    std::string out;
    uint32_t x = 12345;
    for (size_t i = 0; i < bytes; ++i) {
        x = x * 1664525u + 1013904223u;
        out.push_back(static_cast<char>(x >> 24));
    }
    return out;
}

const BadFile kBadFiles[] = {
    {"Missing", [](const TempLayout& dir) { return dir.Path("audio/absent.mp3"); }, 4},
    {"Directory", [](const TempLayout& dir) { return dir.Path("audio"); }, 4},
    {"Empty", [](const TempLayout& dir) { return Write(dir, ""); }, 5},
    {"HeaderOnly", [](const TempLayout& dir) { return Write(dir, Head("tone-1s.mp3", 100)); }, 5},
    {"Garbage", [](const TempLayout& dir) { return Write(dir, Garbage(65536)); }, 5},
    {"Text", [](const TempLayout& dir) { return Write(dir, std::string(4000, 'x') + "not music\n"); }, 5},
    {"WaveFile", [](const TempLayout&) { return TestData("wave-named.mp3"); }, 5},
};

class BadSoundtrack : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadSoundtrack, BuildFailsWithTwoLinesAndNothingPlays)
{
    TempLayout dir(false, false);
    dir.WriteFile("audio/.keep", "");
    std::string path = GetParam().make(dir);
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    AudioDevice audio;
    ASSERT_TRUE(audio.Init());

    LogCapture log;
    EXPECT_FALSE(audio.BuildSoundtrack(path.c_str(), 110.0f));
    std::vector<std::string> expected = {"Failed to create soundtrack in bass audio device!",
                                         "BASS Error Code: " + std::to_string(GetParam().code)};
    EXPECT_EQ(SystemLines(log), expected);
    for (const LogLine& line : log.Lines()) {
        if (line.category == SDL_LOG_CATEGORY_SYSTEM) {
            EXPECT_EQ(line.priority, SDL_LOG_PRIORITY_ERROR);
        }
    }
    EXPECT_EQ(audio.GetTempo(), 0.0f);
    EXPECT_FALSE(audio.IsPlaying());
    audio.Free();
}

INSTANTIATE_TEST_SUITE_P(Files, BadSoundtrack, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(BadSoundtrack, TruncatedFilePlaysWhatItHolds)
{
    TempLayout dir(false, false);
    std::string path = Write(dir, Head("tone-1s.mp3", 8000));
    std::vector<int16_t> reference = ReadSamples(TestData("tone-1s.raw"));
    LogCapture log;
    float endPosition = -1.0f;
    std::vector<int16_t> played = PlayToDisk(path, &endPosition, log);
    size_t start = FirstSoundingFrame(played) * 2;
    size_t referenceStart = FirstSoundingFrame(reference) * 2;
    size_t heard = static_cast<size_t>(endPosition * 44100.0f + 0.5f) * 2;
    // About half of the music, ending cleanly where the data ends.
    EXPECT_GT(heard, reference.size() / 4);
    EXPECT_LT(heard, reference.size());
    ASSERT_GE(played.size(), start + heard - referenceStart);
    size_t mismatches = 0;
    for (size_t i = 0; i + referenceStart < heard; ++i) {
        mismatches += played[start + i] != reference[referenceStart + i] ? 1 : 0;
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(AudioFailure, CallsOnAFailedSoundtrackLogAndCarryOn)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    AudioDevice audio;
    ASSERT_TRUE(audio.Init());
    {
        LogCapture quiet;
        EXPECT_FALSE(audio.BuildSoundtrack("no/such/file.mp3", 110.0f));
    }
    LogCapture log;
    audio.Play();
    EXPECT_FALSE(audio.IsPlaying());
    EXPECT_EQ(audio.GetPosition(), 0.0f);
    audio.Stop();
    audio.Free();
    std::vector<std::string> expected = {
        "Failed to play soundtrack in bass audio!", "BASS Error Code: 6",
        "Failed to get the soundtrack offset from bass audio!", "BASS Error Code: 6",
        "Failed to stop soundtrack in bass audio!", "BASS Error Code: 6",
    };
    EXPECT_EQ(log.Errors(), expected);
    EXPECT_EQ(SystemLines(log), expected);
}

TEST(AudioFailure, InitWithoutAnOutputFails)
{
    ASSERT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    LogCapture log;
    AudioDevice audio;
    EXPECT_FALSE(audio.Init());
    std::vector<std::string> expected = {"Failed to initialize BASS Audio Device!", "BASS Error Code: 3"};
    EXPECT_EQ(SystemLines(log), expected);
    audio.Free();
}

TEST(AudioFailure, SecondInitFailsAndTheFirstDeviceStays)
{
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    AudioDevice first;
    AudioDevice second;
    ASSERT_TRUE(first.Init());
    LogCapture log;
    EXPECT_FALSE(second.Init());
    std::vector<std::string> expected = {"Failed to initialize BASS Audio Device!", "BASS Error Code: 2"};
    EXPECT_EQ(SystemLines(log), expected);
    EXPECT_TRUE(first.BuildSoundtrack(TestData("tone-1s.mp3").c_str(), 110.0f));
    EXPECT_EQ(first.GetTempo(), 110.0f);
    first.Free();
}

}  // namespace
