// The capture's writer thread: frames reach the sink whole, in order, while
// the caller goes on; a failing sink stops the rest and says why.

#include <gtest/gtest.h>

#include <chrono>
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
