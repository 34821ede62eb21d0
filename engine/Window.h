#pragma once

#include <SDL.h>
#include <string>

class Window {
public:
    // Sees every event before the window does; returning true consumes it.
    // Tools only: the deliverables take no input but quitting.
    typedef bool (*EventHook)(const SDL_Event& event, void* user);

    bool Create(const char* title, int width, int height, int samples, bool fullscreen,
                bool resizable = false, bool hidden = false);
    void Destroy();

    // True: keep running. False: the viewer asked to quit (close request or Escape).
    bool PollEvents();
    void SwapBuffers();

    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    int GetSamples() const { return samples; }
    const std::string& GetTitle() const { return title; }
    SDL_Window* GetHandle() const { return window; }
    SDL_GLContext GetContext() const { return context; }

    void SetEventHook(EventHook hook, void* user);
    // Takes a new drawable size after the window was resized; whoever sized
    // buffers from the old one rebuilds them (Scene::Resize).
    void SetSize(int newWidth, int newHeight);

private:
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::string title;
    int width = 0;
    int height = 0;
    int samples = 0;
    EventHook eventHook = nullptr;
    void* eventHookUser = nullptr;
};
