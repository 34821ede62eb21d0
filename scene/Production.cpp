#include "scene/Production.h"

#include "scene/FlakeObject.h"
#include "scene/GridObject.h"
#include "scene/NeedleObject.h"
#include "scene/RingObject.h"
#include "scene/Scene.h"
#include "scene/WireframeCubeObject.h"

void PopulateScene(Scene& scene)
{
    scene.AddObject(new GridObject(64, 8.0f));
    // The first ring added follows the Ring1 tracks, the second Ring2.
    scene.AddObject(new RingObject(10.0f, 1.0f));
    scene.AddObject(new RingObject(25.0f, 2.0f));
    scene.AddObject(new WireframeCubeObject());
    // Each particle takes its random draws as it is added, so this order fixes
    // the layout of both clouds.
    for (int i = 0; i < 512; ++i) {
        scene.AddObject(new NeedleObject());
        scene.AddObject(new FlakeObject());
    }
}
