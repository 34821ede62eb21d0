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

    // For a window that changes size (the studio's, the browser's): rebuilds
    // what is sized from the window (frame buffers, projection) for its size now.
    bool Resize();
    // Every program the scene draws with, each once, for live shader edits.
    std::vector<Shader*> Shaders();

    // Sets viewMatrix from the camera tracks; a mode other than 0 or 1 keeps it.
    void PlaceCamera();

    // A view that puts every point at one spot behind the camera, so nothing
    // passes clipping. It stands in for a view that comes out non-finite (the
    // start-up look-at with eye equal to target, or non-finite track values).
    static Mat4 BlankView();
    // `view`, or BlankView() when any element of it is not finite.
    static Mat4 FiniteView(const Mat4& view);

    std::vector<SceneObject*> objects;
    Mat4 projectionMatrix;
    Mat4 viewMatrix;
    FrameBuffer frameBuffer;
    PostProcessor postProcessor;

private:
    // The frame buffer and projection, sized from the window.
    bool CreateSizedParts();
};
