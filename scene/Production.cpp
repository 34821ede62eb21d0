#include "scene/Production.h"
// placeholder until the scene objects land
void PopulateScene(Scene&) {}
