#include "scene/Scene.h"
// placeholder until the scene lands
bool Scene::Init() { return false; }
void Scene::AddObject(SceneObject*) {}
void Scene::Render(float) {}
void Scene::Shutdown() {}
