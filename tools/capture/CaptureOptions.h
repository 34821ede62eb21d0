#pragma once

#include <string>

#include "sync/Timeline.h"

// What the capture program was asked to do, as read from its command line.
// Parsing only checks the syntax and the ranges of single values; the frame
// range is resolved later, once the soundtrack's length is known.

// Frames are at least this wide and high: the bloom passes work at a quarter
// of the frame's size, and each needs a pixel.
constexpr int kMinFrameDimension = 4;
constexpr int kMaxFrameDimension = 16384;

enum class OutputKind { Video, PngDirectory, PngPattern, Discard };

struct CaptureOptions {
    int width = 1920;
    int height = 1080;
    int samples = 4;
    int fps = 60;
    TimePoint from;
    TimePoint to;
    long frameCount = -1;  // --frames; -1 when not given
    std::string output;
    OutputKind outputKind = OutputKind::Video;
    std::string ffmpeg = "ffmpeg";
    int crf = 18;
    bool progress = true;
    double progressEvery = 0.0;  // --progress-every; 0: a few times a second on a terminal, else every 5 s
    bool hidden = false;  // --hidden: the window is never shown
    bool help = false;
};

// Fills options from argv; on a bad command line returns false with a
// one-line reason in error.
bool ParseCaptureOptions(int argc, const char* const* argv, CaptureOptions& options, std::string& error);

// Frames [first, end) to render. totalFrames is the number of frames that
// cover the whole soundtrack; rowsPerSecond converts rows to time.
struct FrameRange {
    long first = 0;
    long end = 0;
};
bool ResolveFrameRange(const CaptureOptions& options, long totalFrames, double rowsPerSecond,
                       FrameRange& range, std::string& error);

// Frames needed to cover a soundtrack of this length: the last frame starts
// before the music ends, so the video ends less than one frame after it.
long FramesCovering(double seconds, int fps);

// Refuses a time past the end of the timeline, which is the last row a track
// can hold (2147483647, about 847 days): error names the option and the limit
// in the point's own unit, frames counted at fps. Checked before any
// conversion, so that no frame number can overflow.
bool CheckTimelineLimit(const std::string& option, const std::string& text, const TimePoint& point, int fps,
                        std::string& error);

// The time of frame n, computed from n alone so that no error accumulates.
inline float FrameTime(long n, int fps)
{
    return (float)((double)n / (double)fps);
}

// The file that frame n goes to for PNG output.
std::string FramePath(const CaptureOptions& options, long n);

const char* CaptureUsage();

// Pieces of the command line that other tools (the studio) read the same way.
// "1600x900" -> 1600, 900; each from kMinFrameDimension to kMaxFrameDimension.
bool ParseSize(const std::string& text, int& width, int& height);
// "8" -> 8; 0 to 32.
bool ParseSamples(const std::string& text, int& samples);
// "ostrel-1920x1080-8x" or "1920x1080-8x" -> size and samples.
bool ParseDeliverable(std::string text, int& width, int& height, int& samples);
