#pragma once

#include <cstdint>

#include "scene/SceneObject.h"

// What flakes and needles share: their random parameters, their placement
// and the class-wide GL data.

// Restarts the particles' sequence (glibc's rand() after srand(seed), on
// every platform; see RandomSequence.h).
void SeedParticleRandom(uint32_t seed);
// One draw from that sequence: one of -1.000, -0.999, ..., 1.000.
float ParticleRandom();

// The nine draws of one particle, in their fixed order (z before y before x).
struct ParticleParameters {
    Vec3 direction;
    float speed = 0.0f;
    Vec3 spinAxis;
    float spinRate = 0.0f;
    float sizeFactor = 0.0f;
};
ParticleParameters DrawParticleParameters();

// Flakes and needles hold the same five members; these move them in and out
// of one ParticleParameters.
template <class Particle>
void StoreParticleParameters(Particle& particle, const ParticleParameters& p)
{
    particle.direction = p.direction;
    particle.speed = p.speed;
    particle.spinAxis = p.spinAxis;
    particle.spinRate = p.spinRate;
    particle.sizeFactor = p.sizeFactor;
}

template <class Particle>
ParticleParameters ParticleParametersOf(const Particle& particle)
{
    ParticleParameters p;
    p.direction = particle.direction;
    p.speed = particle.speed;
    p.spinAxis = particle.spinAxis;
    p.spinRate = particle.spinRate;
    p.sizeFactor = particle.sizeFactor;
    return p;
}

// Drifted `time` track units from the cloud centre, spun by music time, sized.
Mat4 ParticleModelMatrix(const Vec3& centre, const ParticleParameters& p, float time,
                         float seconds);

// The track names and colour that tell one particle kind from the other.
struct ParticleStyle {
    const char* visible;
    const char* x;
    const char* y;
    const char* z;
    const char* time;
    const char* fade;
    float r, g, b;
    GLsizei indexCount;
};

// Builds the class-wide vertex array, buffers and wireframe program; logs and
// returns false when the program does not load.
bool InitParticleData(ObjectData& data, const float* vertices, size_t vertexCount,
                      const GLuint* indices, size_t indexCount);
void ReleaseParticleData(ObjectData& data);

// Draws one particle when its kind is visible; stores the cloud centre in
// the particle's position.
void RenderParticle(SceneObject& particle, ObjectData& data, const ParticleStyle& style,
                    const ParticleParameters& parameters, const Scene& scene, float seconds);
