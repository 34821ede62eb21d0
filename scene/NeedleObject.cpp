#include "scene/NeedleObject.h"

const float NeedleObject::kVertices[kVertexCount * 3] = {
    0.0f, 0.5f,  0.0f,  //
    0.0f, -0.5f, 0.0f,
};

const GLuint NeedleObject::kIndices[kIndexCount] = {0, 1};

ObjectData NeedleObject::objectData;

static const ParticleStyle kNeedleStyle = {
    "Needles.Visible", "Needles.X", "Needles.Y", "Needles.Z", "Needles.Time", "Needles.Fade",
    0.89f,             0.88f,       0.09f,       2,
};

bool NeedleObject::InitObjectData()
{
    return InitParticleData(objectData, kVertices, kVertexCount, kIndices, kIndexCount);
}

void NeedleObject::ReleaseObjectData()
{
    ReleaseParticleData(objectData);
}

bool NeedleObject::Init(Scene* owner)
{
    scene = owner;
    StoreParticleParameters(*this, DrawParticleParameters());
    return true;
}

ParticleParameters NeedleObject::Parameters() const
{
    return ParticleParametersOf(*this);
}

void NeedleObject::Render(float seconds)
{
    RenderParticle(*this, objectData, kNeedleStyle, Parameters(), *scene, seconds);
}
