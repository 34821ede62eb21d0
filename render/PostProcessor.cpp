#include "render/PostProcessor.h"

#include <SDL.h>

#include "engine/CheckGLError.h"
#include "engine/Engine.h"

namespace {

const char* const kQuadVertex = "../res/shaders/FullscreenQuad.vert";

// Two counter-clockwise triangles covering clip space.
const float kQuadStrip[8] = {-1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, -1.0f};

struct BufferSpec {
    FrameBuffer PostProcessor::*member;
    int divisor;  // 1 full size, 2 half, 4 quarter
    GLint format;
    bool depth;
    const char* failText;
};

// The creation order matters only for which failure is reported first.
const BufferSpec kBuffers[] = {
    {&PostProcessor::resolvedBuffer, 1, GL_RGBA16F, true,
     "Failed to initialize Resolved Scene Frame Buffer!"},
    {&PostProcessor::depthBuffer, 1, GL_R16F, false, "Failed to initialize Depth Frame Buffer!"},
    {&PostProcessor::blurBuffer, 1, GL_RGBA, false, "Failed to initialize Blur Frame Buffer!"},
    {&PostProcessor::compositeBuffer, 1, GL_RGBA, false,
     "Failed to initialize Composite Frame Buffer!"},
    {&PostProcessor::bloomBuffer1, 2, GL_RGBA, false, "Failed to initialize Bloom Frame Buffer1!"},
    {&PostProcessor::bloomBuffer2, 4, GL_RGBA, false, "Failed to initialize Bloom Frame Buffer2!"},
    // Reports under its neighbour's name; the text is what people grep the logs for.
    {&PostProcessor::bloomBuffer3, 4, GL_RGBA, false, "Failed to initialize Bloom Frame Buffer2!"},
};

struct ShaderSpec {
    Shader PostProcessor::*member;
    const char* fragmentPath;
    const char* failText;
};

const ShaderSpec kShaders[] = {
    {&PostProcessor::copyShader, "../res/shaders/CopyTex.frag", "Failed to initialize Copy Shader!"},
    {&PostProcessor::highPassShader, "../res/shaders/HighPass.frag",
     "Failed to initialize High Pass Shader!"},
    {&PostProcessor::blurShader, "../res/shaders/Blur.frag", "Failed to initialize Blur Shader!"},
    {&PostProcessor::mixShader, "../res/shaders/Mix.frag", "Failed to initialize Mix Shader!"},
    {&PostProcessor::resolveShader, "../res/shaders/ResolveFBO.frag",
     "Failed to initialize Resolve FBO Shader!"},
    {&PostProcessor::resolveDepthShader, "../res/shaders/ResolveDepth.frag",
     "Failed to initialize Resolve Depth Shader!"},
};

// Half and quarter sizes are taken in single precision and truncated, so an
// odd width of 1001 gives 500 and 250.
int Divide(int size, int divisor)
{
    if (divisor == 1)
        return size;
    const float factor = divisor == 2 ? 0.5f : 0.25f;
    return static_cast<int>(static_cast<float>(size) * factor);
}

SyncDevice& Sync()
{
    return Engine::GetInstance()->GetSyncDevice();
}

}  // namespace

bool PostProcessor::CreateBuffers()
{
    Window& window = Engine::GetInstance()->GetWindow();
    const int width = window.GetWidth();
    const int height = window.GetHeight();
    for (const BufferSpec& entry : kBuffers) {
        FrameBuffer& buffer = this->*entry.member;
        if (!buffer.Create(Divide(width, entry.divisor), Divide(height, entry.divisor), 1, entry.depth,
                           entry.format, 0)) {
            SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "%s", entry.failText);
            return false;
        }
    }
    return true;
}

bool PostProcessor::ResizeBuffers()
{
    for (const BufferSpec& entry : kBuffers)
        (this->*entry.member).Destroy();
    return CreateBuffers();
}

std::vector<Shader*> PostProcessor::Shaders()
{
    std::vector<Shader*> shaders;
    for (const ShaderSpec& entry : kShaders)
        shaders.push_back(&(this->*entry.member));
    return shaders;
}

