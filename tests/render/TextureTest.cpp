#include <stb_image_write.h>

#include <cstdint>
#include <string>
#include <vector>

#include "GLTestFixture.h"
#include "render/Texture.h"

namespace {

struct TexState {
    GLint minFilter = 0;
    GLint magFilter = 0;
    GLint internalFormat = 0;
    GLint level1Width = 0;
    GLint samples = 0;
};

TexState Query(GLenum target, GLuint id)
{
    TexState s;
    glBindTexture(target, id);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_INTERNAL_FORMAT, &s.internalFormat);
    if (target == GL_TEXTURE_2D_MULTISAMPLE) {
        glGetTexLevelParameteriv(target, 0, GL_TEXTURE_SAMPLES, &s.samples);
    } else {
        glGetTexParameteriv(target, GL_TEXTURE_MIN_FILTER, &s.minFilter);
        glGetTexParameteriv(target, GL_TEXTURE_MAG_FILTER, &s.magFilter);
        glGetTexLevelParameteriv(target, 1, GL_TEXTURE_WIDTH, &s.level1Width);
    }
    glBindTexture(target, 0);
    return s;
}

std::vector<uint8_t> ReadTexture(GLenum target, GLenum face, GLuint id, int w, int h)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4, 0xCD);
    glBindTexture(target, id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(face, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(target, 0);
    return pixels;
}

// Every pixel of the cross names its own position.
uint32_t CrossPixel(unsigned row, unsigned column)
{
    const uint8_t r = column & 0xFF;
    const uint8_t g = row & 0xFF;
    const uint8_t b = static_cast<uint8_t>(((row >> 8) << 4) | (column >> 8));
    return r | (g << 8) | (b << 16) | (0xFFu << 24);
}

}  // namespace

using TextureTest = GLTest;

