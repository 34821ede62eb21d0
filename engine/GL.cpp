#include "engine/GL.h"

#ifdef OSTREL_GLES
#include <emscripten/html5.h>

bool EnableWebGLExtension(const char* name)
{
    return emscripten_webgl_enable_extension(emscripten_webgl_get_current_context(), name) != 0;
}
#endif