bool PostProcessor::Init()
{
    glGenVertexArrays(1, &quadVertexArray);
    CheckGLError();
    glBindVertexArray(quadVertexArray);
    CheckGLError();

    if (!CreateBuffers())
        return false;

    for (const ShaderSpec& entry : kShaders) {
        Shader& shader = this->*entry.member;
#ifdef OSTREL_GLES
        // Their sampler2DMS does not exist in ES 3.0; Apply resolves by a blit there.
        if (&shader == &resolveShader || &shader == &resolveDepthShader)
            continue;
#endif
        if (!shader.Load(kQuadVertex, entry.fragmentPath, nullptr)) {
            SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "%s", entry.failText);
            return false;
        }
    }

    glGenBuffers(1, &quadBuffer);
    CheckGLError();
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
    CheckGLError();
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuadStrip), kQuadStrip, GL_STATIC_DRAW);
    CheckGLError();
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    CheckGLError();
    glEnableVertexAttribArray(0);
    CheckGLError();

    glGenSamplers(1, &sampler);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    CheckGLError();
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    CheckGLError();
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    CheckGLError();
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    CheckGLError();
#ifdef OSTREL_GLES
    // An extension in WebGL2; asking for it where it is missing is a GL error.
    if (EnableWebGLExtension("EXT_texture_filter_anisotropic")) {
#endif
    GLfloat maxAnisotropy = 0.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
    CheckGLError();
    glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
    CheckGLError();
#ifdef OSTREL_GLES
    }
#endif

    return true;
}

