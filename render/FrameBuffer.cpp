#include "render/FrameBuffer.h"

#include <cstdlib>
#include <new>

// Multisampled textures are renderbuffers on the web (see Texture).
static void Attach(GLenum attachment, GLenum target, const Texture& texture)
{
    if (texture.renderbuffer) {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, texture.id);
        return;
    }
    glBindTexture(target, texture.id);
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, target, texture.id, 0);
    glBindTexture(target, 0);
}

bool FrameBuffer::Create(int width_, int height_, unsigned colorCount_, bool withDepth,
                         GLint colorFormat, unsigned samples)
{
    width = width_;
    height = height_;
    colorCount = colorCount_;
    multisampled = samples > 0;

    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);

    GLint maxAttachments = 0;
    GLint maxDrawBuffers = 0;
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &maxAttachments);
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDrawBuffers);
    const GLint limit = maxAttachments < maxDrawBuffers ? maxAttachments : maxDrawBuffers;
    if (static_cast<long long>(colorCount) > limit)
        return false;

    colorTextures = new (std::nothrow) Texture[colorCount];
    GLenum* drawBuffers = static_cast<GLenum*>(malloc(sizeof(GLenum) * (colorCount + 1)));
    if (colorTextures == nullptr || drawBuffers == nullptr) {
        free(drawBuffers);
        delete[] colorTextures;
        colorTextures = nullptr;
        return false;
    }

    const GLenum target = multisampled ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
    for (unsigned i = 0; i < colorCount; ++i) {
        Texture& texture = colorTextures[i];
        texture.Create(width, height, nullptr, colorFormat, false, samples);
        Attach(GL_COLOR_ATTACHMENT0 + i, target, texture);
        drawBuffers[i] = GL_COLOR_ATTACHMENT0 + i;
    }
    glDrawBuffers(static_cast<GLsizei>(colorCount), drawBuffers);
    free(drawBuffers);

    if (withDepth) {
        depthTexture = new (std::nothrow) Texture();
        if (depthTexture == nullptr)
            return false;
        depthTexture->Create(width, height, nullptr, GL_DEPTH_COMPONENT32, false, samples);
        Attach(GL_DEPTH_ATTACHMENT, target, *depthTexture);
    }

    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return false;

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
}

void FrameBuffer::Bind(bool clear)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Kept as far corners: Unbind restores from the origin, which is what the
    // window's own viewport always is.
    savedViewportWidth = viewport[0] + viewport[2];
    savedViewportHeight = viewport[1] + viewport[3];

    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width, height);
    if (clear)
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void FrameBuffer::Unbind()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, savedViewportWidth, savedViewportHeight);
}

GLuint FrameBuffer::ColorTexture(unsigned index) const
{
    if (index < colorCount && colorTextures != nullptr)
        return colorTextures[index].id;
    return 0;
}

void FrameBuffer::Destroy()
{
    if (depthTexture != nullptr) {
        depthTexture->Destroy();
        delete depthTexture;
        depthTexture = nullptr;
    }
    if (colorTextures != nullptr) {
        for (unsigned i = 0; i < colorCount; ++i)
            colorTextures[i].Destroy();
        delete[] colorTextures;
        colorTextures = nullptr;
    }
    glDeleteFramebuffers(1, &framebuffer);
}
