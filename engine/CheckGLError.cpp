#include "engine/CheckGLError.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL.h>

// GL keeps at most one flag per error kind, so a handful of reads drains them
// all; the bound only guards against a lost context that never stops answering.
static const int kMaxErrorsPerCheck = 32;

void CheckGLError()
{
    GLenum code = glGetError();
    for (int i = 0; code != GL_NO_ERROR && i < kMaxErrorsPerCheck; ++i) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "OpenGL Error Encountered! Error: (%i) %s", (int)code,
                     (const char*)gluErrorString(code));
        code = glGetError();
    }
}
