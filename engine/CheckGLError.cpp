#include "engine/CheckGLError.h"

#include "engine/GL.h"
#ifndef OSTREL_GLES
#include <GL/glu.h>
#endif
#include <SDL.h>

// GL keeps at most one flag per error kind, so a handful of reads drains them
// all; the bound only guards against a lost context that never stops answering.
static const int kMaxErrorsPerCheck = 32;

static const char* ErrorText(GLenum code)
{
#ifdef OSTREL_GLES
    // No GLU in the browser: its words for the codes ES can raise.
    switch (code) {
    case GL_INVALID_ENUM: return "invalid enumerant";
    case GL_INVALID_VALUE: return "invalid value";
    case GL_INVALID_OPERATION: return "invalid operation";
    case GL_OUT_OF_MEMORY: return "out of memory";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "invalid framebuffer operation";
    default: return "unknown error";
    }
#else
    return (const char*)gluErrorString(code);
#endif
}

void CheckGLError()
{
    GLenum code = glGetError();
    for (int i = 0; code != GL_NO_ERROR && i < kMaxErrorsPerCheck; ++i) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "OpenGL Error Encountered! Error: (%i) %s", (int)code,
                     ErrorText(code));
        code = glGetError();
    }
}
