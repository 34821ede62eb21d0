#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
    // A buffer behind, plus one more for a reading thread that the machine's
    // load delays between its two reads.
    EXPECT_LT(worstTrail, 3 * buffer) << "further behind the device than its buffer";
    EXPECT_LT(worstJump, 0.0005) << "a step, not a smooth clock";
    ASSERT_GT(n, 100);
    double slope = (n * sumWP - sumW * sumP) / (n * sumWW - sumW * sumW);
    EXPECT_NEAR(slope, 1.0, 0.08) << "seconds of music per second of wall clock";
}

// ---- Seeking and looping ----------------------------------------------------

constexpr uint64_t kTone2sFrames = 88200;

// Closes the output however the test ends, so that a failed assertion does
// not leave it open for the next test.
struct OutputCloser {
    ~OutputCloser() { audioFree(); }
};

// The 2 s tone open on the real-time dummy output.
class DummyTone : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(driver.ok);
        ASSERT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
        stream = OpenTone("tone-2s.mp3");
        ASSERT_NE(stream, 0u);
    }

    AudioDriver driver{"dummy"};
    OutputCloser closer;
    uint32_t stream = 0;
};

TEST_F(DummyTone, SeekLoopAndLengthRefuseBadArguments)
{
    uint32_t dead = stream + (1u << 4);
    EXPECT_EQ(audioChannelGetLength(stream, kAudioPosByte), kTone2sFrames * 4);
    auto refused = [](bool ok, int code, const char* what) {
        EXPECT_FALSE(ok) << what;
        EXPECT_EQ(audioErrorGetCode(), code) << what;
    };
    refused(audioChannelSetPosition(dead, 0, kAudioPosByte), kAudioErrorHandle, "seek, dead handle");
    refused(audioChannelSetLoop(dead, 0, 4000), kAudioErrorHandle, "loop, dead handle");
    refused(audioChannelGetLength(dead, kAudioPosByte) != UINT64_MAX, kAudioErrorHandle, "length, dead handle");
    refused(audioChannelSetPosition(stream, 0, kAudioPosDecode), kAudioErrorNotAvailable, "seek, decode mode");
    refused(audioChannelSetPosition(stream, 0, 1), kAudioErrorNotAvailable, "seek, unknown mode");
    refused(audioChannelGetLength(stream, kAudioPosDecode) != UINT64_MAX, kAudioErrorNotAvailable,
            "length, decode mode");
    refused(audioChannelSetLoop(stream, 4000, 4000), kAudioErrorIllegalParam, "empty loop");
    refused(audioChannelSetLoop(stream, 8000, 4000), kAudioErrorIllegalParam, "reversed loop");
    refused(audioChannelSetLoop(stream, 4, 7), kAudioErrorIllegalParam, "loop empty once rounded to frames");
    refused(audioChannelSetLoop(stream, 0, kTone2sFrames * 4 + 4), kAudioErrorIllegalParam, "loop past the end");
    EXPECT_TRUE(audioChannelSetLoop(stream, 0, kTone2sFrames * 4));
    EXPECT_TRUE(audioChannelSetLoop(stream, 0, 0));

    // A seek rounds down to a frame and clamps to the end, where the stream stays ended.
    ASSERT_TRUE(audioChannelSetPosition(stream, 4000 * 4 + 3, kAudioPosByte));
    EXPECT_EQ(audioChannelGetPosition(stream, kAudioPosByte), 4000u * 4);
    ASSERT_TRUE(audioChannelSetPosition(stream, kTone2sFrames * 4 + 1000, kAudioPosByte));
    EXPECT_EQ(audioChannelGetPosition(stream, kAudioPosByte), kTone2sFrames * 4);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    SDL_Delay(50);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActiveStopped);
    EXPECT_EQ(audioChannelGetPosition(stream, kAudioPosByte), kTone2sFrames * 4);
    // Back from the end it plays again.
    ASSERT_TRUE(audioChannelSetPosition(stream, 44100 * 4, kAudioPosByte));
    ASSERT_TRUE(audioChannelPlay(stream, false));
    SDL_Delay(100);
    EXPECT_EQ(audioChannelIsActive(stream), kAudioActivePlaying);
    EXPECT_GT(Seconds(stream), 1.05);
    EXPECT_TRUE(audioFree());
}

