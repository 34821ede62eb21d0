#include "engine/Engine.h"

// The only place where the deliverables differ: the build sets these three
// constants per executable.
bool Engine::Init()
{
    return Init(DisplayConfig{"Ostrel", OSTREL_WIDTH, OSTREL_HEIGHT, OSTREL_SAMPLES, true});
}
