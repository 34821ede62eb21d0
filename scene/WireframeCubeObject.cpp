#include "scene/WireframeCubeObject.h"

#include <SDL.h>

#include <cmath>

#include "engine/Engine.h"

const float WireframeCubeObject::kVertices[kVertexCount * 3] = {
    -0.5f, 0.5f,  0.5f,   //
    -0.5f, -0.5f, 0.5f,   //
    0.5f,  -0.5f, 0.5f,   //
    0.5f,  0.5f,  0.5f,   //
    -0.5f, 0.5f,  -0.5f,  //
    -0.5f, -0.5f, -0.5f,  //
    0.5f,  -0.5f, -0.5f,  //
    0.5f,  0.5f,  -0.5f,
};

const GLuint WireframeCubeObject::kIndices[kIndexCount] = {
    0, 1, 0, 3, 2, 1, 2, 3,  // front face
    4, 5, 4, 7, 6, 5, 6, 7,  // back face
    0, 4, 3, 7, 1, 5, 2, 6,  // edges joining them
};

Mat4 WireframeCubeObject::CopyMatrix(int i, float seconds, float cubeZ, float cubeScale)
{
    const float phase = seconds * 3.14f;
    const float spin = seconds * 45.0f;
    const float fi = (float)i;

    const float a = fi * 1.57f + phase;
    const float x = (float)std::cos((double)a) * 25.0f;
    const float y = (float)std::sin((double)a) * 25.0f + 10.0f;
    const float z = cubeZ + fi * 35.0f;
    // The first copy always collapses to a point; the last has the full scale.
    const float s = (float)(cubeScale * (fi / 7.0));

    Mat4 m(1.0f);
    m = translate(m, Vec3(x, y, z));
    m = rotate(m, spin, Vec3(0.0f, 1.0f, 0.0f));
    m = scale(m, Vec3(s, s, s));
    return m;
}

bool WireframeCubeObject::Init(Scene* owner)
{
    scene = owner;
    BuildGLData(vertexArray, vertexBuffer, indexBuffer, kVertices, kVertexCount, kIndices,
                kIndexCount);
    if (!shader.Load("../res/shaders/Wireframe.vert", "../res/shaders/Wireframe.frag", nullptr)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize wireframe shader!");
        return false;
    }
    return true;
}

void WireframeCubeObject::Render(float seconds)
{
    SyncDevice& sync = Engine::GetInstance()->GetSyncDevice();
    if (!sync.GetBool("Cube.Visible")) return;

    BeginDraw(vertexArray, shader);
    BindGeometry(vertexBuffer, indexBuffer, shader, *scene);
    SetColor(shader, "uDiffuse", 0.89f, 0.88f, 0.09f, 1.0f);

    for (int i = 0; i < kCopies; ++i) {
        // Both tracks are read again for every copy.
        const float cubeZ = sync.GetFloat("Cube.Z");
        const float cubeScale = sync.GetFloat("Cube.Scale");
        SetMatrix(shader, "uModelMatrix", CopyMatrix(i, seconds, cubeZ, cubeScale));
        DrawLines((GLsizei)kIndexCount);
    }
}

void WireframeCubeObject::Release()
{
    ReleaseGLData(vertexArray, vertexBuffer, indexBuffer, shader);
}