// Heard positions after seeks and across loop wraps, on the real-time dummy
// driver. Bounds allow the clock's rate correction and a test thread that
// sleeps longer than asked.
TEST_F(DummyTone, PositionReadsTheSeekTargetThenGrowsAndWrapsAtTheLoop)
{
    auto frames = [s = stream](uint32_t mode = kAudioPosByte) { return audioChannelGetPosition(s, mode) / 4; };

    ASSERT_TRUE(audioChannelSetPosition(stream, 30001 * 4, kAudioPosByte));
    EXPECT_EQ(frames(), 30001u);
    EXPECT_EQ(frames(kAudioPosByte | kAudioPosDecode), 30001u);
    ASSERT_TRUE(audioChannelPlay(stream, false));
    SDL_Delay(300);
    uint64_t before = frames();
    EXPECT_GT(before, 30001u + 4410);

    // Backwards while playing: exactly the target, then on from there, not held at the old position.
    ASSERT_TRUE(audioChannelSetPosition(stream, 10000 * 4, kAudioPosByte));
    EXPECT_EQ(frames(), 10000u);
    uint64_t seeked = SDL_GetPerformanceCounter();
    SDL_Delay(150);
    uint64_t after = frames();
    EXPECT_GT(after, 10000u + 2205);
    EXPECT_LE(after, 10000u + static_cast<uint64_t>(SecondsSince(seeked) * 44100 * 1.1) + 1024);
    EXPECT_LT(after, before);

    // A 0.2 s loop entered from 0.05 s before it.
    const uint64_t start = 50000, end = 58820;
    ASSERT_TRUE(audioChannelSetLoop(stream, start * 4, end * 4));
    ASSERT_TRUE(audioChannelSetPosition(stream, (start - 2205) * 4, kAudioPosByte));
    uint64_t previous = frames();
    double previousAt = 0.0;
    uint64_t played = SDL_GetPerformanceCounter();
    int wraps = 0;
    while (SecondsSince(played) < 1.0) {
        SDL_Delay(1);
        uint64_t now = frames();
        double at = SecondsSince(played);
        ASSERT_GE(now, start - 2205);
        ASSERT_LT(now, end);
        if (now < previous) {
            // What was heard beyond the end, counted on from the start.
            uint64_t span = static_cast<uint64_t>((at - previousAt) * 44100 * 1.1) + 64;
            EXPECT_LE((end - previous) + (now - start), span) << "wrap " << wraps;
            ++wraps;
        }
        previous = now;
        previousAt = at;
    }
    EXPECT_GE(wraps, 3);
    EXPECT_LE(wraps, 5);
    EXPECT_TRUE(audioFree());
}

// ---- What the device plays after seeks and across loops (disk driver) ------

// Runs `drive` on tone-2s.mp3 on the disk driver, then lets it play out;
// returns everything the device wrote.
std::vector<int16_t> RecordTone(const std::function<void(uint32_t)>& drive)
{
    TempLayout dir(false, false);
    std::string out = dir.Path("played.raw");
    {
        AudioDriver driver("disk", out);
        EXPECT_TRUE(driver.ok) << SDL_GetError();
        EXPECT_TRUE(audioInit(kAudioDefaultDevice, 44100, 0, nullptr, nullptr));
        OutputCloser closer;
        uint32_t stream = OpenTone("tone-2s.mp3");
        EXPECT_NE(stream, 0u);
        drive(stream);
        uint64_t start = SDL_GetPerformanceCounter();
        while (audioChannelIsActive(stream) == kAudioActivePlaying && SecondsSince(start) < 20.0) {
            SDL_Delay(1);
        }
    }
    return ReadSamples(out);
}

uint64_t DecodeFrame(uint32_t stream)
{
    return audioChannelGetPosition(stream, kAudioPosByte | kAudioPosDecode) / 4;
}

void WaitForDecodeFrame(uint32_t stream, uint64_t frame)
{
    uint64_t start = SDL_GetPerformanceCounter();
    while (DecodeFrame(stream) < frame && SecondsSince(start) < 10.0) {
        SDL_Delay(1);
    }
}

// Where the music starts in `played`, given that its first frame is the
// reference's frame `from`: silence before Play comes in whole device buffers.
size_t MusicStart(const std::vector<int16_t>& played, const std::vector<int16_t>& reference, size_t from)
{
    std::vector<int16_t> rest(reference.begin() + static_cast<std::ptrdiff_t>(from * 2), reference.end());
    size_t start = FirstSoundingFrame(played) - FirstSoundingFrame(rest);
    EXPECT_EQ(start % 512, 0u);
    return start;
}

struct SeekCase {
    const char* name;
    uint64_t seekAt;  // seek once decoding has passed this frame; 0: before Play
    uint64_t target;
};

