#include <SDL.h>

#include "engine/Engine.h"
#include "scene/Production.h"
#include "sync/Timeline.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// In the browser the page calls main from its Play button, with "--seconds S"
// or "--row R" to start elsewhere than the beginning; each animation frame is
// one pass of Engine::Run, and the run ends as the desktop's does.
namespace {

Engine engine;
bool running = false;

const char* const kCanvas = "#canvas";
// The camera is restored on the same grid as a captured frame.
const int kCameraFps = 60;

// The page sizes the canvas in CSS pixels; the picture is drawn at device pixels.
void CanvasPixels(int* width, int* height)
{
    double cssWidth = 0.0;
    double cssHeight = 0.0;
    emscripten_get_element_css_size(kCanvas, &cssWidth, &cssHeight);
    const double ratio = emscripten_get_device_pixel_ratio();
    *width = static_cast<int>(std::lround(cssWidth * ratio));
    *height = static_cast<int>(std::lround(cssHeight * ratio));
}

// Follows the window: a new canvas size rebuilds the sized buffers.
void FollowCanvas()
{
    int width = 0;
    int height = 0;
    CanvasPixels(&width, &height);
    Window& window = engine.GetWindow();
    if (width < 4 || height < 4 || (width == window.GetWidth() && height == window.GetHeight()))
        return;
    emscripten_set_canvas_element_size(kCanvas, width, height);
    window.SetSize(width, height);
    if (!engine.GetScene().Resize())
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to resize the scene to %dx%d!", width, height);
}

void End()
{
    emscripten_cancel_main_loop();
    running = false;
    engine.Shutdown();
    EM_ASM(if (Module.onEnded) Module.onEnded(););
}

void Frame()
{
    FollowCanvas();
    if (!engine.RunOnce())
        End();
}

// Seconds to start at from "--seconds S" or "--row R"; 0 without either.
double StartSeconds(int argc, char* argv[])
{
    const double rowsPerSecond = rowsPerSecondAt(engine.GetAudioDevice().GetTempo());
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "--seconds") == 0)
            return atof(argv[i + 1]);
        if (strcmp(argv[i], "--row") == 0)
            return atof(argv[i + 1]) / rowsPerSecond;
    }
    return 0.0;
}

}  // namespace

// The page's Escape and leaving full screen: the same quit the desktop's
// window close sends.
extern "C" EMSCRIPTEN_KEEPALIVE void ostrel_quit()
{
    SDL_Event event;
    SDL_zero(event);
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
}

// For tests: stops the run and draws frame n of a capture at fps frames a
// second, the way the capture tool draws it, into the canvas.
extern "C" EMSCRIPTEN_KEEPALIVE void ostrel_render_frame(long frame, int fps)
{
    if (!running)
        return;
    emscripten_pause_main_loop();
    engine.GetAudioDevice().Stop();
    engine.RestoreCamera(frame, fps);
    engine.RenderFrameAt(static_cast<float>(static_cast<double>(frame) / fps));
}

int main(int argc, char* argv[])
{
    mkdir("/bin", 0755);
    if (chdir("/bin") != 0)
        return 1;

    int width = 0;
    int height = 0;
    CanvasPixels(&width, &height);
    if (!engine.Init(DisplayConfig{"Ostrel", width, height, OSTREL_SAMPLES, false}))
        return 1;
    PopulateScene(engine.GetScene());

    AudioDevice& audio = engine.GetAudioDevice();
    const double start = StartSeconds(argc, argv);
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Soundtrack of %.3f s, starting at %.3f s", audio.GetLength(),
                start);
    if (start > 0.0 && audio.SetPosition(start))
        engine.RestoreCamera(static_cast<long>(start * kCameraFps), kCameraFps);

    running = true;
    emscripten_set_main_loop(Frame, 0, 1);
    return 0;
}
#else
int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;

    Engine engine;
    if (engine.Init()) {
        PopulateScene(engine.GetScene());
        engine.Run();
        engine.Shutdown();
    }
    return 0;
}
#endif
