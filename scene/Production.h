#pragma once

class Scene;

// Adds the production's 1028 scene objects in drawing order: the grid, the two
// rings, the cube, then 512 needle-flake pairs.
void PopulateScene(Scene& scene);
