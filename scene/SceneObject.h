#pragma once

#include "engine/GL.h"
#include <cstddef>

#include "render/Math.h"
#include "render/Shader.h"

class Scene;

enum SceneObjectType : int {
    Cube = 1,
    Grid = 2,
    Flake = 3,
    Ring = 4,
    Needle = 5,
};

// Geometry and program shared by every particle of one kind.
struct ObjectData {
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    Shader shader;
};

class SceneObject {
public:
    virtual ~SceneObject() {}
    virtual bool Init(Scene* scene) = 0;
    virtual void Render(float seconds) = 0;
    virtual void Release() = 0;
    virtual SceneObjectType GetType() = 0;
    // The program it draws with, for tools that rebuild shaders live; null
    // when it has none of its own.
    virtual Shader* GetShader() { return nullptr; }

    Vec3 position;

    // GL helpers for building and drawing, shared by every kind.
    // Creates a vertex array with a position buffer (3 floats per vertex) and
    // an index buffer, both static; leaves all three bound.
    static void BuildGLData(GLuint& vertexArray, GLuint& vertexBuffer, GLuint& indexBuffer,
                            const float* vertices, size_t vertexCount, const GLuint* indices,
                            size_t indexCount);
    // Deletes the shader, then the vertex buffer, index buffer and vertex array
    // (each only when it exists) and forgets their names, so that a second
    // release cannot delete names GL has handed out again.
    static void ReleaseGLData(GLuint& vertexArray, GLuint& vertexBuffer, GLuint& indexBuffer,
                              Shader& shader);

    // The drawing sequence every kind shares: BeginDraw binds the vertex array
    // and the program; BindGeometry binds the buffers, describes attribute 0
    // and uploads the scene's camera.
    static void BeginDraw(GLuint vertexArray, const Shader& shader);
    static void BindGeometry(GLuint vertexBuffer, GLuint indexBuffer, Shader& shader,
                             const Scene& scene);
    static void SetMatrix(Shader& shader, const char* name, const Mat4& matrix);
    static void SetColor(Shader& shader, const char* name, float r, float g, float b, float a);
    static void DrawLines(GLsizei indexCount);
};
