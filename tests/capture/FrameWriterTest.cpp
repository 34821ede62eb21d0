// The capture's writer thread: frames reach the sink whole, in order, while
// the caller goes on; a failing sink stops the rest and says why.

#include <gtest/gtest.h>

#include <stb_image.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "FrameSink.h"

namespace {

class RecordingSink : public FrameSink {
public:
    explicit RecordingSink(long failAt = -1) : failAt(failAt) {}
    bool Write(long frame, const uint8_t* rgba) override
    {
        // Slower than the caller, so that frames queue up.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (frame == failAt) {
            error = "disk full at frame " + std::to_string(frame);
            return false;
        }
        frames.push_back(frame);
        firstBytes.push_back(rgba[0]);
        lastBytes.push_back(rgba[kBytes - 1]);
        return true;
    }
    bool Close() override { return true; }

    static constexpr size_t kBytes = 64 * 36 * 4;
    long failAt;
    std::vector<long> frames;
    std::vector<uint8_t> firstBytes, lastBytes;
};

TEST(FrameWriter, FramesReachTheSinkWholeAndInOrder)
{
    RecordingSink sink;
    {
        FrameWriter writer(sink, RecordingSink::kBytes);
        std::vector<uint8_t> pixels(RecordingSink::kBytes);
        for (long n = 100; n < 120; ++n) {
            // The caller reuses its buffer at once, as the capture loop does.
            pixels.assign(RecordingSink::kBytes, (uint8_t)n);
            ASSERT_TRUE(writer.Submit(n, pixels));
            ASSERT_EQ(pixels.size(), RecordingSink::kBytes);
        }
        ASSERT_TRUE(writer.Finish());
        ASSERT_EQ(sink.frames.size(), 20u);
    }
    for (size_t i = 0; i < sink.frames.size(); ++i) {
        EXPECT_EQ(sink.frames[i], (long)(100 + i));
        EXPECT_EQ(sink.firstBytes[i], (uint8_t)(100 + i));
        EXPECT_EQ(sink.lastBytes[i], (uint8_t)(100 + i));
    }
}

TEST(FrameWriter, AFailedWriteStopsTheRestAndSaysWhy)
{
    RecordingSink sink(5);
    FrameWriter writer(sink, RecordingSink::kBytes);
    std::vector<uint8_t> pixels(RecordingSink::kBytes);
    long n = 0;
    while (n < 1000 && writer.Submit(n, pixels)) ++n;
    EXPECT_LT(n, 1000) << "Submit went on after the sink failed";
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(writer.Error(), "disk full at frame 5");
    EXPECT_EQ(sink.frames, (std::vector<long>{0, 1, 2, 3, 4}));
}

}  // namespace

// The frame PNGs are written by our own encoder: any decoder must read back
// exactly the pixels GL gave, top row first, at every size; a write that fails
// says why and leaves no cut-off file behind.
TEST(FramePng, DecodesToTheSamePixelsTopRowFirst)
{
    char dir[] = "/tmp/ostrel-png-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{640, 360}}) {
        std::vector<uint8_t> rgba((size_t)width * height * 4);
        for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = (uint8_t)((i * 7919u) >> 3 ^ (i / 4));
        const std::string path = std::string(dir) + "/f.png";
        std::string error;
        ASSERT_TRUE(WriteFramePng(path, width, height, rgba.data(), error)) << error;

        int w = 0, h = 0, channels = 0;
        stbi_uc* decoded = stbi_load(path.c_str(), &w, &h, &channels, 4);
        ASSERT_NE(decoded, nullptr) << stbi_failure_reason();
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        EXPECT_EQ(channels, 4);
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 4; ++x)
                wrong += decoded[(size_t)y * width * 4 + x] != rgba[(size_t)(height - 1 - y) * width * 4 + x];
        EXPECT_EQ(wrong, 0) << width << "x" << height;
        stbi_image_free(decoded);
        std::remove(path.c_str());
    }

    std::string error;
    const std::vector<uint8_t> frame(64 * 36 * 4, 200);
    EXPECT_FALSE(WriteFramePng(std::string(dir) + "/missing/f.png", 64, 36, frame.data(), error));
    EXPECT_EQ(error, std::string("cannot write ") + dir + "/missing/f.png: No such file or directory");
    // A full disk: the device takes nothing, and is not removed afterwards.
    EXPECT_FALSE(WriteFramePng("/dev/full", 64, 36, frame.data(), error));
    EXPECT_EQ(error, "cannot write /dev/full: No space left on device");
    struct stat info;
    EXPECT_EQ(stat("/dev/full", &info), 0);
    rmdir(dir);
}
