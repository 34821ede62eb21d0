#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "GLTestFixture.h"
#include "engine/Engine.h"
#include "render/PostProcessor.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;

using Tracks = std::map<std::string, float>;

// The global state the scene sets once and the chain relies on.
void SceneState()
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
}

// Fills a rectangle of the bound buffer; every sample of a multisampled pixel
// gets the colour, so the resolve has nothing to blend.
void FillRect(int x, int y, int w, int h, float r, float g, float b, float a = 1.0f)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, w, h);
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glDisable(GL_SCISSOR_TEST);
}

void FillDepth(int x, int y, int w, int h, float depth)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, w, h);
    glClearDepth(depth);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    glDisable(GL_SCISSOR_TEST);
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    int Channel(int x, int y, int c) const { return At(x, y)[c]; }
};

struct FrameOptions {
    int width = kWidth;
    int height = kHeight;
    unsigned sceneSamples = 4;
};

class PostProcessorTest : public ::testing::Test {
protected:
    // One frame through a fresh engine, so that the tracks written here are the
    // ones the sync device reads. Fails the test on any error line.
    Image RunFrame(const Tracks& tracks, const std::function<void()>& draw, FrameOptions options = {})
    {
        layout.ClearTracks();
        for (const auto& [name, value] : tracks) EXPECT_TRUE(WriteConstantTrack(layout, name, value));

        Image image;
        LogCapture log;
        std::unique_ptr<TestEngine> engine = StartEngine(options.width, options.height, 4);
        if (engine == nullptr) {
            ADD_FAILURE() << "no GL context";
            return image;
        }
        SceneState();
        PostProcessor post;
        FrameBuffer scene;
        EXPECT_TRUE(scene.Create(options.width, options.height, 1, true, GL_RGBA16F, options.sceneSamples));
        EXPECT_TRUE(post.Init());

        glViewport(0, 0, options.width, options.height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene.Bind(true);
        draw();
        scene.Unbind();
        post.Apply(scene);

        EXPECT_EQ(post.source, nullptr);
        GLint bound = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        EXPECT_EQ(bound, 0);

        image.width = options.width;
        image.height = options.height;
        image.rgba = ReadWindowPixels(options.width, options.height);
        post.Destroy();
        scene.Destroy();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(log.Errors(), std::vector<std::string>{});
        return image;
    }

    TempLayout layout;
};

// Bloom on with a plain grade: whole scene, no glow, neutral exposure.
Tracks Graded(Tracks extra = {})
{
    Tracks t = {{"FX.EnableBloom", 1.0f}, {"FX.BloomDry", 1.0f}, {"FX.Exposure", 1.0f},
                {"FX.Fade", 1.0f},        {"FX.HighPassCutoff", 0.5f}, {"FX.BlurMagnitude", 1.0f}};
    for (const auto& [name, value] : extra) t[name] = value;
    return t;
}

void GreyScene()
{
    FillRect(0, 0, kWidth, kHeight, 0.5f, 0.5f, 0.5f);
}

// A two-pixel white line across the middle, brighter than white.
void BrightLine()
{
    FillRect(0, kHeight / 2, kWidth, 2, 3.0f, 3.0f, 3.0f);
}

int Byte(float v)
{
    return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

// One full-screen pass of a chain program from `input` into `target`, as the
// chain draws it; `uniforms` sets the program's own. Returns the target's bytes.
std::vector<uint8_t> DrawPass(PostProcessor& post, Shader& shader, FrameBuffer& input, FrameBuffer& target,
                              const std::function<void()>& uniforms)
{
    target.Bind(true);
    glUseProgram(shader.program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, input.ColorTexture(0));
    glUniform1i(shader.GetUniformLocation("uTexSampler"), 0);
    uniforms();
    glBindSampler(0, post.sampler);
    glBindVertexArray(post.quadVertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, post.quadBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindSampler(0, 0);
    glUseProgram(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(target.width) * target.height * 4);
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    target.Unbind();
    return bytes;
}

}  // namespace

TEST_F(PostProcessorTest, BloomOffShowsTheResolvedSceneUnchanged)
{
    // With bloom off the grade tracks must not matter.
    const Tracks tracks = {{"FX.EnableBloom", 0.0f}, {"FX.Fade", 0.0f}, {"FX.Exposure", 4.0f},
                           {"FX.Flash", 1.0f},       {"FX.Vignette", 1.0f}, {"FX.BG_A", 1.0f}};
    for (unsigned samples : {4u, 0u}) {
        SCOPED_TRACE(samples);
        const Image image = RunFrame(
            tracks,
            [] {
                FillRect(0, 0, kWidth, kHeight, 0.2f, 0.4f, 0.6f);
                FillRect(40, 30, 100, 50, 0.9f, 0.1f, 0.3f);
            },
            {kWidth, kHeight, samples});
        ASSERT_FALSE(image.rgba.empty());
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool inside = x >= 40 && x < 140 && y >= 30 && y < 80;
                const int expected[3] = {inside ? Byte(0.9f) : Byte(0.2f), inside ? Byte(0.1f) : Byte(0.4f),
                                         inside ? Byte(0.3f) : Byte(0.6f)};
                for (int c = 0; c < 3; ++c) wrong += std::abs(image.Channel(x, y, c) - expected[c]) > 1;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(PostProcessorTest, BloomBrightensAroundABrightLine)
{
    const Image dry = RunFrame(Graded({{"FX.BloomWet", 0.0f}}), BrightLine);
    const Image wet = RunFrame(Graded({{"FX.BloomWet", 1.5f}}), BrightLine);
    ASSERT_FALSE(dry.rgba.empty());
    ASSERT_FALSE(wet.rgba.empty());
    const int x = kWidth / 2;
    const int line = kHeight / 2;

    EXPECT_GE(dry.Channel(x, line, 0), 250);
    EXPECT_GE(wet.Channel(x, line, 0), 250);
    // Next to the line: dark without glow, lit with it, fading with distance.
    EXPECT_LE(dry.Channel(x, line + 6, 1), 2);
    EXPECT_GT(wet.Channel(x, line + 6, 1), 40);
    EXPECT_GT(wet.Channel(x, line - 5, 1), 40);
    EXPECT_GT(wet.Channel(x, line + 6, 1), wet.Channel(x, line + 14, 1));
    // Far away nothing changes.
    EXPECT_LE(wet.Channel(x, 5, 1), 2);
}

// The glow lives in 8-bit buffers and the grade may multiply a channel many
// times over; its dark falloff must still be smooth. A cyan line (the grid's
// colour) under a grade of (7, 0.45, 1) lifts the glow's weak red channel
// sevenfold: stored linearly, one code of it became a step of tens of levels.
// The falloff itself is steep next to the line, so a step of up to 12 levels
// between neighbours (slope and noise) passes.
TEST_F(PostProcessorTest, AStronglyGradedGlowFallsOffWithoutSteps)
{
    const Image image = RunFrame(Graded({{"FX.BloomWet", 1.2f},
                                         {"FX.BlurMagnitude", 1.4f},
                                         {"FX.BG_R", 7.0f},
                                         {"FX.BG_G", 0.45f},
                                         {"FX.BG_B", 1.0f},
                                         {"FX.BG_A", 1.0f}}),
                                 [] { FillRect(0, kHeight / 2, kWidth, 2, 0.27f, 2.37f, 2.7f); });
    ASSERT_FALSE(image.rgba.empty());
    const int line = kHeight / 2;
    for (const int x : {kWidth / 4, kWidth / 2}) {
        // Away from the line in both directions until the glow is gone.
        for (const int direction : {1, -1}) {
            SCOPED_TRACE(testing::Message() << "x " << x << " direction " << direction);
            int reach = 0;
            for (int d = 3; d < 60; ++d) {
                const int y = line + direction * d;
                const int next = y + direction;
                if (image.Channel(x, y, 0) > 3) reach = d;
                for (int c = 0; c < 3; ++c)
                    EXPECT_LE(std::abs(image.Channel(x, y, c) - image.Channel(x, next, c)), 12)
                        << "channel " << c << " at y " << y;
            }
            // The red glow is really there and spreads over many pixels.
            EXPECT_GT(image.Channel(x, line + direction * 4, 0), 60);
            EXPECT_GT(reach, 20);
        }
    }
}

TEST_F(PostProcessorTest, FadeToZeroGivesBlack)
{
    // Any value above zero switches the chain on.
    for (float enable : {1.0f, 0.0001f}) {
        SCOPED_TRACE(enable);
        const Image image = RunFrame(
            Graded({{"FX.EnableBloom", enable}, {"FX.Fade", 0.0f}, {"FX.BloomWet", 1.0f}}), [] {
                GreyScene();
                BrightLine();
            });
        ASSERT_FALSE(image.rgba.empty());
        int lit = 0;
        for (size_t i = 0; i < image.rgba.size(); i += 4)
            lit += image.rgba[i] != 0 || image.rgba[i + 1] != 0 || image.rgba[i + 2] != 0;
        EXPECT_EQ(lit, 0);
    }
}

TEST_F(PostProcessorTest, GradeControlsDoWhatTheySay)
{
    const Image base = RunFrame(Graded(), GreyScene);
    ASSERT_FALSE(base.rgba.empty());
    const int cx = kWidth / 2;
    const int cy = kHeight / 2;
    const int centre = base.Channel(cx, cy, 0);
    EXPECT_GT(centre, 100);
    EXPECT_LT(centre, 250);
    EXPECT_NEAR(base.Channel(0, 0, 0), centre, 1) << "no vignette asked for";

    struct Case {
        const char* name;
        Tracks tracks;
        std::function<void(const Image&)> check;
    };
    const Case cases[] = {
        {"white tint at full amount is neutral",
         {{"FX.BG_R", 1.0f}, {"FX.BG_G", 1.0f}, {"FX.BG_B", 1.0f}, {"FX.BG_A", 1.0f}},
         [&](const Image& i) { EXPECT_EQ(i.rgba, base.rgba); }},
        {"a colour without amount is neutral",
         {{"FX.BG_R", 0.2f}, {"FX.BG_G", 3.0f}, {"FX.BG_B", 0.0f}},
         [&](const Image& i) { EXPECT_EQ(i.rgba, base.rgba); }},
        {"red tint keeps red only",
         {{"FX.BG_R", 1.0f}, {"FX.BG_A", 1.0f}},
         [&](const Image& i) {
             EXPECT_NEAR(i.Channel(cx, cy, 0), centre, 1);
             EXPECT_LE(i.Channel(cx, cy, 1), 1);
             EXPECT_LE(i.Channel(cx, cy, 2), 1);
         }},
        {"exposure brightens",
         {{"FX.Exposure", 2.0f}},
         [&](const Image& i) { EXPECT_GT(i.Channel(cx, cy, 0), centre + 15); }},
        {"exposure zero is black",
         {{"FX.Exposure", 0.0f}},
         [&](const Image& i) { EXPECT_LE(i.Channel(cx, cy, 0), 1); }},
        {"flash is white",
         {{"FX.Flash", 1.0f}},
         [&](const Image& i) {
             EXPECT_EQ(i.Channel(cx, cy, 2), 255);
             EXPECT_EQ(i.Channel(0, 0, 1), 255);
         }},
        {"vignette darkens the corners only",
         {{"FX.Vignette", 1.0f}},
         [&](const Image& i) {
             EXPECT_NEAR(i.Channel(cx, cy, 0), centre, 1);
             EXPECT_LT(i.Channel(0, 0, 0), centre / 4);
         }},
        {"half fade halves",
         {{"FX.Fade", 0.5f}},
         [&](const Image& i) { EXPECT_NEAR(i.Channel(cx, cy, 0), centre / 2, 2); }},
        {"no dry signal, no glow: black",
         {{"FX.BloomDry", 0.0f}},
         [&](const Image& i) { EXPECT_LE(i.Channel(cx, cy, 0), 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image image = RunFrame(Graded(c.tracks), GreyScene);
        ASSERT_FALSE(image.rgba.empty());
        c.check(image);
    }
}

TEST_F(PostProcessorTest, RenderDepthShowsTheDepthTexture)
{
    // Single-sampled: the scene's own depth is shown, whether bloom is on or not.
    for (float bloom : {0.0f, 1.0f}) {
        SCOPED_TRACE(bloom);
        const Image image = RunFrame(Graded({{"FX.RenderDepth", 1.0f}, {"FX.EnableBloom", bloom}}),
                                     [] {
                                         GreyScene();
                                         FillDepth(0, 0, kWidth / 2, kHeight, 0.25f);
                                     },
                                     {kWidth, kHeight, 0});
        ASSERT_FALSE(image.rgba.empty());
        EXPECT_NEAR(image.Channel(10, 10, 0), 64, 1);
        EXPECT_EQ(image.Channel(kWidth - 10, 10, 0), 255);
        EXPECT_EQ(image.Channel(10, 10, 1), 0);
    }

    // Multisampled: the resolved buffer's depth, which holds only what the
    // resolve's own full-screen draw wrote (mid depth).
    const Image resolved = RunFrame(Graded({{"FX.RenderDepth", 1.0f}}), [] {
        GreyScene();
        FillDepth(0, 0, kWidth / 2, kHeight, 0.25f);
    });
    ASSERT_FALSE(resolved.rgba.empty());
    EXPECT_NEAR(resolved.Channel(10, 10, 0), 128, 1);
    EXPECT_NEAR(resolved.Channel(kWidth - 10, 10, 0), 128, 1);
    EXPECT_EQ(resolved.Channel(10, 10, 1), 0);
}

TEST_F(PostProcessorTest, PassesGetTheirSizesAndUniforms)
{
    layout.ClearTracks();
    WriteConstantTrack(layout, "FX.EnableBloom", 1.0f);
    WriteConstantTrack(layout, "FX.BG_R", 0.25f);
    WriteConstantTrack(layout, "FX.BG_G", 0.5f);
    WriteConstantTrack(layout, "FX.BG_B", 0.75f);
    WriteConstantTrack(layout, "FX.BG_A", 1.0f);
    WriteConstantTrack(layout, "FX.BlurMagnitude", 2.5f);

    LogCapture log;
    std::unique_ptr<TestEngine> engine = StartEngine(1600, 900, 4);
    ASSERT_NE(engine, nullptr);
    SceneState();
    PostProcessor post;
    FrameBuffer scene;
    ASSERT_TRUE(scene.Create(1600, 900, 1, true, GL_RGBA16F, 4));
    ASSERT_TRUE(post.Init());

    const std::pair<FrameBuffer*, std::array<int, 2>> sizes[] = {
        {&post.resolvedBuffer, {1600, 900}}, {&post.depthBuffer, {1600, 900}}, {&post.blurBuffer, {1600, 900}},
        {&post.compositeBuffer, {1600, 900}}, {&post.bloomBuffer1, {800, 450}}, {&post.bloomBuffer2, {400, 225}},
        {&post.bloomBuffer3, {400, 225}}};
    for (const auto& [buffer, size] : sizes) {
        EXPECT_EQ(buffer->width, size[0]);
        EXPECT_EQ(buffer->height, size[1]);
        EXPECT_FALSE(buffer->multisampled);
    }
    EXPECT_NE(post.resolvedBuffer.depthTexture, nullptr);
    EXPECT_EQ(post.depthBuffer.depthTexture, nullptr);

    GLfloat maxAnisotropy = 0.0f;
    GLfloat anisotropy = -1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
    glGetSamplerParameterfv(post.sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    EXPECT_EQ(anisotropy, maxAnisotropy);

    glViewport(0, 0, 1600, 900);
    scene.Bind(true);
    FillRect(0, 0, 800, 900, 0.5f, 1.5f, 4.0f);
    FillDepth(0, 0, 800, 900, 0.25f);
    scene.Unbind();
    post.Apply(scene);

    // The resolved colour stays high-range; the depth resolve lands in its own buffer.
    auto pixel = [](FrameBuffer& buffer, int x, int y) {
        std::array<float, 4> p{};
        glBindFramebuffer(GL_FRAMEBUFFER, buffer.framebuffer);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, p.data());
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return p;
    };
    const std::array<float, 4> resolved = pixel(post.resolvedBuffer, 100, 100);
    const float drawn[4] = {0.5f, 1.5f, 4.0f, 1.0f};
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(resolved[c], drawn[c], drawn[c] * 2e-3f) << c;
    EXPECT_EQ(pixel(post.resolvedBuffer, 1500, 100)[2], 0.0f);
    EXPECT_EQ(pixel(post.depthBuffer, 100, 100)[0], 0.25f);
    EXPECT_EQ(pixel(post.depthBuffer, 1500, 800)[0], 1.0f);

    auto uniform = [](Shader& shader, const char* name, int count) {
        std::vector<float> v(4, -1.0f);
        glGetUniformfv(shader.program, shader.GetUniformLocation(name), v.data());
        v.resize(count);
        return v;
    };
    EXPECT_EQ(uniform(post.blurShader, "uTexelSize", 2), (std::vector<float>{0.0025f, 0.0044444446f}));
    EXPECT_EQ(uniform(post.blurShader, "uBlurDirection", 2), (std::vector<float>{0.0f, 1.0f}));
    EXPECT_EQ(uniform(post.blurShader, "uBlurMagnitude", 1), (std::vector<float>{2.5f}));
    EXPECT_EQ(uniform(post.resolveShader, "uResolution", 2), (std::vector<float>{1600.0f, 900.0f}));
    EXPECT_EQ(uniform(post.mixShader, "uColorCorrection", 4),
              (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    GLint samples = 0;
    glGetUniformiv(post.resolveDepthShader.program, post.resolveDepthShader.GetUniformLocation("uSampleCount"),
                   &samples);
    EXPECT_EQ(samples, 4);
    GLint secondUnit = 0;
    glGetUniformiv(post.mixShader.program, post.mixShader.GetUniformLocation("uTexSampler2"), &secondUnit);
    EXPECT_EQ(secondUnit, 1);

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1600);
    EXPECT_EQ(viewport[3], 900);

    post.Destroy();
    scene.Destroy();
    EXPECT_EQ(log.Errors(), std::vector<std::string>{});
}

// A chain whose programs a test draws with directly, one pass at a time; the
// test fails on any GL error or error line.
class ChainProgramTest : public PostProcessorTest {
protected:
    void SetUp() override
    {
        layout.ClearTracks();
        engine = StartEngine(kWidth, kHeight, 4);
        ASSERT_NE(engine, nullptr);
        SceneState();
        ASSERT_TRUE(post.Init());
    }
    void TearDown() override
    {
        if (engine == nullptr)
            return;
        post.Destroy();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(log.Errors(), std::vector<std::string>{});
    }

    LogCapture log;
    std::unique_ptr<TestEngine> engine;
    PostProcessor post;
};

// The copy program is also the bloom's resampler: into half size it must
// average each 2x2 block, into double size interpolate bilinearly (edges
// clamped), both in linear light on the fourth-root encoded glow, and into
// the same size return every texel exactly. A fault here shows in the
// production as a blocky, dimmed or shifted glow.
TEST_F(ChainProgramTest, TheCopyProgramResamplesBilinearly)
{

    // An 8x6 source with a different value in every texel and channel.
    constexpr int kSourceWidth = 8;
    constexpr int kSourceHeight = 6;
    auto texel = [](int x, int y, int c) { return static_cast<float>((x * 29 + y * 41 + c * 67) % 251) / 255.0f; };
    FrameBuffer source;
    ASSERT_TRUE(source.Create(kSourceWidth, kSourceHeight, 1, false, GL_RGBA, 0));
    source.Bind(true);
    for (int y = 0; y < kSourceHeight; ++y)
        for (int x = 0; x < kSourceWidth; ++x)
            FillRect(x, y, 1, 1, texel(x, y, 0), texel(x, y, 1), texel(x, y, 2), texel(x, y, 3));
    source.Unbind();

    auto clamped = [&](int x, int y, int c) {
        return texel(std::clamp(x, 0, kSourceWidth - 1), std::clamp(y, 0, kSourceHeight - 1), c);
    };
    for (const int scale : {1, 2, -2}) {  // same size, double, half
        const int width = scale > 0 ? kSourceWidth * scale : kSourceWidth / 2;
        const int height = scale > 0 ? kSourceHeight * scale : kSourceHeight / 2;
        FrameBuffer target;
        ASSERT_TRUE(target.Create(width, height, 1, false, GL_RGBA, 0));
        const std::vector<uint8_t> got = DrawPass(post, post.copyShader, source, target, [] {});
        target.Destroy();

        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c) {
                    // Bilinear weights at the target pixel's centre, in source texels.
                    const float ratio = scale > 0 ? 1.0f / static_cast<float>(scale) : 2.0f;
                    const float u = (static_cast<float>(x) + 0.5f) * ratio - 0.5f;
                    const float v = (static_cast<float>(y) + 0.5f) * ratio - 0.5f;
                    const int x0 = static_cast<int>(std::floor(u));
                    const int y0 = static_cast<int>(std::floor(v));
                    const float fx = u - static_cast<float>(x0);
                    const float fy = v - static_cast<float>(y0);
                    auto linear = [&](int tx, int ty) { return std::pow(clamped(tx, ty, c), 4.0f); };
                    const float top = linear(x0, y0) * (1 - fx) + linear(x0 + 1, y0) * fx;
                    const float bottom = linear(x0, y0 + 1) * (1 - fx) + linear(x0 + 1, y0 + 1) * fx;
                    const float filtered = top * (1 - fy) + bottom * fy;
                    const int expected = scale == 1 ? Byte(clamped(x, y, c)) : Byte(std::pow(filtered, 0.25f));
                    const int actual = got[(static_cast<size_t>(y) * width + x) * 4 + c];
                    // Same size: exact. Resampled: within the rounding of 8-bit filtering.
                    if (std::abs(actual - expected) > (scale == 1 ? 0 : 1) && wrong++ < 5)
                        ADD_FAILURE() << "scale " << scale << " at " << x << "," << y << " channel " << c
                                      << ": " << actual << ", expected " << expected;
                }
        EXPECT_EQ(wrong, 0) << "scale " << scale;
    }
    source.Destroy();
}

// The blur against the kernel it documents: a Gaussian of sigma = 2 x
// uBlurMagnitude texels, eight taps a side spaced max(1, 3 sigma / 8) apart,
// each read linearly between its two texels, edges clamped, all in linear
// light on the fourth-root encoded glow. One lit texel near the left edge
// shows the whole kernel and the clamp; a blur across must leave the rows
// above and below dark.
TEST_F(ChainProgramTest, TheBlurSpreadsOneTexelAsItsKernelSays)
{

    constexpr int kW = 48;
    constexpr int kH = 5;
    constexpr int kLit = 6;
    FrameBuffer source;
    FrameBuffer target;
    ASSERT_TRUE(source.Create(kW, kH, 1, false, GL_RGBA, 0));
    ASSERT_TRUE(target.Create(kW, kH, 1, false, GL_RGBA, 0));
    source.Bind(true);
    FillRect(kLit, 2, 1, 1, 1.0f, 0.5f, 0.0f);
    source.Unbind();

    for (const float magnitude : {1.0f, 1.5f}) {  // taps on texels, then between them
        const std::vector<uint8_t> got = DrawPass(post, post.blurShader, source, target, [&] {
            const GLfloat texel[2] = {1.0f / kW, 1.0f / kH};
            const GLfloat across[2] = {1.0f, 0.0f};
            glUniform2fv(post.blurShader.GetUniformLocation("uTexelSize"), 1, texel);
            glUniform2fv(post.blurShader.GetUniformLocation("uBlurDirection"), 1, across);
            glUniform1f(post.blurShader.GetUniformLocation("uBlurMagnitude"), magnitude);
        });

        // The row as the kernel makes it: each tap adds its weight to the texels it reads.
        const double sigma = 2.0 * magnitude;
        const double spacing = std::max(1.0, 3.0 * sigma / 8.0);
        std::vector<double> row(kW, 0.0);
        double weightSum = 1.0;
        auto source_at = [&](int x) { return std::clamp(x, 0, kW - 1) == kLit ? 1.0 : 0.0; };
        for (int x = 0; x < kW; ++x) row[x] = source_at(x);
        for (int i = 1; i <= 8; ++i) {
            const double distance = i * spacing;
            const double weight = std::exp(-0.5 * distance * distance / (sigma * sigma));
            const int whole = static_cast<int>(distance);
            const double f = distance - whole;
            for (int x = 0; x < kW; ++x) {
                const double ahead = source_at(x + whole) * (1 - f) + source_at(x + whole + 1) * f;
                const double behind = source_at(x - whole) * (1 - f) + source_at(x - whole - 1) * f;
                row[x] += (ahead + behind) * weight;
            }
            weightSum += 2.0 * weight;
        }
        int wrong = 0;
        for (int x = 0; x < kW; ++x) {
            // Codes 1.0 and 0.5 are linear 1 and 1/16.
            const int red = Byte(static_cast<float>(std::pow(row[x] / weightSum, 0.25)));
            const int green = Byte(static_cast<float>(std::pow(row[x] / weightSum / 16.0, 0.25)));
            const uint8_t* p = &got[(static_cast<size_t>(2) * kW + x) * 4];
            if ((std::abs(p[0] - red) > 1 || std::abs(p[1] - green) > 1 || p[2] != 0) && wrong++ < 5)
                ADD_FAILURE() << "magnitude " << magnitude << " x " << x << ": " << int(p[0]) << "," << int(p[1])
                              << ", expected " << red << "," << green;
            for (int y : {1, 3}) wrong += got[(static_cast<size_t>(y) * kW + x) * 4] != 0;
        }
        EXPECT_EQ(wrong, 0) << "magnitude " << magnitude;
        // And the reference itself spreads: the lit texel keeps under a
        // quarter of its light (code 0.707).
        EXPECT_LT(got[(2 * kW + kLit) * 4], 180) << "magnitude " << magnitude;
        EXPECT_GT(got[(2 * kW + kLit + 3) * 4], 8) << "magnitude " << magnitude;
    }
    source.Destroy();
    target.Destroy();
}

TEST_F(PostProcessorTest, OddWindowWidthsTruncateTheBloomSizes)
{
    std::unique_ptr<TestEngine> engine = StartEngine(1001, 601, 4);
    ASSERT_NE(engine, nullptr);
    PostProcessor post;
    ASSERT_TRUE(post.Init());
    EXPECT_EQ(post.bloomBuffer1.width, 500);
    EXPECT_EQ(post.bloomBuffer1.height, 300);
    EXPECT_EQ(post.bloomBuffer2.width, 250);
    EXPECT_EQ(post.bloomBuffer3.height, 150);
    post.Destroy();
}

struct MissingShader {
    const char* file;
    const char* failText;
    int builtBefore;  // shaders loaded successfully before it, in creation order
};

void PrintTo(const MissingShader& m, std::ostream* out) { *out << m.file; }

class PostProcessorMissingShaderTest : public PostProcessorTest,
                                       public ::testing::WithParamInterface<MissingShader> {};

TEST_P(PostProcessorMissingShaderTest, InitStopsAtTheFirstMissingShader)
{
    const MissingShader& m = GetParam();
    layout.RemoveFile(std::string("shaders/") + m.file);
    std::unique_ptr<TestEngine> engine = StartEngine(kWidth, kHeight, 4);
    ASSERT_NE(engine, nullptr);
    PostProcessor post;
    LogCapture log;
    EXPECT_FALSE(post.Init());

    ASSERT_EQ(log.Lines().size(), 2u) << "one line from the shader, one from the chain";
    EXPECT_EQ(log.Lines()[0].message, "Failed to read fragment shader source!");
    EXPECT_EQ(log.Lines()[0].category, SDL_LOG_CATEGORY_VIDEO);
    EXPECT_EQ(log.Lines()[1].message, m.failText);
    EXPECT_EQ(log.Lines()[1].category, SDL_LOG_CATEGORY_SYSTEM);
    EXPECT_EQ(log.Lines()[1].priority, SDL_LOG_PRIORITY_ERROR);

    Shader* inOrder[] = {&post.copyShader, &post.highPassShader, &post.blurShader,
                         &post.mixShader,  &post.resolveShader,  &post.resolveDepthShader};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(inOrder[i]->program != kNoGLName, i < m.builtBefore) << i;
    // Every buffer came before the shaders; nothing after the failure was made.
    EXPECT_NE(post.depthBuffer.framebuffer, 0u);
    EXPECT_NE(post.bloomBuffer3.framebuffer, 0u);
    EXPECT_EQ(post.quadBuffer, 0u);
    EXPECT_EQ(post.sampler, 0u);

    // Tearing down a half-built chain is clean.
    log.Clear();
    post.Destroy();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(log.Errors(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    EachShader, PostProcessorMissingShaderTest,
    ::testing::Values(MissingShader{"CopyTex.frag", "Failed to initialize Copy Shader!", 0},
                      MissingShader{"HighPass.frag", "Failed to initialize High Pass Shader!", 1},
                      MissingShader{"Blur.frag", "Failed to initialize Blur Shader!", 2},
                      MissingShader{"Mix.frag", "Failed to initialize Mix Shader!", 3},
                      MissingShader{"ResolveFBO.frag", "Failed to initialize Resolve FBO Shader!", 4},
                      MissingShader{"ResolveDepth.frag", "Failed to initialize Resolve Depth Shader!", 5}),
    [](const ::testing::TestParamInfo<MissingShader>& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });
