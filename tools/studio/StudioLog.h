#pragma once

#include <string>

// The studio's log lines, "studio: " first, through SDL's log.
void StudioLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void StudioLogError(const std::string& text);
