#include "engine/Window.h"

#include "engine/GL.h"

#include "engine/CheckGLError.h"

#include <string>

bool Window::Create(const char* title_, int width_, int height_, int samples_, bool fullscreen,
                    bool resizable, bool hidden)
{
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples_);
#ifdef OSTREL_GLES
    // WebGL2.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_DEBUG_FLAG);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#endif

    // With no display to reach, SDL falls back to a driver that draws where
    // nobody sees it, and the production would play to the end unseen. That
    // is refused, unless such a driver was asked for by name.
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    auto unseen = [](const char* name) {
        return name != nullptr && (SDL_strcmp(name, "offscreen") == 0 || SDL_strcmp(name, "dummy") == 0 ||
                                   SDL_strcmp(name, "evdev") == 0);
    };
    // A busy X server can turn a connection away for a moment: ask again
    // before taking its absence for an answer.
    const char* display = SDL_getenv("DISPLAY");
    for (int attempt = 0; attempt < 4 && requested == nullptr && display != nullptr && *display &&
                          unseen(SDL_GetCurrentVideoDriver());
         ++attempt) {
        SDL_Delay(250);
        SDL_VideoInit(nullptr);
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (unseen(driver) && (requested == nullptr || SDL_strcasecmp(requested, driver) != 0)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM,
                     "No display to show the picture on: %s%s and no Wayland display answers; start it on a "
                     "desktop or under xvfb-run",
                     display && *display ? "DISPLAY=" : "DISPLAY is not set",
                     display && *display ? (std::string(display) + " reaches no X server").c_str() : "");
        return false;
    }

    Uint32 flags = SDL_WINDOW_OPENGL;
    if (fullscreen) {
        SDL_ShowCursor(SDL_DISABLE);
        flags = SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN;
    }
    if (resizable)
        flags |= SDL_WINDOW_RESIZABLE;
    if (hidden)
        flags |= SDL_WINDOW_HIDDEN;

    window = SDL_CreateWindow(title_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_, height_,
                              flags);
    if (window == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to create window!");
        return false;
    }
    // SDL hides the cursor on the windows that exist when asked; on X11 a
    // window made afterwards shows the system's cursor. Apply the hidden
    // cursor to this one too.
    if (fullscreen)
        SDL_SetCursor(nullptr);

    context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to create OpenGL Context!");
        return false;
    }

    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "OpenGL Vendor: %s", (const char*)glGetString(GL_VENDOR));
    CheckGLError();
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "OpenGL Renderer: %s", (const char*)glGetString(GL_RENDERER));
    CheckGLError();
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "OpenGL Version: %s", (const char*)glGetString(GL_VERSION));
    CheckGLError();
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "OpenGL GLSL Version: %s",
                (const char*)glGetString(GL_SHADING_LANGUAGE_VERSION));
    CheckGLError();

#ifndef OSTREL_GLES
    // Late swap tearing where the driver has it, plain vertical sync otherwise.
    // (The browser paces frames itself, by its animation frame.)
    if (SDL_GL_SetSwapInterval(-1) == -1) {
        SDL_GL_SetSwapInterval(1);
        CheckGLError();
    }
#endif

    title = title_;
    width = width_;
    height = height_;
    samples = samples_;

    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Window created with title '%s', width '%d' and height '%d'",
                title.c_str(), width, height);
    return true;
}

void Window::Destroy()
{
    SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Shutting down window");
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
}

bool Window::PollEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (eventHook != nullptr && eventHook(event, eventHookUser))
            continue;
        if (event.type == SDL_QUIT) {
            SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Received quit message from event system!");
            return false;
        }
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
            SDL_LogInfo(SDL_LOG_CATEGORY_SYSTEM, "Escape key pressed!");
            return false;
        }
    }
    return true;
}

void Window::SetEventHook(EventHook hook, void* user)
{
    eventHook = hook;
    eventHookUser = user;
}

void Window::SetSize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
}

void Window::SwapBuffers()
{
    SDL_GL_SwapWindow(window);
}
