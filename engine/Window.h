#pragma once

#include <SDL.h>
#include <string>

class Window {
public:
    bool Create(const char* title, int width, int height, int samples, bool fullscreen);
    void Destroy();

    // True: keep running. False: the viewer asked to quit (close request or Escape).
    bool PollEvents();
    void SwapBuffers();

    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    int GetSamples() const { return samples; }
    const std::string& GetTitle() const { return title; }
    SDL_Window* GetHandle() const { return window; }

private:
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::string title;
    int width = 0;
    int height = 0;
    int samples = 0;
};
