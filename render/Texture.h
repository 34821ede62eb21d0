#pragma once

#include "engine/GL.h"

class Texture {
public:
    bool Create(int width, int height, const unsigned char* pixels, GLint internalFormat,
                bool cubeMap, unsigned samples);
    bool LoadFromFile(const char* path, bool cubeMap);
    void Destroy();

    GLuint id = 0;
    GLint internalFormat = 0;
    int width = 0;
    int height = 0;
    bool cubeMap = false;
    // WebGL2 has no multisample textures: there a multisampled Texture is a
    // renderbuffer, which only a framebuffer blit reads.
    bool renderbuffer = false;
};
