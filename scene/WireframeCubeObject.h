#pragma once

#include "scene/SceneObject.h"

// Eight copies of one unit wireframe cube wound along a turning helix; shown
// while "Cube.Visible" is on.
class WireframeCubeObject : public SceneObject {
public:
    static constexpr int kCopies = 8;
    static constexpr size_t kVertexCount = 8;
    static constexpr size_t kIndexCount = 24;
    static const float kVertices[kVertexCount * 3];
    static const GLuint kIndices[kIndexCount];

    // Model matrix of copy i at music time seconds, with the "Cube.Z" and
    // "Cube.Scale" values read for that copy.
    static Mat4 CopyMatrix(int i, float seconds, float cubeZ, float cubeScale);

    bool Init(Scene* scene) override;
    void Render(float seconds) override;
    void Release() override;
    SceneObjectType GetType() override { return Cube; }
    Shader* GetShader() override { return &shader; }

    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    Shader shader;
    Scene* scene = nullptr;
};
