// ostrel-capture: renders the production offline into PNG frames or an MP4.
// The row clock follows the frame number instead of the audio device, so frame
// n always shows the production at n / fps seconds, however slow the machine.

#include <GL/glew.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "CaptureOptions.h"
#include "FrameSink.h"
#include "Progress.h"
#include "ResourceFolder.h"
#include "Soundtrack.h"
#include "StopSignals.h"
#include "engine/CheckGLError.h"
#include "engine/Engine.h"
#include "scene/Production.h"

static const char* const kSoundtrackPath = "../res/audio/melody.mp3";

static volatile sig_atomic_t stopSignal = 0;

static void OnStopSignal(int signalNumber)
{
    stopSignal = signalNumber;
}

static int Fail(const std::string& message, int code)
{
    std::fprintf(stderr, "ostrel-capture: %s\n", message.c_str());
    return code;
}

int main(int argc, char* argv[])
{
    CaptureOptions options;
    std::string error;
    if (!ParseCaptureOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "ostrel-capture: %s\nTry 'ostrel-capture --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(CaptureUsage(), stdout);
        return 0;
    }

    // A program named with a folder is a path; a bare name is looked up in PATH.
    std::vector<std::string*> paths = {&options.output};
    if (options.ffmpeg.find('/') != std::string::npos) paths.push_back(&options.ffmpeg);
    if (!EnterResourceFolder("ostrel-capture", paths, error)) return Fail(error, 1);

    // A dead ffmpeg must show up as a failed write, not kill the capture.
    signal(SIGPIPE, SIG_IGN);
    // A signal ends the capture as an interrupt does: the output cut short is removed.
    CatchStopSignals(OnStopSignal);

    double musicSeconds = SoundtrackSeconds(kSoundtrackPath);
    if (musicSeconds <= 0.0)
        return Fail(std::string("cannot decode the soundtrack ") + kSoundtrackPath +
                        " (run from the bin/ directory beside res/)",
                    1);

    FrameRange range;
    long totalFrames = FramesCovering(musicSeconds, options.fps);
    if (!ResolveFrameRange(options, totalFrames, kProductionRowsPerSecond, range, error)) return Fail(error, 2);

    if (options.outputKind == OutputKind::Video && FindProgram(options.ffmpeg).empty())
        return Fail("cannot find the program '" + options.ffmpeg + "' (install ffmpeg or give --ffmpeg PATH)", 1);
    if (options.outputKind == OutputKind::Video && FindProbeFor(options.ffmpeg).empty())
        return Fail("cannot find ffprobe, which checks the finished video (it comes with ffmpeg)", 1);
    // A video is made under a temporary name beside the output; until it is
    // complete and checked, an earlier file of that name stays as it was.
    std::string partial;
    if (!PrepareOutput(options, partial, error)) return Fail(error, 1);
    auto failBeforeVideo = [&](const std::string& message) {
        if (!partial.empty()) unlink(partial.c_str());
        return Fail(message, 1);
    };

    std::unique_ptr<Engine> engine(new Engine);
    DisplayConfig display{"Ostrel capture", options.width, options.height, options.samples, false};
    display.hidden = options.hidden;
    if (!engine->Init(display)) return failBeforeVideo("the engine did not start (see the log above)");
    // A window manager may shrink a window that does not fit the screen; the
    // frames would then be read from outside the picture.
    int drawableWidth = 0, drawableHeight = 0;
    SDL_GL_GetDrawableSize(engine->GetWindow().GetHandle(), &drawableWidth, &drawableHeight);
    if (drawableWidth < options.width || drawableHeight < options.height) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the window came out %dx%d instead of %dx%d: use a smaller --size or a virtual screen "
                      "(xvfb-run) large enough",
                      drawableWidth, drawableHeight, options.width, options.height);
        engine->Shutdown();
        return failBeforeVideo(text);
    }
    PopulateScene(engine->GetScene());

    std::unique_ptr<FrameSink> sink;
    if (options.outputKind == OutputKind::Video) {
        // The audio covers the same span as the frames, cut where the music ends.
        double audioStart = (double)range.first / options.fps;
        double audioEnd = (double)range.end / options.fps;
        if (audioEnd > musicSeconds) audioEnd = musicSeconds;
        VideoSink* video = new VideoSink(options, partial, kSoundtrackPath, audioStart, audioEnd);
        sink.reset(video);  // owns the partial file from here on
        partial.clear();
        if (!video->Start()) {
            error = video->Error();
            sink.reset();
            engine->Shutdown();
            return Fail(error, 1);
        }
    } else if (options.outputKind == OutputKind::Discard) {
        sink.reset(new DiscardSink);
    } else {
        sink.reset(new PngSink(options));
    }

    // A partial capture starts with the view a full one would have there.
    engine->RestoreCamera(range.first, options.fps);

    std::vector<uint8_t> pixels((size_t)options.width * (size_t)options.height * 4);
    FrameWriter writer(*sink, pixels.size());
    Progress progress(range.end - range.first, options.progress, options.progressEvery);
    auto start = std::chrono::steady_clock::now();
    bool ok = true;
    bool interrupted = false;
    bool writerFailed = false;
    long done = 0;
    for (long n = range.first; n < range.end; ++n) {
        if (stopSignal || !engine->GetWindow().PollEvents()) {
            interrupted = true;
            break;
        }
        engine->RenderFrameAt(FrameTime(n, options.fps));
        if (!ReadBackBuffer(options.width, options.height, pixels)) {
            error = "cannot read the frame back from the window";
            ok = false;
            break;
        }
        if (!writer.Submit(n, pixels)) {
            error = writer.Error();
            ok = false;
            writerFailed = true;
            break;
        }
        engine->GetWindow().SwapBuffers();
        ++done;
        progress.Update(done);
    }
    if (!writer.Finish() && ok && !interrupted) {
        error = writer.Error();
        ok = false;
        writerFailed = true;
    }
    if (ok && !interrupted) progress.Finish(done);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // An interrupted video is not finished: the sink's end stops ffmpeg and
    // removes what it wrote. Otherwise closing tells why a write failed.
    if (!interrupted) {
        bool closed = sink->Close();
        if (!closed && (ok || writerFailed)) error = sink->Error();
        ok = ok && closed;
    }
    sink.reset();
    engine->Shutdown();

    if (interrupted) {
        // Says what is left, for whoever stopped it.
        char text[160];
        std::snprintf(text, sizeof text, "interrupted after %ld of %ld frames; ", done, range.end - range.first);
        std::string kept;
        if (options.outputKind == OutputKind::Video)
            kept = access(options.output.c_str(), F_OK) == 0 ? "no new video; " + options.output + " is as it was"
                                                             : "no video written";
        else if (options.outputKind == OutputKind::Discard || done == 0)
            kept = "no frames written";
        else
            kept = "frames " + std::to_string(range.first) + " to " + std::to_string(range.first + done - 1) +
                   " are written";
        return Fail(text + kept, 1);
    }
    if (!ok) return Fail(error, 1);
    std::fprintf(stderr, "ostrel-capture: %ld frames (%ld to %ld) in %.2f s, %.2f frames/s -> %s\n", done,
                 range.first, range.end - 1, elapsed, elapsed > 0.0 ? done / elapsed : 0.0,
                 options.output.c_str());
    return 0;
}