namespace {

// What one full-screen pass into an off-screen target needs besides its own uniforms.
struct Pass {
    FrameBuffer& target;
    Shader& shader;
    GLenum kind;
    GLuint input;
};

void BeginPass(const Pass& pass)
{
    pass.target.Bind(true);
    glUseProgram(pass.shader.program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(pass.kind, pass.input);
    glUniform1i(pass.shader.GetUniformLocation("uTexSampler"), 0);
}

void DrawQuad(GLuint quadBuffer)
{
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void EndPass(const Pass& pass)
{
    glBindTexture(pass.kind, 0);
    glBindSampler(0, 0);
    glUseProgram(0);
    pass.target.Unbind();
}

}  // namespace

void PostProcessor::Apply(FrameBuffer& scene)
{
#ifdef OSTREL_GLES
    if (scene.multisampled) {
        // No multisample textures in WebGL2: the scene's samples are resolved by
        // a blit, a plain average, where the desktop's resolve weights bright
        // samples down. The depth resolve has no reader in the chain and is left out.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, scene.framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolvedBuffer.framebuffer);
        glBlitFramebuffer(0, 0, scene.width, scene.height, 0, 0, resolvedBuffer.width,
                          resolvedBuffer.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        source = &resolvedBuffer;
    } else {
        source = &scene;
    }
#else
    if (scene.multisampled) {
        const int samples = Engine::GetInstance()->GetWindow().GetSamples();
        Window& window = Engine::GetInstance()->GetWindow();
        const float resolutionX = static_cast<float>(window.GetWidth());
        const float resolutionY = static_cast<float>(window.GetHeight());

        const Pass resolve{resolvedBuffer, resolveShader, GL_TEXTURE_2D_MULTISAMPLE,
                           scene.ColorTexture(0)};
        BeginPass(resolve);
        glUniform1i(resolveShader.GetUniformLocation("uSampleCount"), samples);
        glUniform2f(resolveShader.GetUniformLocation("uResolution"), resolutionX, resolutionY);
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(resolve);

        const Pass resolveDepth{depthBuffer, resolveDepthShader, GL_TEXTURE_2D_MULTISAMPLE,
                                scene.depthTexture != nullptr ? scene.depthTexture->id : 0};
        BeginPass(resolveDepth);
        glUniform1i(resolveDepthShader.GetUniformLocation("uSampleCount"), samples);
        glUniform2f(resolveDepthShader.GetUniformLocation("uResolution"), resolutionX, resolutionY);
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(resolveDepth);

        source = &resolvedBuffer;
    } else {
        source = &scene;
    }
#endif

    glBindVertexArray(quadVertexArray);
    CheckGLError();

    const bool bloom = Sync().GetBool("FX.EnableBloom");
    if (bloom) {
        // B1: keep only what is bright enough to glow.
        const Pass highPass{blurBuffer, highPassShader, GL_TEXTURE_2D, source->ColorTexture(0)};
        BeginPass(highPass);
        glUniform1f(highPassShader.GetUniformLocation("uHighPassCutoff"),
                    Sync().GetFloat("FX.HighPassCutoff"));
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(highPass);

        // B2, B3: down to half, then quarter size.
        const Pass down1{bloomBuffer1, copyShader, GL_TEXTURE_2D, blurBuffer.ColorTexture(0)};
        BeginPass(down1);
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(down1);

        const Pass down2{bloomBuffer2, copyShader, GL_TEXTURE_2D, bloomBuffer1.ColorTexture(0)};
        BeginPass(down2);
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(down2);

        // B4, B5: separable blur at quarter size, across then down.
        const auto blurPass = [&](FrameBuffer& target, FrameBuffer& input, const GLfloat (&direction)[2]) {
            const Pass pass{target, blurShader, GL_TEXTURE_2D, input.ColorTexture(0)};
            BeginPass(pass);
            const GLfloat texel[2] = {1.0f / static_cast<float>(static_cast<unsigned>(input.width)),
                                      1.0f / static_cast<float>(static_cast<unsigned>(input.height))};
            glUniform2fv(blurShader.GetUniformLocation("uTexelSize"), 1, texel);
            glUniform2fv(blurShader.GetUniformLocation("uBlurDirection"), 1, direction);
            glUniform1f(blurShader.GetUniformLocation("uBlurMagnitude"), Sync().GetFloat("FX.BlurMagnitude"));
            glBindSampler(0, sampler);
            DrawQuad(quadBuffer);
            EndPass(pass);
        };
        const GLfloat across[2] = {1.0f, 0.0f};
        const GLfloat down[2] = {0.0f, 1.0f};
        blurPass(bloomBuffer3, bloomBuffer2, across);
        blurPass(bloomBuffer2, bloomBuffer3, down);

        // B6, B7: back up to full size.
        const Pass up1{bloomBuffer1, copyShader, GL_TEXTURE_2D, bloomBuffer2.ColorTexture(0)};
        BeginPass(up1);
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(up1);

        const Pass up2{blurBuffer, copyShader, GL_TEXTURE_2D, bloomBuffer1.ColorTexture(0)};
        BeginPass(up2);
        glBindSampler(0, sampler);
        DrawQuad(quadBuffer);
        EndPass(up2);

        // M: scene and bloom together, graded.
        compositeBuffer.Bind(true);
        glUseProgram(mixShader.program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, source->ColorTexture(0));
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, blurBuffer.ColorTexture(0));
        glUniform1i(mixShader.GetUniformLocation("uTexSampler"), 0);
        glUniform1i(mixShader.GetUniformLocation("uTexSampler2"), 1);
        glUniform1f(mixShader.GetUniformLocation("uFade"), Sync().GetFloat("FX.Fade"));
        glUniform1f(mixShader.GetUniformLocation("uBloomDry"), Sync().GetFloat("FX.BloomDry"));
        glUniform1f(mixShader.GetUniformLocation("uBloomWet"), Sync().GetFloat("FX.BloomWet"));
        glUniform1f(mixShader.GetUniformLocation("uExposure"), Sync().GetFloat("FX.Exposure"));
        glUniform1f(mixShader.GetUniformLocation("uFlash"), Sync().GetFloat("FX.Flash"));
        glUniform1f(mixShader.GetUniformLocation("uVignette"), Sync().GetFloat("FX.Vignette"));
        const float red = Sync().GetFloat("FX.BG_R");
        const float green = Sync().GetFloat("FX.BG_G");
        const float blue = Sync().GetFloat("FX.BG_B");
        const float amount = Sync().GetFloat("FX.BG_A");
        glUniform4f(mixShader.GetUniformLocation("uColorCorrection"), red, green, blue, amount);
        glBindSampler(0, sampler);
        glBindSampler(1, sampler);
        DrawQuad(quadBuffer);
        // Unit 1 is still active: this clears its 2D binding; unit 0 keeps the
        // scene texture bound but loses the sampler.
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindSampler(0, 0);
        glUseProgram(0);
        compositeBuffer.Unbind();
    }

    // P: into the window, which the scene cleared at the start of its frame.
    glUseProgram(copyShader.program);
    glActiveTexture(GL_TEXTURE0);
    GLuint shown;
    if (Sync().GetBool("FX.RenderDepth"))
        shown = source->depthTexture != nullptr ? source->depthTexture->id : 0;
    else if (Sync().GetBool("FX.EnableBloom"))
        shown = compositeBuffer.ColorTexture(0);
    else
        shown = source->ColorTexture(0);
    glBindTexture(GL_TEXTURE_2D, shown);
    glUniform1i(copyShader.GetUniformLocation("uTexSampler"), 0);
    glBindSampler(0, sampler);
    DrawQuad(quadBuffer);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindSampler(0, 0);
    glUseProgram(0);

    source = nullptr;
}

void PostProcessor::Destroy()
{
    glDeleteBuffers(1, &quadBuffer);
    glDeleteSamplers(1, &sampler);
    if (quadVertexArray != 0) {
        glDeleteVertexArrays(1, &quadVertexArray);
        CheckGLError();
    }
    copyShader.Destroy();
    highPassShader.Destroy();
    blurShader.Destroy();
    mixShader.Destroy();
    resolveShader.Destroy();
    resolveDepthShader.Destroy();
    compositeBuffer.Destroy();
    blurBuffer.Destroy();
    bloomBuffer1.Destroy();
    bloomBuffer2.Destroy();
    bloomBuffer3.Destroy();
    resolvedBuffer.Destroy();
    depthBuffer.Destroy();
}