TEST_F(TextureTest, FormatsMipmapsAndFilters)
{
    struct Case {
        GLint format;
        GLint expectedMin;
        bool mipmapped;
    };
    const Case cases[] = {
        {GL_RGBA16F, GL_LINEAR_MIPMAP_LINEAR, true},
        {GL_RGBA, GL_LINEAR_MIPMAP_LINEAR, true},
        {GL_R16F, GL_LINEAR_MIPMAP_LINEAR, true},
        // Depth textures keep GL's defaults and get no mip chain.
        {GL_DEPTH_COMPONENT32, GL_NEAREST_MIPMAP_LINEAR, false},
        {GL_DEPTH_COMPONENT24, GL_NEAREST_MIPMAP_LINEAR, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        Texture t;
        EXPECT_TRUE(t.Create(64, 32, nullptr, c.format, false, 0));
        EXPECT_NE(t.id, 0u);
        EXPECT_EQ(t.width, 64);
        EXPECT_EQ(t.height, 32);
        EXPECT_EQ(t.internalFormat, c.format);
        const TexState s = Query(GL_TEXTURE_2D, t.id);
        EXPECT_EQ(s.minFilter, c.expectedMin);
        EXPECT_EQ(s.magFilter, GL_LINEAR);
        EXPECT_EQ(s.level1Width, c.mipmapped ? 32 : 0);
        t.Destroy();
        EXPECT_FALSE(glIsTexture(t.id));
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, MultisampleTexturesHaveTheirSampleCount)
{
    for (GLint format : {GL_RGBA16F, GL_RGBA, GL_DEPTH_COMPONENT32}) {
        SCOPED_TRACE(format);
        Texture t;
        t.Create(40, 30, nullptr, format, false, 4);
        const TexState s = Query(GL_TEXTURE_2D_MULTISAMPLE, t.id);
        EXPECT_EQ(s.samples, 4);
        GLint width = 0;
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, t.id);
        glGetTexLevelParameteriv(GL_TEXTURE_2D_MULTISAMPLE, 0, GL_TEXTURE_WIDTH, &width);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
        EXPECT_EQ(width, 40);
        t.Destroy();
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, CrossImageIsCutIntoSixFaces)
{
    const unsigned width = 768;
    const unsigned height = 1024;
    std::vector<uint32_t> cross(width * height);
    for (unsigned row = 0; row < height; ++row)
        for (unsigned column = 0; column < width; ++column) cross[row * width + column] = CrossPixel(row, column);
    const std::string path = layout.Path("textures/cross.png");
    ASSERT_TRUE(stbi_write_png(path.c_str(), width, height, 4, cross.data(), width * 4));

    Texture t;
    ASSERT_TRUE(t.LoadFromFile("../res/textures/cross.png", true));
    EXPECT_TRUE(t.cubeMap);
    EXPECT_EQ(t.width, 768);
    EXPECT_EQ(t.height, 1024);

    const unsigned f = 256;
    struct Face {
        const char* name;
        unsigned rowOrigin, columnOrigin;
        bool turned;
    };
    const Face faces[6] = {{"+X", f, 2 * f, false}, {"-X", f, 0, false},     {"+Y", 0, f, false},
                           {"-Y", 2 * f, f, false}, {"+Z", f, f, false},     {"-Z", 0, 0, true}};
    for (unsigned face = 0; face < 6; ++face) {
        SCOPED_TRACE(faces[face].name);
        GLint faceWidth = 0;
        glBindTexture(GL_TEXTURE_CUBE_MAP, t.id);
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_WIDTH, &faceWidth);
        EXPECT_EQ(faceWidth, 256);
        const std::vector<uint8_t> got =
            ReadTexture(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, t.id, f, f);
        int wrong = 0;
        for (unsigned i = 0; i < f; ++i) {
            for (unsigned j = 0; j < f; ++j) {
                const uint32_t expected =
                    faces[face].turned ? CrossPixel(4 * f - 1 - i, 2 * f - 1 - j)
                                       : CrossPixel(faces[face].rowOrigin + i, faces[face].columnOrigin + j);
                const uint8_t* p = &got[(i * f + j) * 4];
                const uint32_t actual = p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
                if (actual != expected && wrong++ < 3)
                    ADD_FAILURE() << "face pixel (" << i << ", " << j << ") is " << std::hex << actual
                                  << " not " << expected;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    // The faces were given a mip chain.
    GLint level1 = 0;
    glBindTexture(GL_TEXTURE_CUBE_MAP, t.id);
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 1, GL_TEXTURE_WIDTH, &level1);
    EXPECT_EQ(level1, 128);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    t.Destroy();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, GreyAndRgbImagesLoadAsRgba)
{
    // 3 × 2 pixels; the top row is written first and must come back first.
    const uint8_t grey[6] = {0, 40, 80, 120, 200, 255};
    const uint8_t rgb[18] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(stbi_write_png(layout.Path("textures/grey.png").c_str(), 3, 2, 1, grey, 3));
    ASSERT_TRUE(stbi_write_png(layout.Path("textures/rgb.png").c_str(), 3, 2, 3, rgb, 9));

    Texture g;
    ASSERT_TRUE(g.LoadFromFile("../res/textures/grey.png", false));
    EXPECT_EQ(g.width, 3);
    EXPECT_EQ(g.height, 2);
    EXPECT_EQ(g.internalFormat, GL_RGBA);
    EXPECT_FALSE(g.cubeMap);
    const std::vector<uint8_t> greyBack = ReadTexture(GL_TEXTURE_2D, GL_TEXTURE_2D, g.id, 3, 2);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(greyBack[i * 4 + 0], grey[i]);
        EXPECT_EQ(greyBack[i * 4 + 1], grey[i]);
        EXPECT_EQ(greyBack[i * 4 + 2], grey[i]);
        EXPECT_EQ(greyBack[i * 4 + 3], 255);
    }
    EXPECT_EQ(Query(GL_TEXTURE_2D, g.id).minFilter, GL_LINEAR_MIPMAP_LINEAR);

    Texture c;
    ASSERT_TRUE(c.LoadFromFile("../res/textures/rgb.png", false));
    const std::vector<uint8_t> rgbBack = ReadTexture(GL_TEXTURE_2D, GL_TEXTURE_2D, c.id, 3, 2);
    for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < 3; ++k) EXPECT_EQ(rgbBack[i * 4 + k], rgb[i * 3 + k]);
        EXPECT_EQ(rgbBack[i * 4 + 3], 255);
    }
    g.Destroy();
    c.Destroy();
}

TEST_F(TextureTest, UnreadableOrUndecodableFilesFailQuietly)
{
    ASSERT_TRUE(layout.WriteFile("textures/not-an-image.png", "this is text, not a picture"));
    ASSERT_TRUE(layout.WriteFile("textures/empty.png", ""));
    for (const char* path :
         {"../res/textures/missing.png", "../res/textures/not-an-image.png", "../res/textures/empty.png"}) {
        SCOPED_TRACE(path);
        LogCapture log;
        Texture t;
        EXPECT_FALSE(t.LoadFromFile(path, false));
        EXPECT_FALSE(t.LoadFromFile(path, true));
        EXPECT_EQ(t.id, 0u);
        EXPECT_TRUE(log.Lines().empty());
    }
}
