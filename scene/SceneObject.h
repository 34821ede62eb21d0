#pragma once

#include "render/Math.h"

class Scene;

enum SceneObjectType : int {
    Cube = 1,
    Grid = 2,
    Flake = 3,
    Ring = 4,
    Needle = 5,
};

class SceneObject {
public:
    virtual ~SceneObject() {}
    virtual bool Init(Scene* scene) = 0;
    virtual void Render(float seconds) = 0;
    virtual void Release() = 0;
    virtual SceneObjectType GetType() = 0;

    Vec3 position;
};
