#pragma once

// The GL the shared sources draw with: desktop OpenGL 3.3 core through GLEW,
// or WebGL2 (OpenGL ES 3.0) in the browser. What ES lacks is dealt with where
// it is used, under OSTREL_GLES.
#ifdef __EMSCRIPTEN__
#define OSTREL_GLES 1
#include <GLES3/gl3.h>
#include <GLES2/gl2ext.h>

// Desktop names the shared code mentions; ES has no such objects, and the
// code under OSTREL_GLES never hands them to GL.
#define GL_TEXTURE_2D_MULTISAMPLE 0x9100
#define GL_DEPTH_COMPONENT32 0x81A7
#define GL_GEOMETRY_SHADER 0x8DD9

// Enables a WebGL extension on the current context; false where the browser
// does not offer it.
bool EnableWebGLExtension(const char* name);
#else
#include <GL/glew.h>
#endif
