#pragma once

#include "audio/AudioDevice.h"
#include "engine/Window.h"
#include "scene/Scene.h"
#include "sync/SyncDevice.h"

// What distinguishes one deliverable from another, plus what the tools and
// tests need to pick for themselves.
struct DisplayConfig {
    const char* title;
    int width;
    int height;
    int samples;
    bool fullscreen;
    bool resizable = false;
    bool hidden = false;  // tools that only read the frames back (a capture beside the studio)
};

class Engine {
public:
    // Brings everything up with this deliverable's display constants
    // (defined per executable in Deliverable.cpp).
    bool Init();
    bool Init(const DisplayConfig& display);
    void Run();
    // One pass of Run: events, clock, frame. False once the viewer quit or the
    // music ended. The browser calls it once per animation frame.
    bool RunOnce();
    void Shutdown();

    static Engine* GetInstance();

    // For tools that drive the clock themselves (capture, studio): one frame
    // drawn at this music position, the row following it as Run's follows the
    // audio. Run itself stays as it is.
    void RenderFrameAt(float seconds);
    // A camera mode other than 0 or 1 keeps the previous frame's view. This
    // places the camera where the last frame before `frame` (on the fps grid)
    // that set it left it, so a frame looks the same however it was reached.
    void RestoreCamera(long frame, int fps);

    Window& GetWindow() { return window; }
    Scene& GetScene() { return scene; }
    AudioDevice& GetAudioDevice() { return audio; }
    SyncDevice& GetSyncDevice() { return sync; }

private:
    friend struct EngineTestAccess;  // tests bring up single subsystems around a live engine

    static Engine* instance;

    Window window;
    Scene scene;
    AudioDevice audio;
    SyncDevice sync;
};

