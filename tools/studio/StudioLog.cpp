#include "StudioLog.h"

#include <SDL.h>

#include <cstdarg>
#include <cstdio>

void StudioLog(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    SDL_LogInfo(SDL_LOG_CATEGORY_APPLICATION, "studio: %s", text);
}

void StudioLogError(const std::string& text)
{
    SDL_LogError(SDL_LOG_CATEGORY_APPLICATION, "studio: %s", text.c_str());
}
