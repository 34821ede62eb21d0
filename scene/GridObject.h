#pragma once

#include <vector>

#include "render/Texture.h"
#include "scene/SceneObject.h"

// A flat square lattice of lines in the plane y = 0, centred on the origin and
// lifted by a noise texture in its vertex shader; shown while "Grid.Visible"
// is on.
class GridObject : public SceneObject {
public:
    GridObject(unsigned cellsPerSide, float cellSize) : resolution(cellsPerSide), spacing(cellSize) {}

    // (N + 1)^2 positions, 3 floats each; row r, column c at index r * (N + 1) + c.
    static std::vector<float> BuildVertices(unsigned resolution, float spacing);
    // Four lines per cell, row by row; interior edges appear once per neighbour.
    static std::vector<GLuint> BuildIndices(unsigned resolution);
    static size_t IndexCount(unsigned resolution) { return (size_t)resolution * resolution * 8; }

    bool Init(Scene* scene) override;
    void Render(float seconds) override;
    void Release() override;
    SceneObjectType GetType() override { return Grid; }
    Shader* GetShader() override { return &shader; }

    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    Shader shader;
    unsigned resolution;
    float spacing;
    Scene* scene = nullptr;
    GLuint noiseSampler = 0;
    Texture noiseTexture;
};
