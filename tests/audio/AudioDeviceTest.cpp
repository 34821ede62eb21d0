#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "AudioTestOutput.h"
#include "audio/AudioDevice.h"
#include "support/TestSupport.h"

namespace {

// The program's own lines; SDL adds some of its own (the disk driver's notice).
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

// Plays a file through AudioDevice on the disk driver to its end; returns what
// the device wrote (16-bit stereo at 44100 Hz) and the position at the end.
std::vector<int16_t> PlayToDisk(const std::string& mp3, float* endPosition)
{
    TempLayout dir(false, false);
    std::string out = dir.Path("played.raw");
    LogCapture log;
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
        *endPosition = audio.GetPosition();
        SDL_Delay(20);
        EXPECT_FALSE(audio.IsPlaying()) << "a finished soundtrack stays stopped";
        EXPECT_EQ(audio.GetPosition(), *endPosition);
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
    std::vector<int16_t> reference;
    for (int16_t sample : ReadSamples(TestData(file.reference))) {  // mono onto both channels
        reference.insert(reference.end(), 3 - file.referenceChannels, sample);
    }
    // Gapless: the encoder's delay and padding are not part of the music.
    ASSERT_EQ(reference.size() / 2, file.frames);

    float endPosition = -1.0f;
    std::vector<int16_t> played = PlayToDisk(TestData(file.mp3), &endPosition);
    EXPECT_FLOAT_EQ(endPosition, file.frames / 44100.0f);

    size_t referenceStart = FirstSoundingFrame(reference);
    size_t playedStart = FirstSoundingFrame(played);
    ASSERT_GE(playedStart, referenceStart);
    // Silence in whole device buffers (512 frames, the power of two nearest 16 ms) until Play.
    EXPECT_EQ((playedStart - referenceStart) % 512, 0u);
    size_t offset = (playedStart - referenceStart) * 2;
    ASSERT_GE(played.size(), offset + reference.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < played.size() - offset; ++i) {
        mismatches += played[offset + i] != (i < reference.size() ? reference[i] : 0) ? 1 : 0;
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, DiskPlayback,
                         ::testing::Values(DecodedFile{"tone-1s.mp3", "tone-1s.raw", 2, 44100},
                                           DecodedFile{"tone-2s.mp3", "tone-2s.raw", 2, 88200},
                                           DecodedFile{"tone-mono.mp3", "tone-mono.raw", 1, 44100}));

TEST(DiskPlayback, OtherRatesPlayAt44100)
{
    float endPosition = -1.0f;
    std::vector<int16_t> played = PlayToDisk(TestData("tone-22050.mp3"), &endPosition);
    size_t start = FirstSoundingFrame(played);
    size_t end = played.size() / 2;
    while (end > start && played[end * 2 - 2] == 0 && played[end * 2 - 1] == 0) {
        --end;
    }
    // One second of a 1 kHz tone, neither sped up nor cut short.
    EXPECT_NEAR(static_cast<double>(end - start), 44100.0, 64.0);
    EXPECT_NEAR(endPosition, 1.0f, 64.0f / 44100.0f);
    int crossings = 0;
    for (size_t i = start + 1; i < end; ++i) {
        crossings += (played[i * 2 - 2] < 0) != (played[i * 2] < 0) ? 1 : 0;
    }
    EXPECT_NEAR(crossings, 2000, 10);
}

TEST(DiskPlayback, PlaysAgainAfterSeekingBackFromTheEnd)
{
    std::vector<int16_t> reference = ReadSamples(TestData("tone-1s.raw"));
    TempLayout dir(false, false);
    std::string out = dir.Path("played.raw");
    LogCapture log;
    {
        AudioDriver driver("disk", out);
        ASSERT_TRUE(driver.ok) << SDL_GetError();
        AudioDevice audio;
        ASSERT_TRUE(audio.Init());
        ASSERT_TRUE(audio.BuildSoundtrack(TestData("tone-1s.mp3").c_str(), 110.0f));
        EXPECT_EQ(audio.GetLength(), 1.0);
        for (int round = 0; round < 2; ++round) {
            audio.Play();
            EXPECT_TRUE(audio.IsPlaying()) << "round " << round;
            uint64_t start = SDL_GetPerformanceCounter();
            while (audio.IsPlaying() && SecondsSince(start) < 10.0) {
                SDL_Delay(1);
            }
            EXPECT_EQ(audio.GetPosition(), 1.0f) << "round " << round;
            // The frame nearest the time: 22050.
            EXPECT_TRUE(audio.SetPosition(0.50001));
            EXPECT_EQ(audio.GetPosition(), 0.5f);
            EXPECT_FALSE(audio.IsPlaying()) << "a seek alone does not play";
        }
        audio.Free();
    }
    EXPECT_EQ(SystemLines(log), std::vector<std::string>{});

    // The whole music, silence, then its second half.
    std::vector<int16_t> played = ReadSamples(out);
    size_t at = FirstSoundingFrame(played) - FirstSoundingFrame(reference);
    ASSERT_EQ(MatchingFrames(played, at, reference, 0), 44100u);
    std::vector<int16_t> rest(played.begin() + static_cast<std::ptrdiff_t>((at + 44100) * 2), played.end());
    size_t again = at + 44100 + FirstSoundingFrame(rest);
    EXPECT_EQ(again % 512, 0u) << "replay starts with a device buffer";
    EXPECT_EQ(MatchingFrames(played, again, reference, 22050), 22050u);
    EXPECT_TRUE(SilentFrom(played, again + 22050));
}

std::string Head(const std::string& file, size_t bytes)
{
    std::string all;
    ReadWholeFile(TestData(file), all);
    return all.substr(0, bytes);
}

TEST(DiskPlayback, TruncatedFilePlaysWhatItHolds)
{
    TempLayout dir(false, false);
    dir.WriteFile("cut.mp3", Head("tone-1s.mp3", 8000));
    std::vector<int16_t> reference = ReadSamples(TestData("tone-1s.raw"));
    float endPosition = -1.0f;
    std::vector<int16_t> played = PlayToDisk(dir.Path("cut.mp3"), &endPosition);
    size_t heard = static_cast<size_t>(endPosition * 44100.0f + 0.5f) * 2;
    EXPECT_GT(heard, reference.size() / 4);
    EXPECT_LT(heard, reference.size());
    // The same music as the whole file, from its first sample.
    size_t start = FirstSoundingFrame(played) * 2;
    size_t referenceStart = FirstSoundingFrame(reference) * 2;
    ASSERT_GE(played.size(), start + heard - referenceStart);
    size_t mismatches = 0;
    for (size_t i = 0; i + referenceStart < heard; ++i) {
        mismatches += played[start + i] != reference[referenceStart + i] ? 1 : 0;
    }
    EXPECT_EQ(mismatches, 0u);
}

// ---- Failures -----------------------------------------------------------------

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

struct BadFile {
    const char* name;
    const char* bytes;  // written as the file, unless a path is given
    std::string (*path)(const TempLayout& dir);
    int code;
};

const BadFile kBadFiles[] = {
    {"Missing", nullptr, [](const TempLayout& dir) { return dir.Path("absent.mp3"); }, 4},
    {"Directory", nullptr, [](const TempLayout& dir) { return dir.Res(); }, 4},
    {"Empty", "", nullptr, 5},
    {"HeaderOnly", "head", nullptr, 5},
    {"Garbage", "garbage", nullptr, 5},
    {"Text", "text", nullptr, 5},
    {"WaveFile", nullptr, [](const TempLayout&) { return TestData("wave-named.mp3"); }, 5},
};

class BadSoundtrack : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadSoundtrack, BuildFailsWithTwoLinesAndNothingPlays)
{
    const BadFile& bad = GetParam();
    TempLayout dir(false, false);
    std::string path = bad.path ? bad.path(dir) : dir.Path("bad.mp3");
    if (bad.bytes) {
        std::string kind = bad.bytes;
        dir.WriteFile("bad.mp3", kind == "head"      ? Head("tone-1s.mp3", 100)
                                 : kind == "garbage" ? Garbage(65536)
                                 : kind == "text"    ? std::string(4000, 'x') + "not music\n"
                                                     : "");
    }
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    AudioDevice audio;
    ASSERT_TRUE(audio.Init());

