#include <SDL.h>

#include "engine/Engine.h"
#include "scene/Production.h"

int main(int argc, char* argv[])
{
    (void)argc;
    (void)argv;

    Engine engine;
    if (engine.Init()) {
        PopulateScene(engine.GetScene());
        engine.Run();
        engine.Shutdown();
    }
    return 0;
}
