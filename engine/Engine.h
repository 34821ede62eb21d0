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
};

class Engine {
public:
    // Brings everything up with this deliverable's display constants
    // (defined per executable in Deliverable.cpp).
    bool Init();
    bool Init(const DisplayConfig& display);
    void Run();
    void Shutdown();

    static Engine* GetInstance();

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

