#pragma once

#include "engine/GL.h"
#include <cstddef>

// Marks a GL name that was never created.
constexpr GLuint kNoGLName = 0xFFFFFFFFu;

// Reads a whole file into a new buffer owned by the caller (release with free);
// no terminator is added. Null when the file cannot be opened.
unsigned char* readFile(const char* path, size_t* length);

class Shader {
public:
    bool Load(const char* vertexPath, const char* fragmentPath, const char* geometryPath);
    GLint GetUniformLocation(const char* name);
    void Destroy();
    // Builds the same files again (tools that edit shaders live). On success
    // the new program replaces the old one; on failure the old one stays and
    // the compiler's or linker's log has been logged.
    bool Reload();

    GLuint vertexShader = kNoGLName;
    GLuint fragmentShader = kNoGLName;
    GLuint geometryShader = kNoGLName;
    GLuint program = kNoGLName;
    const char* vertexPath = nullptr;
    const char* fragmentPath = nullptr;
    const char* geometryPath = nullptr;
};