void PrintTo(const SeekCase& c, std::ostream* out) { *out << c.name; }

class DiskSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(DiskSeek, DevicePlaysTheDecodedMusicFromTheTargetFrame)
{
    const SeekCase& c = GetParam();
    std::vector<int16_t> reference = ReadSamples(TestData("tone-2s.raw"));
    ASSERT_EQ(reference.size() / 2, kTone2sFrames);
    std::vector<int16_t> played = RecordTone([&c](uint32_t stream) {
        if (c.seekAt == 0) {
            EXPECT_TRUE(audioChannelSetPosition(stream, c.target * 4 + 2, kAudioPosByte));
            EXPECT_TRUE(audioChannelPlay(stream, false));
        } else {
            EXPECT_TRUE(audioChannelPlay(stream, false));
            WaitForDecodeFrame(stream, c.seekAt);
            EXPECT_TRUE(audioChannelSetPosition(stream, c.target * 4, kAudioPosByte));
        }
    });
    size_t at = MusicStart(played, reference, c.seekAt == 0 ? c.target : 0);
    if (c.seekAt != 0) {
        // Whole device buffers of the music from its start, then the jump.
        size_t before = MatchingFrames(played, at, reference, 0);
        EXPECT_GE(before, c.seekAt);
        EXPECT_EQ(before % 512, 0u);
        at += before;
    }
    EXPECT_EQ(MatchingFrames(played, at, reference, c.target), kTone2sFrames - c.target);
    EXPECT_TRUE(SilentFrom(played, at + kTone2sFrames - c.target));
}

INSTANTIATE_TEST_SUITE_P(Tone, DiskSeek,
                         ::testing::Values(SeekCase{"WhileStopped", 0, 30001},
                                           SeekCase{"ForwardWhilePlaying", 10000, 60001},
                                           SeekCase{"BackWhilePlaying", 50000, 20001}),
                         [](const ::testing::TestParamInfo<SeekCase>& info) { return std::string(info.param.name); });

struct LoopCase {
    const char* name;
    uint64_t from, start, end;
};

void PrintTo(const LoopCase& c, std::ostream* out) { *out << c.name; }

class DiskLoop : public ::testing::TestWithParam<LoopCase> {};

// Plays from `from` into the loop, lets decoding wrap three times, clears the
// loop and plays out: the output is the music from `from` to `end`, then whole
// rounds of [start, end), then the music from `start` to its end, with nothing
// between.
TEST_P(DiskLoop, WrapsWithoutAGap)
{
    const LoopCase& c = GetParam();
    std::vector<int16_t> reference = ReadSamples(TestData("tone-2s.raw"));
    std::vector<int16_t> played = RecordTone([&c](uint32_t stream) {
        EXPECT_TRUE(audioChannelSetLoop(stream, c.start * 4, c.end * 4));
        EXPECT_TRUE(audioChannelSetPosition(stream, c.from * 4, kAudioPosByte));
        EXPECT_TRUE(audioChannelPlay(stream, false));
        int wraps = 0;
        uint64_t previous = DecodeFrame(stream);
        uint64_t start = SDL_GetPerformanceCounter();
        while (wraps < 3 && SecondsSince(start) < 10.0) {
            SDL_Delay(1);
            uint64_t now = DecodeFrame(stream);
            wraps += now < previous ? 1 : 0;
            previous = now;
        }
        EXPECT_TRUE(audioChannelSetLoop(stream, 0, 0));
    });
    size_t at = MusicStart(played, reference, c.from);
    ASSERT_EQ(MatchingFrames(played, at, reference, c.from), c.end - c.from);
    at += c.end - c.from;
    const size_t round = c.end - c.start;
    int rounds = 0;
    while (!SilentFrom(played, at) && rounds < 1000) {
        size_t n = MatchingFrames(played, at, reference, c.start);
        ASSERT_GE(n, round) << "round " << rounds << " breaks off " << n << " frames in";
        at += n;
        ++rounds;
    }
    EXPECT_GE(rounds, 3);  // one a wrap, the last one played out to the end
    EXPECT_EQ(at - MusicStart(played, reference, c.from),
              (c.end - c.from) + (rounds - 1) * round + (kTone2sFrames - c.start));
}

INSTANTIATE_TEST_SUITE_P(Tone, DiskLoop,
                         ::testing::Values(LoopCase{"InsideTheMusic", 29001, 30001, 39001},
                                           LoopCase{"ToTheEnd", 80001, 70001, kTone2sFrames}),
                         [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

}  // namespace
