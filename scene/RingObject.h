#pragma once

#include <cstdint>
#include <vector>

#include "scene/SceneObject.h"

// A circle of line segments in the horizontal plane around the origin, of
// which only the first `progress` of the way round is drawn. The Scene writes
// `progress` and `rotation` before every draw.
class RingObject : public SceneObject {
public:
    RingObject(float ringRadius, float degreesPerSegment)
        : radius(ringRadius), segmentAngle(degreesPerSegment)
    {
    }

    // Vertices on the circle: 360 / segmentAngle, truncated. Angles outside
    // (0.001, 360] give an empty ring rather than a division by zero or an
    // unbounded allocation.
    static uint32_t SegmentCount(float segmentAngle);
    // segmentCount positions in the object's xy plane, vertex 0 on +x.
    static std::vector<float> BuildVertices(uint32_t segmentCount, float radius, float segmentAngle);
    // Pairs (k, k + 1) and the closing pair (segmentCount - 1, 0).
    static std::vector<GLuint> BuildIndices(uint32_t segmentCount);
    // Indices drawn for a progress value: the truncated product taken modulo
    // 2^32, capped at the whole ring.
    static uint32_t DrawnIndexCount(uint32_t segmentCount, float progress);

    bool Init(Scene* scene) override;
    void Render(float seconds) override;
    void Release() override;
    SceneObjectType GetType() override { return Ring; }
    Shader* GetShader() override { return &shader; }

    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    Shader shader;
    uint32_t segmentCount = 0;
    float radius;
    float segmentAngle;
    float progress = 1.0f;
    float rotation = 0.0f;
    Scene* scene = nullptr;
};
