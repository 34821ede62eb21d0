#include "render/Texture.h"

#include <stb_image.h>

#include <cstdint>
#include <cstdlib>

#include "render/Shader.h"

namespace {

bool IsDepthFormat(GLint format)
{
    return format == GL_DEPTH_COMPONENT16 || format == GL_DEPTH_COMPONENT24 ||
           format == GL_DEPTH_COMPONENT32;
}

// Cuts the six faces out of a vertical cross, three faces wide and four high:
//        [+Y]
//   [-X] [+Z] [+X]
//        [-Y]
//        [-Z]   (stored upside down: seen from inside the cube it hangs below -Y)
void UploadCubeCross(const uint32_t* cross, unsigned width, unsigned height, GLint internalFormat)
{
    const unsigned fw = width / 3;
    const unsigned fh = height / 4;
    uint32_t* face = static_cast<uint32_t*>(malloc(static_cast<size_t>(fw) * fh * 4 + 4));
    if (face == nullptr)
        return;

    // Block origin (column, row) of faces +X, -X, +Y, -Y, +Z.
    const unsigned origins[5][2] = {
        {2 * fw, fh}, {0, fh}, {fw, 0}, {fw, 2 * fh}, {fw, fh},
    };

    for (unsigned f = 0; f < 6; ++f) {
        for (unsigned i = 0; i < fh; ++i) {
            for (unsigned j = 0; j < fw; ++j) {
                size_t row;
                size_t column;
                if (f < 5) {
                    row = origins[f][1] + i;
                    column = origins[f][0] + j;
                } else {
                    row = 4 * fh - 1 - i;
                    column = 2 * fw - 1 - j;
                }
                face[static_cast<size_t>(i) * fw + j] = cross[row * width + column];
            }
        }
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, internalFormat, static_cast<GLsizei>(fw),
                     static_cast<GLsizei>(fh), 0, GL_RGBA, GL_UNSIGNED_BYTE, face);
    }
    free(face);
}

#ifdef OSTREL_GLES
struct WebFormat {
    GLint internalFormat;
    GLenum format;
    GLenum type;
};

// ES takes sized formats with their own pixel types, has no 32-bit integer
// depth, and renders into half floats only with EXT_color_buffer_float: 8-bit
// buffers stand in where that is missing.
WebFormat ToWebFormat(GLint internalFormat)
{
    const bool floatBuffers = EnableWebGLExtension("EXT_color_buffer_float");
    switch (internalFormat) {
    case GL_RGBA16F:
        return floatBuffers ? WebFormat{GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT}
                            : WebFormat{GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
    case GL_R16F:
        return floatBuffers ? WebFormat{GL_R16F, GL_RED, GL_HALF_FLOAT}
                            : WebFormat{GL_R8, GL_RED, GL_UNSIGNED_BYTE};
    case GL_DEPTH_COMPONENT32:
        return WebFormat{GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT};
    case GL_DEPTH_COMPONENT24:
        return WebFormat{GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT};
    case GL_DEPTH_COMPONENT16:
        return WebFormat{GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT};
    default:
        return WebFormat{internalFormat, GL_RGBA, GL_UNSIGNED_BYTE};
    }
}
#endif

}  // namespace

bool Texture::Create(int width_, int height_, const unsigned char* pixels, GLint internalFormat_,
                     bool cubeMap_, unsigned samples)
{
    width = width_;
    height = height_;
    internalFormat = internalFormat_;
    cubeMap = cubeMap_;

#ifdef OSTREL_GLES
    const WebFormat web = ToWebFormat(internalFormat);
    if (samples > 0) {
        glGenRenderbuffers(1, &id);
        renderbuffer = true;
        glBindRenderbuffer(GL_RENDERBUFFER, id);
        GLint most = 0;
        glGetInternalformativ(GL_RENDERBUFFER, web.internalFormat, GL_SAMPLES, 1, &most);
        const GLsizei count = static_cast<GLsizei>(samples) < most ? static_cast<GLsizei>(samples) : most;
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, count, web.internalFormat, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        return true;
    }
#endif

    glGenTextures(1, &id);

    if (cubeMap) {
        glBindTexture(GL_TEXTURE_CUBE_MAP, id);
        if (pixels != nullptr && width > 0 && height > 0)
            UploadCubeCross(reinterpret_cast<const uint32_t*>(pixels), static_cast<unsigned>(width),
                            static_cast<unsigned>(height), internalFormat);
        glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        return true;
    }

    const GLenum target = samples > 0 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
    glBindTexture(target, id);

    const GLenum pixelFormat = IsDepthFormat(internalFormat) ? GL_DEPTH_COMPONENT : GL_RGBA;
#ifdef OSTREL_GLES
    glTexImage2D(GL_TEXTURE_2D, 0, web.internalFormat, width, height, 0, web.format, web.type, pixels);
#else
    if (samples > 0) {
        glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, static_cast<GLsizei>(samples),
                                internalFormat, width, height, GL_FALSE);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, pixelFormat,
                     GL_UNSIGNED_BYTE, pixels);
    }
#endif

    if (pixelFormat == GL_RGBA && samples == 0) {
        glGenerateMipmap(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    }

    glBindTexture(target, 0);
    return true;
}

bool Texture::LoadFromFile(const char* path, bool cubeMap_)
{
    size_t length = 0;
    unsigned char* file = readFile(path, &length);
    if (file == nullptr)
        return false;

    int imageWidth = 0;
    int imageHeight = 0;
    int channels = 0;
    unsigned char* pixels = nullptr;
    // stb takes an int length; anything larger is no image we could use.
    if (length <= 0x7FFFFFFF)
        pixels = stbi_load_from_memory(file, static_cast<int>(length), &imageWidth, &imageHeight,
                                       &channels, 4);
    free(file);

    // A file that reads but does not decode is as unusable as a missing one.
    if (pixels == nullptr)
        return false;

    Create(imageWidth, imageHeight, pixels, GL_RGBA, cubeMap_, 0);
    stbi_image_free(pixels);
    return true;
}

void Texture::Destroy()
{
    if (renderbuffer)
        glDeleteRenderbuffers(1, &id);
    else
        glDeleteTextures(1, &id);
}
