#pragma once

#include "scene/Particle.h"
#include "scene/SceneObject.h"

// A short line that drifts and spins like a flake; yellow, faded by
// "Needles.Fade", shown while "Needles.Visible" is on.
class NeedleObject : public SceneObject {
public:
    static constexpr size_t kVertexCount = 2;
    static constexpr size_t kIndexCount = 2;
    static const float kVertices[kVertexCount * 3];
    static const GLuint kIndices[kIndexCount];

    // The class-wide geometry and program, built and released by the Scene.
    static bool InitObjectData();
    static void ReleaseObjectData();
    static ObjectData objectData;

    // Draws this particle's nine random parameters; makes no GL call.
    bool Init(Scene* scene) override;
    void Render(float seconds) override;
    // The instance owns no GL object.
    void Release() override {}
    SceneObjectType GetType() override { return Needle; }
    Shader* GetShader() override { return &objectData.shader; }

    ParticleParameters Parameters() const;

    Scene* scene = nullptr;
    Vec3 direction;
    float speed = 0.0f;
    Vec3 spinAxis;
    float spinRate = 0.0f;
    float sizeFactor = 0.0f;
};
