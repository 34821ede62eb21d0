#pragma once

#include <vector>

#include "render/FrameBuffer.h"
#include "render/Math.h"
#include "render/PostProcessor.h"
#include "scene/SceneObject.h"

class Scene {
public:
    bool Init();
    // Initialises the object at once and takes ownership of it.
    void AddObject(SceneObject* object);
    void Render(float seconds);
    void Shutdown();

    std::vector<SceneObject*> objects;
    Mat4 projectionMatrix;
    Mat4 viewMatrix;
    FrameBuffer frameBuffer;
    PostProcessor postProcessor;
};
