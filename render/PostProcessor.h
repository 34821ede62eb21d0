#pragma once

#include "engine/GL.h"

#include <vector>

#include "render/FrameBuffer.h"
#include "render/Shader.h"

// Resolves the multisampled scene, optionally blooms and colour-corrects it
// under the FX tracks, and presents the result in the window.
class PostProcessor {
public:
    bool Init();
    void Apply(FrameBuffer& scene);
    void Destroy();
    // For a resized window (studio, browser): recreates the buffers at its current size.
    bool ResizeBuffers();
    std::vector<Shader*> Shaders();

    Shader highPassShader;
    Shader blurShader;
    Shader mixShader;
    Shader copyShader;
    Shader resolveShader;
    Shader resolveDepthShader;
    FrameBuffer* source = nullptr;
    FrameBuffer blurBuffer;
    FrameBuffer compositeBuffer;
    FrameBuffer bloomBuffer1;
    FrameBuffer bloomBuffer2;
    FrameBuffer bloomBuffer3;
    FrameBuffer resolvedBuffer;
    FrameBuffer depthBuffer;
    GLuint quadVertexArray = 0;
    GLuint quadBuffer = 0;
    GLuint sampler = 0;

private:
    bool CreateBuffers();
};
