// Single frames rendered under Xvfb and read back from the window.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "scene/Production.h"
#include "scene/RingObject.h"
#include "SceneFixture.h"

namespace {

struct Rgb {
    int r, g, b;
};

bool IsBlack(const Rgb& p) { return p.r == 0 && p.g == 0 && p.b == 0; }
// The rings, grid and flakes are (0.09, 0.79, 0.9); cubes and needles (0.89, 0.88, 0.09).
// Dim edge pixels of a line count too, as long as the hue is clear.
bool IsCyan(const Rgb& p) { return p.b >= 20 && p.g > 2 * p.r + 8 && p.b > 2 * p.r + 8; }
bool IsYellow(const Rgb& p) { return p.r >= 20 && p.r > 2 * p.b + 8 && p.g > 2 * p.b + 8; }

class Frame {
public:
    Frame(int width, int height) : width(width), height(height), rgba(ReadWindowPixels(width, height)) {}

    // x from the left, y from the bottom.
    Rgb At(int x, int y) const
    {
        const uint8_t* p = &rgba[((size_t)y * width + x) * 4];
        return Rgb{p[0], p[1], p[2]};
    }
    int Count(const std::function<bool(const Rgb&)>& test) const
    {
        int n = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) n += test(At(x, y)) ? 1 : 0;
        }
        return n;
    }
    bool AnyNear(int x, int y, const std::function<bool(const Rgb&)>& test) const
    {
        for (int py = std::max(y - 1, 0); py <= std::min(y + 1, height - 1); ++py) {
            for (int px = std::max(x - 1, 0); px <= std::min(x + 1, width - 1); ++px) {
                if (test(At(px, py))) return true;
            }
        }
        return false;
    }
    void Save(const std::string& name) const { WritePNG(name, width, height, rgba); }

    int width, height;
    std::vector<uint8_t> rgba;
};

// Window pixel of a world point seen through the scene's camera.
bool Project(const Scene& scene, float x, float y, float z, int width, int height, float& px,
             float& py)
{
    const Mat4& v = scene.viewMatrix;
    const Mat4& p = scene.projectionMatrix;
    float eye[4], clip[4];
    for (int r = 0; r < 4; ++r) eye[r] = v[0][r] * x + v[1][r] * y + v[2][r] * z + v[3][r];
    for (int r = 0; r < 4; ++r) {
        clip[r] = p[0][r] * eye[0] + p[1][r] * eye[1] + p[2][r] * eye[2] + p[3][r] * eye[3];
    }
    if (clip[3] <= 0.0f) return false;
    px = (clip[0] / clip[3] * 0.5f + 0.5f) * (float)width;
    py = (clip[1] / clip[3] * 0.5f + 0.5f) * (float)height;
    return true;
}

}  // namespace

class PixelTest : public SceneFixture {
protected:
    Frame RenderFrame(float seconds = 0.0f)
    {
        scene().Render(seconds);
        return Frame(width, height);
    }

    void ShowEverything()
    {
        Tracks({{"Grid.Visible", 1.0f},       {"Cube.Visible", 1.0f},   {"Cube.Scale", 10.0f},
                {"Flakes.Visible", 1.0f},     {"Flakes.Fade", 1.0f},    {"Flakes.Time", 4.0f},
                {"Needles.Visible", 1.0f},    {"Needles.Fade", 1.0f},   {"Needles.Time", 4.0f},
                {"Ring1.Progress", 1.0f},     {"Ring2.Progress", 1.0f}, {"Grid.Noise1", 1.0f},
                {"Grid.NoiseMagnitude", 20.0f}});
    }

    // Orbit camera looking straight down on the xz plane from `distance`.
    void TopDownCamera(float distance)
    {
        Tracks({{"Camera.Mode", 1.0f}, {"Camera.Distance", distance}, {"Camera.Pitch", 90.0f}});
    }
};

