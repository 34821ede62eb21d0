#include <algorithm>
#include <array>

#include "GLTestFixture.h"
#include "render/FrameBuffer.h"

namespace {

std::array<GLint, 4> Viewport()
{
    std::array<GLint, 4> v{};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

GLint BoundFramebuffer()
{
    GLint name = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &name);
    return name;
}

GLint AttachmentSamples(GLuint texture)
{
    GLint samples = 0;
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D_MULTISAMPLE, 0, GL_TEXTURE_SAMPLES, &samples);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
    return samples;
}

// Reads one pixel of colour attachment 0 of whatever framebuffer is bound.
std::array<float, 4> Pixel(int x, int y)
{
    std::array<float, 4> p{};
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, p.data());
    return p;
}

}  // namespace

using FrameBufferTest = GLTest;

TEST_F(FrameBufferTest, SingleSampledBufferWithDepth)
{
    FrameBuffer fb;
    ASSERT_TRUE(fb.Create(64, 48, 1, true, GL_RGBA16F, 0));
    EXPECT_FALSE(fb.multisampled);
    EXPECT_EQ(BoundFramebuffer(), 0);
    ASSERT_NE(fb.depthTexture, nullptr);
    EXPECT_EQ(fb.depthTexture->internalFormat, GL_DEPTH_COMPONENT32);
    EXPECT_EQ(fb.colorTextures[0].internalFormat, GL_RGBA16F);

    glBindFramebuffer(GL_FRAMEBUFFER, fb.framebuffer);
    GLint type = 0;
    GLint name = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    EXPECT_EQ(static_cast<GLuint>(name), fb.ColorTexture(0));
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    EXPECT_EQ(type, GL_TEXTURE);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    EXPECT_EQ(static_cast<GLuint>(name), fb.depthTexture->id);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    const GLuint colour = fb.ColorTexture(0);
    const GLuint depth = fb.depthTexture->id;
    fb.Destroy();
    EXPECT_FALSE(glIsTexture(colour));
    EXPECT_FALSE(glIsTexture(depth));
    EXPECT_FALSE(glIsFramebuffer(fb.framebuffer));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FrameBufferTest, MultisampledAttachmentsCarryTheSampleCount)
{
    FrameBuffer fb;
    ASSERT_TRUE(fb.Create(kWidth, kHeight, 1, true, GL_RGBA16F, 4));
    EXPECT_TRUE(fb.multisampled);
    EXPECT_EQ(AttachmentSamples(fb.ColorTexture(0)), 4);
    EXPECT_EQ(AttachmentSamples(fb.depthTexture->id), 4);
    fb.Destroy();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FrameBufferTest, SeveralColourAttachmentsAndIndexBounds)
{
    FrameBuffer fb;
    ASSERT_TRUE(fb.Create(16, 16, 3, false, GL_RGBA, 0));
    EXPECT_EQ(fb.depthTexture, nullptr);
    for (unsigned i = 0; i < 3; ++i) EXPECT_NE(fb.ColorTexture(i), 0u) << i;
    EXPECT_NE(fb.ColorTexture(0), fb.ColorTexture(2));
    EXPECT_EQ(fb.ColorTexture(3), 0u);
    EXPECT_EQ(fb.ColorTexture(0xFFFFFFFFu), 0u);

    // Without depth only the colour textures and the framebuffer go.
    const GLuint first = fb.ColorTexture(0);
    fb.Destroy();
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FrameBufferTest, ColourCountOverTheLimitFailsBeforeMakingTextures)
{
    GLint attachments = 0;
    GLint drawBuffers = 0;
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &attachments);
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &drawBuffers);
    const unsigned limit = static_cast<unsigned>(std::min(attachments, drawBuffers));

    GLuint probe = 0;
    glGenTextures(1, &probe);
    glDeleteTextures(1, &probe);

    FrameBuffer fb;
    EXPECT_FALSE(fb.Create(16, 16, limit + 1, true, GL_RGBA, 0));
    EXPECT_EQ(fb.colorTextures, nullptr);
    EXPECT_EQ(fb.depthTexture, nullptr);
    EXPECT_EQ(fb.ColorTexture(0), 0u);
    // The failed buffer stays bound until its owner destroys it.
    EXPECT_EQ(BoundFramebuffer(), static_cast<GLint>(fb.framebuffer));
    fb.Destroy();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    FrameBuffer atLimit;
    EXPECT_TRUE(atLimit.Create(16, 16, limit, false, GL_RGBA, 0));
    atLimit.Destroy();
}

TEST_F(FrameBufferTest, BindSavesTheViewportCornerAndUnbindRestoresIt)
{
    FrameBuffer fb;
    ASSERT_TRUE(fb.Create(64, 32, 1, false, GL_RGBA, 0));

    glViewport(0, 0, kWidth, kHeight);
    fb.Bind(false);
    EXPECT_EQ(BoundFramebuffer(), static_cast<GLint>(fb.framebuffer));
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 64, 32}));
    fb.Unbind();
    EXPECT_EQ(BoundFramebuffer(), 0);
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, kWidth, kHeight}));

    // An offset viewport comes back as one from the origin to its far corner.
    glViewport(10, 20, 100, 50);
    fb.Bind(false);
    EXPECT_EQ(fb.savedViewportWidth, 110);
    EXPECT_EQ(fb.savedViewportHeight, 70);
    fb.Unbind();
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 110, 70}));
    fb.Destroy();
}

TEST_F(FrameBufferTest, BindClearsOnlyWhenAsked)
{
    FrameBuffer fb;
    ASSERT_TRUE(fb.Create(16, 16, 1, true, GL_RGBA16F, 0));
    fb.Bind(true);
    glClearColor(0.25f, 0.5f, 2.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    fb.Unbind();

    fb.Bind(false);
    EXPECT_EQ(Pixel(3, 3), (std::array<float, 4>{0.25f, 0.5f, 2.0f, 1.0f}));
    fb.Unbind();

    fb.Bind(true);
    EXPECT_EQ(Pixel(3, 3), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 0.0f}));
    float depth = 0.0f;
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f);
    fb.Unbind();
    fb.Destroy();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
