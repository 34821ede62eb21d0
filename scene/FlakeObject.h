#pragma once

#include "scene/Particle.h"
#include "scene/SceneObject.h"

// A small square outline that drifts from the cloud centre along its own
// random direction and spins about its own random axis; cyan, faded by
// "Flakes.Fade", shown while "Flakes.Visible" is on.
class FlakeObject : public SceneObject {
public:
    static constexpr size_t kVertexCount = 4;
    static constexpr size_t kIndexCount = 8;
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
    SceneObjectType GetType() override { return Flake; }
    Shader* GetShader() override { return &objectData.shader; }

    ParticleParameters Parameters() const;

    Scene* scene = nullptr;
    Vec3 direction;
    float speed = 0.0f;
    Vec3 spinAxis;
    float spinRate = 0.0f;
    float sizeFactor = 0.0f;
};
