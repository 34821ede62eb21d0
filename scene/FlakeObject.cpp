#include "scene/FlakeObject.h"

const float FlakeObject::kVertices[kVertexCount * 3] = {
    -0.5f, 0.5f,  0.0f,  //
    -0.5f, -0.5f, 0.0f,  //
    0.5f,  -0.5f, 0.0f,  //
    0.5f,  0.5f,  0.0f,
};

const GLuint FlakeObject::kIndices[kIndexCount] = {0, 1, 0, 3, 2, 1, 2, 3};

ObjectData FlakeObject::objectData;

static const ParticleStyle kFlakeStyle = {
    "Flakes.Visible", "Flakes.X", "Flakes.Y", "Flakes.Z", "Flakes.Time", "Flakes.Fade",
    0.09f,            0.79f,      0.9f,       8,
};

bool FlakeObject::InitObjectData()
{
    return InitParticleData(objectData, kVertices, kVertexCount, kIndices, kIndexCount);
}

void FlakeObject::ReleaseObjectData()
{
    ReleaseParticleData(objectData);
}

bool FlakeObject::Init(Scene* owner)
{
    scene = owner;
    StoreParticleParameters(*this, DrawParticleParameters());
    return true;
}

ParticleParameters FlakeObject::Parameters() const
{
    return ParticleParametersOf(*this);
}

void FlakeObject::Render(float seconds)
{
    RenderParticle(*this, objectData, kFlakeStyle, Parameters(), *scene, seconds);
}
