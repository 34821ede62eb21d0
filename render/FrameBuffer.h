#pragma once

#include "engine/GL.h"

#include "render/Texture.h"

class FrameBuffer {
public:
    bool Create(int width, int height, unsigned colorCount, bool withDepth, GLint colorFormat,
                unsigned samples);
    void Bind(bool clear);
    void Unbind();
    GLuint ColorTexture(unsigned index) const;
    void Destroy();

    int width = 0;
    int height = 0;
    int savedViewportWidth = 0;
    int savedViewportHeight = 0;
    GLuint framebuffer = 0;
    Texture* depthTexture = nullptr;
    Texture* colorTextures = nullptr;
    unsigned colorCount = 0;
    bool multisampled = false;
};
