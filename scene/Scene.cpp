#include "scene/Scene.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/CheckGLError.h"
#include "engine/Engine.h"
#include "scene/FlakeObject.h"
#include "scene/NeedleObject.h"
#include "scene/Particle.h"
#include "scene/RingObject.h"

bool Scene::Init()
{
    glEnable(GL_DEPTH_TEST);
    CheckGLError();
#ifndef OSTREL_GLES
    // ES has no smoothing or compression hints, and its cube maps are always seamless.
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    CheckGLError();
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    CheckGLError();
    glHint(GL_TEXTURE_COMPRESSION_HINT, GL_NICEST);
    CheckGLError();
#endif
    glHint(GL_FRAGMENT_SHADER_DERIVATIVE_HINT, GL_NICEST);
    CheckGLError();
#ifndef OSTREL_GLES
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    CheckGLError();
#endif
    glEnable(GL_CULL_FACE);
    CheckGLError();
    glFrontFace(GL_CCW);
    CheckGLError();

    // The particles draw their placement from this sequence as they are added,
    // so the clouds come out the same on every run and every platform.
    SeedParticleRandom(0);

    if (!CreateSizedParts())
        return false;
    // Eye and target coincide until the first camera frame; that look-at is
    // not finite and is replaced by the blank view.
    viewMatrix = FiniteView(
        lookAt(Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f)));

    if (!postProcessor.Init()) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize Post Processor!");
        return false;
    }
    if (!FlakeObject::InitObjectData()) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize Flake Object Data!");
        return false;
    }
    if (!NeedleObject::InitObjectData()) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize Needle Object Data!");
        return false;
    }
    return true;
}

void Scene::AddObject(SceneObject* object)
{
    if (object == nullptr) return;
    // An object that failed to initialise is kept and drawn all the same; its
    // failure has been logged.
    object->Init(this);
    objects.push_back(object);
}

Mat4 Scene::BlankView()
{
    Mat4 view(0.0f);
    view[3][2] = 1.0f;  // one unit behind the camera: w < 0 after projection
    view[3][3] = 1.0f;
    return view;
}

Mat4 Scene::FiniteView(const Mat4& view)
{
    for (float element : view.m) {
        if (!std::isfinite(element)) return BlankView();
    }
    return view;
}

void Scene::PlaceCamera()
{
    SyncDevice& sync = Engine::GetInstance()->GetSyncDevice();
    const int mode = sync.GetInt("Camera.Mode");
    if (mode == 0) {
        const float focusZ = sync.GetFloat("Focus.Z");
        const float focusY = sync.GetFloat("Focus.Y");
        const float focusX = sync.GetFloat("Focus.X");
        const float cameraZ = sync.GetFloat("Camera.Z");
        const float cameraY = sync.GetFloat("Camera.Y");
        const float cameraX = sync.GetFloat("Camera.X");
        viewMatrix = FiniteView(lookAt(Vec3(cameraX, cameraY, cameraZ),
                                       Vec3(focusX, focusY, focusZ), Vec3(0.0f, 1.0f, 0.0f)));
    } else if (mode == 1) {
        const float distance = sync.GetFloat("Camera.Distance");
        const float pitch = sync.GetFloat("Camera.Pitch");
        const float yaw = sync.GetFloat("Camera.Yaw");
        const float roll = sync.GetFloat("Camera.Roll");
        Mat4 view(1.0f);
        view = translate(view, Vec3(0.0f, 0.0f, -distance));
        view = rotate(view, pitch, Vec3(1.0f, 0.0f, 0.0f));
        view = rotate(view, yaw, Vec3(0.0f, 1.0f, 0.0f));
        view = rotate(view, roll, Vec3(0.0f, 0.0f, 1.0f));
        viewMatrix = FiniteView(view);
    }
}

void Scene::Render(float seconds)
{
    // The window's framebuffer, left bound by the previous frame's post chain.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    CheckGLError();

    PlaceCamera();

    frameBuffer.Bind(true);

    SyncDevice& sync = Engine::GetInstance()->GetSyncDevice();
    int ringIndex = 0;
    for (SceneObject* object : objects) {
        if (object == nullptr) continue;
        if (object->GetType() == Ring) {
            // The first ring follows the Ring1 tracks, every later one Ring2.
            RingObject* ring = static_cast<RingObject*>(object);
            if (ringIndex == 0) {
                ring->progress = sync.GetFloat("Ring1.Progress");
                ring->rotation = sync.GetFloat("Ring1.Rotation");
            } else {
                ring->progress = sync.GetFloat("Ring2.Progress");
                ring->rotation = sync.GetFloat("Ring2.Rotation");
            }
            ++ringIndex;
        }
        object->Render(seconds);
    }

    frameBuffer.Unbind();
    postProcessor.Apply(frameBuffer);
}

bool Scene::CreateSizedParts()
{
    Window& window = Engine::GetInstance()->GetWindow();
    if (!frameBuffer.Create(window.GetWidth(), window.GetHeight(), 1, true, GL_RGBA16F,
                            (unsigned)window.GetSamples())) {
        SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "Failed to initialize Scene Frame Buffer!");
        return false;
    }

    // 60 degrees vertically: the half-angle pi/6 in single precision, doubled.
    const float halfFovy = 0.5235988f;
    projectionMatrix = perspective(halfFovy * 2.0f,
                                   (float)window.GetWidth() / (float)window.GetHeight(), 1.0f,
                                   1000.0f);
    return true;
}

bool Scene::Resize()
{
    // The window's own viewport keeps the size the context was made with.
    Window& window = Engine::GetInstance()->GetWindow();
    glViewport(0, 0, window.GetWidth(), window.GetHeight());
    CheckGLError();
    frameBuffer.Destroy();
    return CreateSizedParts() && postProcessor.ResizeBuffers();
}

std::vector<Shader*> Scene::Shaders()
{
    std::vector<Shader*> shaders = postProcessor.Shaders();
    for (SceneObject* object : objects) {
        Shader* shader = object != nullptr ? object->GetShader() : nullptr;
        // The particles share one program per kind.
        if (shader != nullptr && std::find(shaders.begin(), shaders.end(), shader) == shaders.end())
            shaders.push_back(shader);
    }
    return shaders;
}

void Scene::Shutdown()
{
    // Deleting an object releases no GL object: those of the cube, grid and
    // rings go with the context.
    for (SceneObject* object : objects) {
        delete object;
    }
    objects.clear();
    frameBuffer.Destroy();
    postProcessor.Destroy();
    NeedleObject::ReleaseObjectData();
    FlakeObject::ReleaseObjectData();
}
