#pragma once

#include <sys/types.h>

#include <cstdint>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CaptureOptions.h"

// Where the rendered frames go. Pixels arrive as GL reads them: RGBA, bottom
// row first.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual bool Write(long frame, const uint8_t* rgba) = 0;
    // Finishes the output; false when it is incomplete or broken.
    virtual bool Close() = 0;
    const std::string& Error() const { return error; }

protected:
    std::string error;
};

// One PNG file per frame, numbered by the absolute frame number.
class PngSink : public FrameSink {
public:
    PngSink(const CaptureOptions& options);
    bool Write(long frame, const uint8_t* rgba) override;
    bool Close() override { return true; }

private:
    const CaptureOptions& options;
};

// Keeps nothing; the frames are still rendered and read back.
class DiscardSink : public FrameSink {
public:
    bool Write(long, const uint8_t*) override { return true; }
    bool Close() override { return true; }
};

// Raw frames piped into ffmpeg, which encodes H.264 and muxes the soundtrack
// cut to the same span of time. ffmpeg writes to `partial`, a temporary beside
// the output (see PrepareOutput); Close checks what it wrote and only then
// renames it over the output, so a failed capture leaves an earlier file be.
class VideoSink : public FrameSink {
public:
    VideoSink(const CaptureOptions& options, const std::string& partial, const std::string& soundtrack,
              double audioStart, double audioEnd);
    // Without a successful Close: ffmpeg is stopped and the partial removed.
    ~VideoSink() override;
    bool Start();
    bool Write(long frame, const uint8_t* rgba) override;
    // ffmpeg's status and error output, then the file itself (VerifyVideo).
    bool Close() override;

private:
    const CaptureOptions& options;
    std::string partial;
    std::string soundtrack;
    double audioStart;
    double audioEnd;
    long written = 0;
    pid_t child = -1;
    int pipeFd = -1;
    int errorsFd = -1;  // ffmpeg's stderr, kept in memory to be read after it ends
};

// What a finished video must hold: `frames` video frames, an audio stream
// when `withAudio`, and a length of frames / fps. Asks ffprobe, which reads
// the whole file (as a player would); false with the reason in error.
bool VerifyVideo(const std::string& ffprobe, const std::string& path, long frames, int fps, bool withAudio,
                 std::string& error);

// ffprobe beside the ffmpeg program, or else on PATH; empty when there is none.
std::string FindProbeFor(const std::string& ffmpeg);

// Hands frames to a sink on a thread of its own, so that writing one frame
// (PNG encoding, the pipe to ffmpeg) overlaps rendering the next. Frames reach
// the sink in the order submitted; a sink's failure stops the rest.
class FrameWriter {
public:
    // `depth` frames may wait for the sink before Submit blocks.
    FrameWriter(FrameSink& sink, size_t frameBytes, int depth = 2);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Takes the pixels (swapping in a free buffer of the same size, so nothing
    // is copied); false once a write has failed.
    bool Submit(long frame, std::vector<uint8_t>& pixels);
    // Waits until every submitted frame is written; false if any write failed.
    bool Finish();
    const std::string& Error() const { return error; }

private:
    void Run();

    struct Job {
        long frame;
        std::vector<uint8_t> pixels;
    };
    FrameSink& sink;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> queue;                    // waiting for the sink, oldest first
    std::vector<std::vector<uint8_t>> spare;  // buffers free for Submit
    bool stopping = false;
    bool failed = false;
    bool busy = false;
    std::string error;
    std::thread worker;
};

// Reads the window's back buffer (the frame just drawn, before the swap) as
// RGBA rows, bottom row first; pixels must hold width * height * 4 bytes.
bool ReadBackBuffer(int width, int height, std::vector<uint8_t>& pixels);

// Writes GL's bottom-up RGBA rows as a PNG; false with the reason in error.
bool WriteFramePng(const std::string& path, int width, int height, const uint8_t* rgba,
                   std::string& error);

// Checks before any rendering that the output can be written: creates a
// missing PNG directory; for a video, creates the empty temporary that ffmpeg
// will write (its path in partial), leaving any existing output untouched.
bool PrepareOutput(const CaptureOptions& options, std::string& partial, std::string& error);

// Full path of a program found on PATH (or the argument itself when it holds a
// slash); empty when there is none.
std::string FindProgram(const std::string& name);

// The arguments handed to ffmpeg, exposed for the tests.
std::string AudioFilter(double audioStart, double audioEnd);
