#include "scene/Particle.h"

#include <SDL.h>

#include "engine/Engine.h"
#include "scene/RandomSequence.h"

namespace {
// One sequence for the whole process, as the C library's rand() would be:
// the scene seeds it, and the particles draw from it as they are added.
RandomSequence particleSequence;
}  // namespace

void SeedParticleRandom(uint32_t seed)
{
    particleSequence.Seed(seed);
}

float ParticleRandom()
{
    return (float)((float)(particleSequence.Next() % 2001 - 1000) / 1000.0);
}

ParticleParameters DrawParticleParameters()
{
    // Each statement is one draw, so the order of the draws is the order of
    // these lines.
    ParticleParameters p;
    p.direction.z = ParticleRandom();
    p.direction.y = ParticleRandom();
    p.direction.x = ParticleRandom();
    p.speed = (float)(ParticleRandom() * 5.0);
    p.spinAxis.z = ParticleRandom();
    p.spinAxis.y = ParticleRandom();
    p.spinAxis.x = ParticleRandom();
    p.spinRate = (float)(ParticleRandom() * 90.0);
    p.sizeFactor = (float)(ParticleRandom() * 0.75);
    return p;
}

Mat4 ParticleModelMatrix(const Vec3& centre, const ParticleParameters& p, float time,
                         float seconds)
{
    const Vec3 at((p.direction.x * p.speed) * time + centre.x,
                  (p.direction.y * p.speed) * time + centre.y,
                  (p.direction.z * p.speed) * time + centre.z);
    Mat4 m(1.0f);
    m = translate(m, at);
    m = rotate(m, p.spinRate * seconds, p.spinAxis);
    m = scale(m, Vec3(p.sizeFactor, p.sizeFactor, p.sizeFactor));
    return m;
}

bool InitParticleData(ObjectData& data, const float* vertices, size_t vertexCount,
                      const GLuint* indices, size_t indexCount)
{
    SceneObject::BuildGLData(data.vertexArray, data.vertexBuffer, data.indexBuffer, vertices,
                             vertexCount, indices, indexCount);
    if (!data.shader.Load("../res/shaders/Wireframe.vert", "../res/shaders/Wireframe.frag",
                          nullptr)) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize wireframe shader!");
        return false;
    }
    return true;
}

void ReleaseParticleData(ObjectData& data)
{
    SceneObject::ReleaseGLData(data.vertexArray, data.vertexBuffer, data.indexBuffer, data.shader);
}

void RenderParticle(SceneObject& particle, ObjectData& data, const ParticleStyle& style,
                    const ParticleParameters& parameters, const Scene& scene, float seconds)
{
    SyncDevice& sync = Engine::GetInstance()->GetSyncDevice();
    if (!sync.GetBool(style.visible)) return;

    SceneObject::BeginDraw(data.vertexArray, data.shader);
    SceneObject::BindGeometry(data.vertexBuffer, data.indexBuffer, data.shader, scene);

    const float z = sync.GetFloat(style.z);
    const float y = sync.GetFloat(style.y);
    const float x = sync.GetFloat(style.x);
    particle.position = Vec3(x, y, z);
    const float time = sync.GetFloat(style.time);

    SceneObject::SetMatrix(data.shader, "uModelMatrix",
                           ParticleModelMatrix(particle.position, parameters, time, seconds));
    SceneObject::SetColor(data.shader, "uDiffuse", style.r, style.g, style.b,
                          sync.GetFloat(style.fade));
    SceneObject::DrawLines(style.indexCount);
}
