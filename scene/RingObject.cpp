#include "scene/RingObject.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "engine/Engine.h"

uint32_t RingObject::SegmentCount(float segmentAngle)
{
    if (!(segmentAngle > 0.001f && segmentAngle <= 360.0f)) return 0;
    return (uint32_t)(360.0f / segmentAngle);
}

std::vector<float> RingObject::BuildVertices(uint32_t segmentCount, float radius, float segmentAngle)
{
    std::vector<float> vertices;
    vertices.reserve((size_t)segmentCount * 3);
    for (uint32_t k = 0; k < segmentCount; ++k) {
        const float theta = ((float)k * segmentAngle) * 0.017453292f;
        vertices.push_back((float)std::cos((double)theta) * radius);
        vertices.push_back((float)std::sin((double)theta) * radius);
        vertices.push_back(0.0f);
    }
    return vertices;
}

std::vector<GLuint> RingObject::BuildIndices(uint32_t segmentCount)
{
    std::vector<GLuint> indices;
    if (segmentCount == 0) return indices;
    indices.reserve((size_t)segmentCount * 2);
    for (uint32_t k = 0; k + 1 < segmentCount; ++k) {
        indices.push_back(k);
        indices.push_back(k + 1);
    }
    indices.push_back(segmentCount - 1);
    indices.push_back(0);
    return indices;
}

uint32_t RingObject::DrawnIndexCount(uint32_t segmentCount, float progress)
{
    const float p = (float)segmentCount * 2.0f * progress;
    // A product of -1 or less wraps round to a huge count and so draws the
    // whole ring; that is kept. Products no 64-bit integer holds are settled
    // here instead of by an undefined conversion: NaN draws nothing, huge
    // positive values draw everything, huge negative ones are multiples of
    // 2^32 and draw nothing.
    int64_t truncated;
    if (std::isnan(p)) {
        truncated = 0;
    } else if (p >= 9.2233720e18f) {
        truncated = INT64_MAX;
    } else if (p <= -9.2233720e18f) {
        truncated = INT64_MIN;
    } else {
        truncated = (int64_t)p;
    }
    const uint32_t n = (uint32_t)((uint64_t)truncated & 0xFFFFFFFFu);
    return std::min(n, 2 * segmentCount);
}

bool RingObject::Init(Scene* owner)
{
    scene = owner;
    segmentCount = SegmentCount(segmentAngle);
    {
        const std::vector<float> vertices = BuildVertices(segmentCount, radius, segmentAngle);
        const std::vector<GLuint> indices = BuildIndices(segmentCount);
        BuildGLData(vertexArray, vertexBuffer, indexBuffer, vertices.data(), segmentCount,
                    indices.data(), indices.size());
    }
    if (!shader.Load("../res/shaders/Wireframe.vert", "../res/shaders/Wireframe.frag", nullptr)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize wireframe shader!");
        return false;
    }
    return true;
}

void RingObject::Render(float)
{
    BeginDraw(vertexArray, shader);
    BindGeometry(vertexBuffer, indexBuffer, shader, *scene);

    // Turn about the ring's own axis, then tip it from xy into the xz plane.
    Mat4 m(1.0f);
    m = rotate(m, 90.0f, Vec3(1.0f, 0.0f, 0.0f));
    m = rotate(m, rotation, Vec3(0.0f, 0.0f, 1.0f));
    SetMatrix(shader, "uModelMatrix", m);
    SetColor(shader, "uDiffuse", 0.09f, 0.79f, 0.9f, 1.0f);
    DrawLines((GLsizei)DrawnIndexCount(segmentCount, progress));
}

void RingObject::Release()
{
    ReleaseGLData(vertexArray, vertexBuffer, indexBuffer, shader);
}
