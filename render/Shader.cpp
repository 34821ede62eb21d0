#include "render/Shader.h"

#include <SDL.h>

#include "engine/FileAccess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

unsigned char* readFile(const char* path, size_t* length)
{
    // Only regular files, so that a FIFO or a device cannot hang or flood the
    // reader; and no resource of ours comes near this size.
    const uint64_t kMaxBytes = 64ull << 20;
    uint64_t fileSize = 0;
    FILE* file = openRegularFile(path, &fileSize);
    if (file == nullptr)
        return nullptr;
    if (fileSize > kMaxBytes) {
        fclose(file);
        return nullptr;
    }

    size_t size = static_cast<size_t>(fileSize);
    // One byte more than asked keeps malloc(0) from answering null for an empty file.
    unsigned char* buffer = static_cast<unsigned char*>(malloc(size + 1));
    if (buffer == nullptr) {
        fclose(file);
        return nullptr;
    }
    size_t got = fread(buffer, 1, size, file);
    fclose(file);

    *length = got;
    return buffer;
}

namespace {

#ifdef OSTREL_GLES
// The shaders are written for GLSL 3.30 core; ES 3.00 reads the same language
// once told its version and the precisions it has no defaults for.
const char kDesktopVersion[] = "#version 330 core";
const char kWebPreamble[] =
    "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision highp sampler2D;\n"
    "precision highp samplerCube;\n";
#endif

// Compiles one stage; on failure logs the driver's log under the stage's text,
// deletes the shader object and returns 0.
GLuint CompileStage(GLenum kind, const unsigned char* source, size_t length, const char* failText)
{
    GLuint shader = glCreateShader(kind);
    const GLchar* text = reinterpret_cast<const GLchar*>(source);
    GLint textLength = static_cast<GLint>(length);
#ifdef OSTREL_GLES
    const size_t versionLength = sizeof kDesktopVersion - 1;
    if (length >= versionLength && memcmp(source, kDesktopVersion, versionLength) == 0) {
        const GLchar* parts[2] = {kWebPreamble, text + versionLength};
        const GLint lengths[2] = {static_cast<GLint>(sizeof kWebPreamble - 1),
                                  static_cast<GLint>(length - versionLength)};
        glShaderSource(shader, 2, parts, lengths);
    } else {
        glShaderSource(shader, 1, &text, &textLength);
    }
#else
    glShaderSource(shader, 1, &text, &textLength);
#endif
    glCompileShader(shader);

    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != 0)
        return shader;

    GLint logLength = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
    char* log = static_cast<char*>(calloc(static_cast<size_t>(logLength) + 1, 1));
    if (log != nullptr)
        glGetShaderInfoLog(shader, logLength, nullptr, log);
    SDL_LogError(SDL_LOG_CATEGORY_VIDEO, failText, log != nullptr ? log : "");
    free(log);
    glDeleteShader(shader);
    return 0;
}

}  // namespace

bool Shader::Load(const char* vertexPath_, const char* fragmentPath_, const char* geometryPath_)
{
    if (vertexPath_ == nullptr || fragmentPath_ == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Invalid vertex or fragment source!");
        return false;
    }

    vertexPath = vertexPath_;
    fragmentPath = fragmentPath_;
    geometryPath = geometryPath_;

    size_t vertexLength = 0;
    size_t fragmentLength = 0;
    size_t geometryLength = 0;
    unsigned char* vertexSource = readFile(vertexPath, &vertexLength);
    if (vertexSource == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Failed to read vertex shader source!\n");
        return false;
    }
    unsigned char* fragmentSource = readFile(fragmentPath, &fragmentLength);
    if (fragmentSource == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Failed to read fragment shader source!\n");
        free(vertexSource);
        return false;
    }
    unsigned char* geometrySource = nullptr;
    if (geometryPath != nullptr) {
        geometrySource = readFile(geometryPath, &geometryLength);
        if (geometrySource == nullptr) {
            SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Failed to read geometry shader source!\n");
            free(vertexSource);
            free(fragmentSource);
            return false;
        }
    }

    // The sources are only needed while compiling; every exit below frees them
    // and deletes whatever GL objects this attempt made.
    GLuint vertex = 0;
    GLuint fragment = 0;
    GLuint geometry = 0;
    GLuint linked = 0;
    bool ok = false;

    vertex = CompileStage(GL_VERTEX_SHADER, vertexSource, vertexLength,
                          "Failed to compile vertex shader: '%s'\n");
    if (vertex != 0)
        fragment = CompileStage(GL_FRAGMENT_SHADER, fragmentSource, fragmentLength,
                                "Failed to compile fragment shader: '%s'\n");
    bool stagesBuilt = vertex != 0 && fragment != 0;
    if (stagesBuilt && geometrySource != nullptr) {
        geometry = CompileStage(GL_GEOMETRY_SHADER, geometrySource, geometryLength,
                                "Failed to compile geometry shader: '%s'\n");
        stagesBuilt = geometry != 0;
    }

    if (stagesBuilt) {
        linked = glCreateProgram();
        glAttachShader(linked, vertex);
        if (geometry != 0)
            glAttachShader(linked, geometry);
        glAttachShader(linked, fragment);
        glLinkProgram(linked);

        GLint status = 0;
        glGetProgramiv(linked, GL_LINK_STATUS, &status);
        if (status != 0) {
            ok = true;
        } else {
            GLint logLength = 0;
            glGetProgramiv(linked, GL_INFO_LOG_LENGTH, &logLength);
            char* log = static_cast<char*>(calloc(static_cast<size_t>(logLength) + 1, 1));
            if (log != nullptr)
                glGetProgramInfoLog(linked, logLength, nullptr, log);
            SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Failed to link shader program: '%s'\n",
                         log != nullptr ? log : "");
            free(log);
        }
    }

    free(vertexSource);
    free(fragmentSource);
    free(geometrySource);

    if (!ok) {
        if (linked != 0)
            glDeleteProgram(linked);
        if (vertex != 0)
            glDeleteShader(vertex);
        if (fragment != 0)
            glDeleteShader(fragment);
        if (geometry != 0)
            glDeleteShader(geometry);
        return false;
    }

    vertexShader = vertex;
    fragmentShader = fragment;
    geometryShader = geometry != 0 ? geometry : kNoGLName;
    program = linked;
    return true;
}

GLint Shader::GetUniformLocation(const char* name)
{
    if (program == kNoGLName) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO,
                     "Tried to get a uniform location from a shader that is not compiled!\n");
        return -1;
    }

    GLint location = glGetUniformLocation(program, name);
    if (location == -1)
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO,
                     "Got Invalid Uniform Location For Uniform '%s' From Shader With ID '%i'!\n", name,
                     static_cast<int>(program));
    return location;
}

bool Shader::Reload()
{
    if (vertexPath == nullptr || fragmentPath == nullptr)
        return false;
    Shader fresh;
    if (!fresh.Load(vertexPath, fragmentPath, geometryPath))
        return false;
    Destroy();
    *this = fresh;
    return true;
}

void Shader::Destroy()
{
    // A shader that never built owns no GL objects; deleting the marker names
    // would only raise GL errors.
    if (program == kNoGLName)
        return;

    glDetachShader(program, vertexShader);
    glDeleteShader(vertexShader);
    if (geometryShader != kNoGLName) {
        glDetachShader(program, geometryShader);
        glDeleteShader(geometryShader);
    }
    glDetachShader(program, fragmentShader);
    glDeleteShader(fragmentShader);
    glDeleteProgram(program);
}
