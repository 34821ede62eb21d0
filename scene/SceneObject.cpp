#include "scene/SceneObject.h"

#include "engine/CheckGLError.h"
#include "scene/Scene.h"

void SceneObject::BuildGLData(GLuint& vertexArray, GLuint& vertexBuffer, GLuint& indexBuffer,
                              const float* vertices, size_t vertexCount, const GLuint* indices,
                              size_t indexCount)
{
    glGenVertexArrays(1, &vertexArray);
    CheckGLError();
    glBindVertexArray(vertexArray);
    CheckGLError();

    glGenBuffers(1, &vertexBuffer);
    CheckGLError();
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    CheckGLError();
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(vertexCount * 3 * sizeof(float)), vertices,
                 GL_STATIC_DRAW);
    CheckGLError();

    glGenBuffers(1, &indexBuffer);
    CheckGLError();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    CheckGLError();
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)(indexCount * sizeof(GLuint)), indices,
                 GL_STATIC_DRAW);
    CheckGLError();
}

void SceneObject::ReleaseGLData(GLuint& vertexArray, GLuint& vertexBuffer, GLuint& indexBuffer,
                                Shader& shader)
{
    shader.Destroy();
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
        CheckGLError();
        vertexBuffer = 0;
    }
    if (indexBuffer != 0) {
        glDeleteBuffers(1, &indexBuffer);
        CheckGLError();
        indexBuffer = 0;
    }
    if (vertexArray != 0) {
        glDeleteVertexArrays(1, &vertexArray);
        CheckGLError();
        vertexArray = 0;
    }
}

void SceneObject::BeginDraw(GLuint vertexArray, const Shader& shader)
{
    glBindVertexArray(vertexArray);
    CheckGLError();
    glUseProgram(shader.program);
    CheckGLError();
}

void SceneObject::BindGeometry(GLuint vertexBuffer, GLuint indexBuffer, Shader& shader,
                               const Scene& scene)
{
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    CheckGLError();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    CheckGLError();
    // The vertex array already records this; it is described again on every
    // draw so that no draw depends on what another user left in it.
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    CheckGLError();
    glEnableVertexAttribArray(0);
    CheckGLError();
    SetMatrix(shader, "uProjectionMatrix", scene.projectionMatrix);
    SetMatrix(shader, "uViewMatrix", scene.viewMatrix);
}

void SceneObject::SetMatrix(Shader& shader, const char* name, const Mat4& matrix)
{
    glUniformMatrix4fv(shader.GetUniformLocation(name), 1, GL_FALSE, matrix.Data());
    CheckGLError();
}

void SceneObject::SetColor(Shader& shader, const char* name, float r, float g, float b, float a)
{
    const float rgba[4] = {r, g, b, a};
    glUniform4fv(shader.GetUniformLocation(name), 1, rgba);
    CheckGLError();
}

void SceneObject::DrawLines(GLsizei indexCount)
{
    glDrawElements(GL_LINES, indexCount, GL_UNSIGNED_INT, nullptr);
    CheckGLError();
}
