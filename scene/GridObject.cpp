#include "scene/GridObject.h"

#include <SDL.h>

#include "engine/CheckGLError.h"
#include "engine/Engine.h"

std::vector<float> GridObject::BuildVertices(unsigned resolution, float spacing)
{
    const size_t side = (size_t)resolution + 1;
    const float half = ((float)resolution * spacing) * 0.5f;
    std::vector<float> vertices;
    vertices.reserve(side * side * 3);
    for (size_t r = 0; r < side; ++r) {
        for (size_t c = 0; c < side; ++c) {
            vertices.push_back((float)c * spacing - half);
            vertices.push_back(0.0f);
            vertices.push_back((float)r * spacing - half);
        }
    }
    return vertices;
}

std::vector<GLuint> GridObject::BuildIndices(unsigned resolution)
{
    const GLuint side = resolution + 1;
    std::vector<GLuint> indices;
    indices.reserve(IndexCount(resolution));
    for (GLuint r = 0; r < resolution; ++r) {
        for (GLuint c = 0; c < resolution; ++c) {
            const GLuint a = r * side + c;
            const GLuint b = a + side;
            const GLuint cell[8] = {a, a + 1, a, b, b + 1, b, b + 1, a + 1};
            indices.insert(indices.end(), cell, cell + 8);
        }
    }
    return indices;
}

bool GridObject::Init(Scene* owner)
{
    scene = owner;
    {
        const std::vector<float> vertices = BuildVertices(resolution, spacing);
        const std::vector<GLuint> indices = BuildIndices(resolution);
        BuildGLData(vertexArray, vertexBuffer, indexBuffer, vertices.data(), vertices.size() / 3,
                    indices.data(), indices.size());
    }

    if (!shader.Load("../res/shaders/WireframeGrid.vert", "../res/shaders/Wireframe.frag",
                     nullptr)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize wireframe shader!");
        return false;
    }
    if (!noiseTexture.LoadFromFile("../res/textures/smoothNoise.png", false)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize noise.png!");
        return false;
    }

    glGenSamplers(1, &noiseSampler);
    CheckGLError();
    glSamplerParameteri(noiseSampler, GL_TEXTURE_WRAP_S, GL_REPEAT);
    CheckGLError();
    glSamplerParameteri(noiseSampler, GL_TEXTURE_WRAP_T, GL_REPEAT);
    CheckGLError();
    glSamplerParameteri(noiseSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    CheckGLError();
    glSamplerParameteri(noiseSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    CheckGLError();
    GLfloat maxAnisotropy = 0.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
    CheckGLError();
    glSamplerParameterf(noiseSampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, maxAnisotropy);
    CheckGLError();
    return true;
}

void GridObject::Render(float)
{
    SyncDevice& sync = Engine::GetInstance()->GetSyncDevice();
    if (!sync.GetBool("Grid.Visible")) return;

    BeginDraw(vertexArray, shader);

    glActiveTexture(GL_TEXTURE0);
    CheckGLError();
    glBindTexture(GL_TEXTURE_2D, noiseTexture.id);
    CheckGLError();
    glBindSampler(0, noiseSampler);
    CheckGLError();

    glUniform1i(shader.GetUniformLocation("uNoiseTexSampler"), 0);
    CheckGLError();
    const float bias[4] = {sync.GetFloat("Grid.Noise1"), sync.GetFloat("Grid.Noise2"),
                           sync.GetFloat("Grid.Noise3"), sync.GetFloat("Grid.Noise4")};
    glUniform4fv(shader.GetUniformLocation("uNoiseBias"), 1, bias);
    CheckGLError();
    glUniform1f(shader.GetUniformLocation("uNoiseMagnitude"), sync.GetFloat("Grid.NoiseMagnitude"));
    CheckGLError();
    const float scroll[2] = {sync.GetFloat("Grid.NoiseScrollX"), sync.GetFloat("Grid.NoiseScrollY")};
    glUniform2fv(shader.GetUniformLocation("uNoiseScroll"), 1, scroll);
    CheckGLError();
    glUniform1f(shader.GetUniformLocation("uCenterGravity"), sync.GetFloat("Grid.CenterGravity"));
    CheckGLError();

    BindGeometry(vertexBuffer, indexBuffer, shader, *scene);
    SetMatrix(shader, "uModelMatrix", Mat4(1.0f));
    SetColor(shader, "uDiffuse", 0.09f, 0.79f, 0.9f, 1.0f);
    DrawLines((GLsizei)IndexCount(resolution));
}

void GridObject::Release()
{
    if (noiseSampler != 0) {
        glDeleteSamplers(1, &noiseSampler);
        CheckGLError();
    }
    noiseTexture.Destroy();
    ReleaseGLData(vertexArray, vertexBuffer, indexBuffer, shader);
}