    // The decoder's own complaints must not reach stderr: only log lines are written.
    std::string stderrPath = dir.Path("stderr.txt");
    fflush(stderr);
    int savedStderr = dup(2);
    int capture = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(capture, 2);
    LogCapture log;
    EXPECT_FALSE(audio.BuildSoundtrack(path.c_str(), 110.0f));
    fflush(stderr);
    dup2(savedStderr, 2);
    close(savedStderr);
    close(capture);
    std::string printed;
    ReadWholeFile(stderrPath, printed);
    EXPECT_EQ(printed, "");
    std::vector<std::string> expected = {"Failed to create soundtrack in bass audio device!",
                                         "BASS Error Code: " + std::to_string(bad.code)};
    EXPECT_EQ(SystemLines(log), expected);
    EXPECT_EQ(log.Errors().size(), 2u);
    EXPECT_EQ(audio.GetTempo(), 0.0f);
    EXPECT_FALSE(audio.IsPlaying());
    audio.Free();
}

INSTANTIATE_TEST_SUITE_P(Files, BadSoundtrack, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(AudioFailure, EachFailedCallLogsItsLineAndTheCode)
{
    LogCapture log;
    AudioDevice audio;
    EXPECT_FALSE(audio.Init());  // no audio subsystem
    {
        AudioDriver driver("dummy");
        ASSERT_TRUE(driver.ok);
        ASSERT_TRUE(audio.Init());
        AudioDevice second;
        EXPECT_FALSE(second.Init());
        EXPECT_FALSE(audio.BuildSoundtrack("no/such/file.mp3", 110.0f));
        // Without a soundtrack every call fails on the dead handle and carries on.
        audio.Play();
        EXPECT_FALSE(audio.IsPlaying());
        EXPECT_EQ(audio.GetPosition(), 0.0f);
        audio.Stop();
        audio.Free();
    }
    std::vector<std::string> expected = {
        "Failed to initialize BASS Audio Device!", "BASS Error Code: 3",
        "Failed to initialize BASS Audio Device!", "BASS Error Code: 2",
        "Failed to create soundtrack in bass audio device!", "BASS Error Code: 4",
        "Failed to play soundtrack in bass audio!", "BASS Error Code: 6",
        "Failed to get the soundtrack offset from bass audio!", "BASS Error Code: 6",
        "Failed to stop soundtrack in bass audio!", "BASS Error Code: 6",
    };
    EXPECT_EQ(SystemLines(log), expected);
    EXPECT_EQ(log.Errors().size(), expected.size());
}

TEST(AudioFailure, SeekAndLoopFailuresLogTheirLineAndTheCode)
{
    LogCapture log;
    AudioDriver driver("dummy");
    ASSERT_TRUE(driver.ok);
    AudioDevice audio;
    ASSERT_TRUE(audio.Init());
    // Without a soundtrack: the dead handle.
    EXPECT_FALSE(audio.SetPosition(0.5));
    EXPECT_FALSE(audio.SetLoop(0.25, 0.5));
    audio.ClearLoop();
    EXPECT_LT(audio.GetLength(), 0.0);
    ASSERT_TRUE(audio.BuildSoundtrack(TestData("tone-1s.mp3").c_str(), 110.0f));
    EXPECT_FALSE(audio.SetLoop(0.5, 0.25));
    EXPECT_FALSE(audio.SetLoop(0.5, 1.01));
    EXPECT_TRUE(audio.SetLoop(0.25, 1.0));
    audio.ClearLoop();
    // Before the start is the start.
    EXPECT_TRUE(audio.SetPosition(-3.0));
    EXPECT_EQ(audio.GetPosition(), 0.0f);
    audio.Free();
    std::vector<std::string> expected = {
        "Failed to set the soundtrack position in bass audio!", "BASS Error Code: 6",
        "Failed to set the soundtrack loop in bass audio!", "BASS Error Code: 6",
        "Failed to set the soundtrack loop in bass audio!", "BASS Error Code: 6",
        "Failed to get the soundtrack length from bass audio!", "BASS Error Code: 6",
        "Failed to set the soundtrack loop in bass audio!", "BASS Error Code: 7",
        "Failed to set the soundtrack loop in bass audio!", "BASS Error Code: 7",
    };
    EXPECT_EQ(SystemLines(log), expected);
}

}  // namespace
