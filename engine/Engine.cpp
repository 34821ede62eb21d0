#include "engine/Engine.h"

#include "engine/GL.h"
#include "sync/Timeline.h"

// The one engine of the process; set first thing in Init, cleared last thing in
// Shutdown.
Engine* Engine::instance = nullptr;

static const char* const kSoundtrackPath = "../res/audio/melody.mp3";

// A lost context can answer errors forever; the drain must still end.
static const int kMaxStaleGLErrors = 64;

Engine* Engine::GetInstance()
{
    return instance;
}

bool Engine::Init(const DisplayConfig& display)
{
    instance = this;
    SDL_LogSetAllPriority(SDL_LOG_PRIORITY_VERBOSE);

    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize SDL!");
        return false;
    }
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Initializing Engine");

    if (!window.Create(display.title, display.width, display.height, display.samples,
                       display.fullscreen, display.resizable, display.hidden)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize window!");
        return false;
    }
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Initialized window");

#ifdef OSTREL_GLES
    // No GLEW in the browser: WebGL2 has every entry point; what remains is the
    // half-float colour buffers the scene and the chain draw into (Texture
    // falls back to 8-bit ones without them).
    if (!EnableWebGLExtension("EXT_color_buffer_float"))
        SDL_LogWarn(SDL_LOG_CATEGORY_SYSTEM,
                    "No EXT_color_buffer_float: drawing into 8-bit colour buffers");
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Sucessfully initialized WebGL2");
#else
    glewExperimental = GL_TRUE;
    // SDL sometimes hands out an EGL context on X11; GLEW has then loaded every
    // GL entry point and only fails to find a GLX display, which we never use.
    GLenum glew = glewInit();
    if (glew != GLEW_OK && glew != GLEW_ERROR_NO_GLX_DISPLAY) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize GLEW!");
        return false;
    }
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Sucessfully initialized GLEW");
#endif

    // GLEW's probing leaves stale error flags behind; they are nobody's fault.
    for (int i = 0; i < kMaxStaleGLErrors && glGetError() != GL_NO_ERROR; ++i) {
    }

    if (!audio.Init()) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize BASS Audio Device!");
        return false;
    }
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Sucessfully initialized BASS Audio Device");

    if (!sync.Init(&audio)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize Sync Device!");
        return false;
    }
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Sucessfully initialized Sync Device");

    if (!audio.BuildSoundtrack(kSoundtrackPath, kProductionTempo)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to build soundtrack!");
        return false;
    }
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Sucessfully built soundtrack");

    if (!scene.Init()) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize scene!");
        return false;
    }

    // Last, so that the music starts with everything ready to draw.
    audio.Play();
    return true;
}

void Engine::Run()
{
    while (RunOnce()) {
    }
}

bool Engine::RunOnce()
{
    if (!window.PollEvents()) {
        return false;
    }
    if (!audio.IsPlaying()) {
        return false;
    }
    sync.Update();
    scene.Render(audio.GetPosition());
    window.SwapBuffers();
    return true;
}

void Engine::RenderFrameAt(float seconds)
{
    sync.UpdateAt(seconds);
    scene.Render(seconds);
}

void Engine::RestoreCamera(long frame, int fps)
{
    for (long n = frame - 1; n >= 0; --n) {
        sync.UpdateAt((float)((double)n / (double)fps));
        int mode = sync.GetInt("Camera.Mode");
        if (mode == 0 || mode == 1) {
            scene.PlaceCamera();
            return;
        }
    }
    // No frame before sets it: the view a fresh start has.
    scene.viewMatrix = Scene::BlankView();
}

void Engine::Shutdown()
{
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Engine Shutting Down");
    sync.Destroy();
    audio.Stop();
    audio.Free();
    scene.Shutdown();
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Shut down Scene");
    window.Destroy();
    SDL_Quit();
    instance = nullptr;
}