TEST_F(PixelTest, EverythingHiddenIsBlack)
{
    TopDownCamera(60.0f);
    Start();
    PopulateScene(scene());
    // Rings without progress tracks draw nothing; every other kind is hidden.
    const Frame frame = RenderFrame();
    EXPECT_EQ(frame.Count(IsBlack), width * height);
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(PixelTest, FirstFrameInHoldModeShowsNothing)
{
    ShowEverything();
    Tracks({{"Camera.Mode", 2.0f}});
    Start();
    PopulateScene(scene());
    const Frame frame = RenderFrame(1.0f);
    for (float v : scene().viewMatrix.m) EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(frame.Count(IsBlack), width * height);
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(PixelTest, RingsLieWhereTheirVerticesProject)
{
    TopDownCamera(70.0f);
    Tracks({{"Ring1.Progress", 1.0f}, {"Ring2.Progress", 1.0f}});
    Start(320, 240, 4);
    scene().AddObject(new RingObject(10.0f, 1.0f));
    scene().AddObject(new RingObject(25.0f, 2.0f));
    const Frame frame = RenderFrame();
    ASSERT_TRUE(log.Errors().empty()) << log.Errors().front();

    // Every vertex of both rings has a cyan pixel beside it.
    std::vector<std::pair<float, float>> projected;
    for (const auto& [radius, count] : {std::pair<float, int>{10.0f, 360}, {25.0f, 180}}) {
        for (int k = 0; k < count; ++k) {
            const float a = (float)k * (360.0f / (float)count) * 0.017453292f;
            // The ring's plane is tipped from xy onto xz: (x, y, 0) lies at (x, 0, y).
            float px, py;
            ASSERT_TRUE(Project(scene(), std::cos(a) * radius, 0.0f, std::sin(a) * radius, width,
                                height, px, py));
            projected.push_back({px, py});
            EXPECT_TRUE(frame.AnyNear((int)px, (int)py, IsCyan))
                << "radius " << radius << " vertex " << k << " at " << px << ", " << py;
        }
    }
    // And every lit pixel is on one of them.
    int stray = 0, lit = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (IsBlack(frame.At(x, y))) continue;
            ++lit;
            const Rgb p = frame.At(x, y);
            EXPECT_TRUE(IsCyan(p) || p.b < 20) << x << ", " << y << ": " << p.r << " " << p.g << " " << p.b;
            float best = 1e9f;
            for (const auto& [px, py] : projected) {
                best = std::min(best, std::hypot(px - ((float)x + 0.5f), py - ((float)y + 0.5f)));
            }
            stray += best > 3.0f ? 1 : 0;
        }
    }
    EXPECT_GT(lit, 500);
    EXPECT_EQ(stray, 0);
    // The centre, inside the small ring, is dark.
    EXPECT_TRUE(IsBlack(frame.At(width / 2, height / 2)));
}

class CubePixelTest : public PixelTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CubePixelTest, CubesShowOnlyWhenVisible)
{
    const bool visible = GetParam();
    Tracks({{"Cube.Visible", visible ? 1.0f : 0.0f},
            {"Cube.Scale", 12.0f},
            {"Camera.Mode", 0.0f},
            {"Camera.Y", 10.0f},
            {"Camera.Z", -90.0f},
            {"Focus.Y", 10.0f},
            {"Focus.Z", 100.0f}});
    Start();
    PopulateScene(scene());
    const Frame frame = RenderFrame();
    if (visible) {
        EXPECT_GT(frame.Count(IsYellow), 50);
        EXPECT_EQ(frame.Count(IsCyan), 0);
    } else {
        EXPECT_EQ(frame.Count(IsBlack), width * height);
    }
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

INSTANTIATE_TEST_SUITE_P(Visibility, CubePixelTest, ::testing::Bool());

struct CloudCase {
    const char* group;
    bool yellow;
};

class CloudPixelTest : public PixelTest, public ::testing::WithParamInterface<CloudCase> {};

TEST_P(CloudPixelTest, EachCloudInItsOwnColour)
{
    const std::string group = GetParam().group;
    Tracks({{group + ".Visible", 1.0f},
            {group + ".Fade", 1.0f},
            {group + ".Time", 3.0f},
            {group + ".X", 2.0f},
            {"Camera.Mode", 0.0f},
            {"Camera.Z", 40.0f},
            {"Focus.X", 2.0f}});
    Start();
    PopulateScene(scene());
    const Frame frame = RenderFrame(0.5f);
    const int yellow = frame.Count(IsYellow), cyan = frame.Count(IsCyan);
    if (GetParam().yellow) {
        EXPECT_GT(yellow, 100);
        EXPECT_EQ(cyan, 0);
    } else {
        EXPECT_GT(cyan, 100);
        EXPECT_EQ(yellow, 0);
    }
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

INSTANTIATE_TEST_SUITE_P(Clouds, CloudPixelTest,
                         ::testing::Values(CloudCase{"Needles", true}, CloudCase{"Flakes", false}),
                         [](const ::testing::TestParamInfo<CloudCase>& info) {
                             return std::string(info.param.group);
                         });

TEST_F(PixelTest, EverythingVisibleWithBloom)
{
    ShowEverything();
    Tracks({{"Camera.Mode", 0.0f},   {"Camera.Y", 60.0f},    {"Camera.Z", 120.0f},
            {"Focus.Y", 10.0f},      {"FX.EnableBloom", 1.0f}, {"FX.BloomDry", 1.0f},
            {"FX.BloomWet", 1.0f},   {"FX.Exposure", 1.0f},  {"FX.HighPassCutoff", 0.5f},
            {"FX.BlurMagnitude", 1.0f}, {"FX.BG_R", 1.0f},   {"FX.BG_G", 1.0f},
            {"FX.BG_B", 1.0f},       {"FX.BG_A", 1.0f},   {"FX.Fade", 1.0f}});
    Start(800, 450, 4);
    PopulateScene(scene());
    const Frame frame = RenderFrame(2.0f);
    if (const char* dir = std::getenv("OSTREL_FRAME_DIR")) frame.Save(std::string(dir) + "/everything.png");
    EXPECT_GT(frame.Count(IsCyan), 1000);
    EXPECT_GT(frame.Count(IsYellow), 100);
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}
