// The scene's geometry, counts and random placement, computed without GL.

#include <gtest/gtest.h>
#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "SmoothNoise.h"
#include "scene/FlakeObject.h"
#include "scene/GridObject.h"
#include "scene/NeedleObject.h"
#include "scene/RingObject.h"
#include "scene/WireframeCubeObject.h"

namespace {

Vec3 VertexAt(const std::vector<float>& v, size_t index)
{
    return Vec3(v[index * 3], v[index * 3 + 1], v[index * 3 + 2]);
}

void ExpectVec3(const Vec3& actual, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

// m * (x, y, z, 1), for placing model-space points.
Vec3 Transform(const Mat4& m, float x, float y, float z)
{
    return Vec3(m[0][0] * x + m[1][0] * y + m[2][0] * z + m[3][0],
                m[0][1] * x + m[1][1] * y + m[2][1] * z + m[3][1],
                m[0][2] * x + m[1][2] * y + m[2][2] * z + m[3][2]);
}

float Distance(const Vec3& a, const Vec3& b)
{
    const Vec3 d = a - b;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

}  // namespace

TEST(GridGeometry, ProductionLatticeCornersAndCells)
{
    const std::vector<float> vertices = GridObject::BuildVertices(64, 8.0f);
    const std::vector<GLuint> indices = GridObject::BuildIndices(64);
    ASSERT_EQ(vertices.size(), 4225u * 3);
    ASSERT_EQ(indices.size(), 32768u);
    EXPECT_EQ(GridObject::IndexCount(64), 32768u);

    ExpectVec3(VertexAt(vertices, 0), -256.0f, 0.0f, -256.0f);
    ExpectVec3(VertexAt(vertices, 64), 256.0f, 0.0f, -256.0f);
    ExpectVec3(VertexAt(vertices, 65), -256.0f, 0.0f, -248.0f);
    ExpectVec3(VertexAt(vertices, 4224), 256.0f, 0.0f, 256.0f);

    const std::vector<GLuint> first(indices.begin(), indices.begin() + 8);
    const std::vector<GLuint> last(indices.end() - 8, indices.end());
    EXPECT_EQ(first, (std::vector<GLuint>{0, 1, 0, 65, 66, 65, 66, 1}));
    EXPECT_EQ(last, (std::vector<GLuint>{4158, 4159, 4158, 4223, 4224, 4223, 4224, 4159}));

    // Every line is one cell edge long, and the interior edges come twice.
    std::multiset<std::pair<GLuint, GLuint>> edges;
    for (size_t i = 0; i < indices.size(); i += 2) {
        ASSERT_LT(indices[i], 4225u);
        ASSERT_LT(indices[i + 1], 4225u);
        EXPECT_FLOAT_EQ(Distance(VertexAt(vertices, indices[i]), VertexAt(vertices, indices[i + 1])),
                        8.0f);
        edges.insert(std::minmax(indices[i], indices[i + 1]));
    }
    EXPECT_EQ(edges.count({1, 66}), 2u);   // between cells (0, 0) and (0, 1)
    EXPECT_EQ(edges.count({0, 1}), 1u);    // on the rim
}

TEST(GridGeometry, ResolutionZeroIsOneVertexAndNoLines)
{
    const std::vector<float> vertices = GridObject::BuildVertices(0, 8.0f);
    ASSERT_EQ(vertices.size(), 3u);
    ExpectVec3(VertexAt(vertices, 0), 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(GridObject::BuildIndices(0).empty());
    EXPECT_EQ(GridObject::IndexCount(0), 0u);
}

TEST(RingGeometry, BothProductionRings)
{
    struct Case {
        float radius, angle;
        uint32_t segments;
    };
    for (const Case& c : {Case{10.0f, 1.0f, 360}, Case{25.0f, 2.0f, 180}}) {
        SCOPED_TRACE(c.radius);
        ASSERT_EQ(RingObject::SegmentCount(c.angle), c.segments);
        const std::vector<float> vertices = RingObject::BuildVertices(c.segments, c.radius, c.angle);
        const std::vector<GLuint> indices = RingObject::BuildIndices(c.segments);
        ASSERT_EQ(vertices.size(), c.segments * 3u);
        ASSERT_EQ(indices.size(), c.segments * 2u);

        ExpectVec3(VertexAt(vertices, 0), c.radius, 0.0f, 0.0f);
        // A quarter of the way round lies on +y in the ring's own plane.
        ExpectVec3(VertexAt(vertices, c.segments / 4), 0.0f, c.radius, 0.0f, 1e-3f);
        for (uint32_t k = 0; k < c.segments; ++k) {
            EXPECT_NEAR(Distance(VertexAt(vertices, k), Vec3()), c.radius, 1e-4f);
        }
        EXPECT_EQ(indices[0], 0u);
        EXPECT_EQ(indices[1], 1u);
        EXPECT_EQ(indices[indices.size() - 4], c.segments - 2);
        EXPECT_EQ(indices[indices.size() - 3], c.segments - 1);
        EXPECT_EQ(indices[indices.size() - 2], c.segments - 1);
        EXPECT_EQ(indices[indices.size() - 1], 0u);
    }
}

TEST(RingGeometry, DrawnIndexCounts)
{
    struct Case {
        uint32_t segments;
        float progress;
        uint32_t drawn;
    };
    const Case cases[] = {
        {360, 0.5f, 360},   {360, 1.0f, 720},    {180, 0.25f, 90},  {360, 0.0f, 0},
        {360, 1.5f, 720},   {360, -1.0f, 720},   {180, -1.0f, 360}, {360, -0.001f, 0},
        {360, 0.0014f, 1},  {360, NAN, 0},       {360, INFINITY, 720},
        {360, -INFINITY, 0}, {360, 1e30f, 720},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RingObject::DrawnIndexCount(c.segments, c.progress), c.drawn)
            << c.segments << " segments, progress " << c.progress;
    }
}

TEST(RingGeometry, AnglesOutsideTheCircleGiveAnEmptyRing)
{
    for (float angle : {0.0f, -1.0f, 361.0f, NAN, 1e-9f}) {
        EXPECT_EQ(RingObject::SegmentCount(angle), 0u) << angle;
    }
    EXPECT_EQ(RingObject::SegmentCount(360.0f), 1u);
    EXPECT_EQ(RingObject::SegmentCount(7.0f), 51u);  // 51.43 truncated
    EXPECT_TRUE(RingObject::BuildIndices(0).empty());
    EXPECT_EQ(RingObject::DrawnIndexCount(0, 1.0f), 0u);
}

// Each index pair of a kind joins two of its vertices `length` apart.
template <size_t V, size_t I>
void ExpectEdges(const float (&vertices)[V], const GLuint (&indices)[I], float length, size_t unique)
{
    std::set<std::pair<GLuint, GLuint>> edges;
    for (size_t i = 0; i < I; i += 2) {
        ASSERT_LT(indices[i + 1] * 3, V);
        const float* a = &vertices[indices[i] * 3];
        const float* b = &vertices[indices[i + 1] * 3];
        EXPECT_FLOAT_EQ(Distance(Vec3(a[0], a[1], a[2]), Vec3(b[0], b[1], b[2])), length) << i;
        edges.insert(std::minmax(indices[i], indices[i + 1]));
    }
    EXPECT_EQ(edges.size(), unique);
}

TEST(KindGeometry, CubeFlakeAndNeedle)
{
    // Cube: twelve unit edges over the eight corners at +-0.5, front face first.
    for (float c : WireframeCubeObject::kVertices) EXPECT_EQ(std::fabs(c), 0.5f);
    ExpectEdges(WireframeCubeObject::kVertices, WireframeCubeObject::kIndices, 1.0f, 12);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(WireframeCubeObject::kVertices[WireframeCubeObject::kIndices[i] * 3 + 2], 0.5f);
    }
    // Flake: the four sides of a unit square in the xy plane.
    for (size_t v = 0; v < 4; ++v) EXPECT_EQ(FlakeObject::kVertices[v * 3 + 2], 0.0f);
    ExpectEdges(FlakeObject::kVertices, FlakeObject::kIndices, 1.0f, 4);
    // Needle: one unit segment along y.
    EXPECT_EQ(std::vector<float>(std::begin(NeedleObject::kVertices), std::end(NeedleObject::kVertices)),
              (std::vector<float>{0.0f, 0.5f, 0.0f, 0.0f, -0.5f, 0.0f}));
    ExpectEdges(NeedleObject::kVertices, NeedleObject::kIndices, 1.0f, 1);
}

TEST(CubeGeometry, CopiesOrbitSpinAndGrow)
{
    // At time 0 the first copy sits at (25, 10, Z) and is collapsed to a point.
    const Mat4 first = WireframeCubeObject::CopyMatrix(0, 0.0f, 3.0f, 10.0f);
    ExpectVec3(Vec3(first[3][0], first[3][1], first[3][2]), 25.0f, 10.0f, 3.0f);
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) EXPECT_EQ(first[c][r], 0.0f);
    }

    const Mat4 second = WireframeCubeObject::CopyMatrix(1, 0.0f, 3.0f, 10.0f);
    ExpectVec3(Vec3(second[3][0], second[3][1], second[3][2]), 0.0199f, 35.0f, 38.0f, 1e-3f);

    // The last copy has the full scale; two seconds spin it by 90 degrees
    // about y, and the orbit has turned by 6.28 radians.
    const Mat4 last = WireframeCubeObject::CopyMatrix(7, 2.0f, 0.0f, 10.0f);
    ExpectVec3(Vec3(last[0][0], last[0][1], last[0][2]), 0.0f, 0.0f, -10.0f, 1e-4f);
    const float a = 7.0f * 1.57f + 6.28f;
    ExpectVec3(Vec3(last[3][0], last[3][1], last[3][2]), std::cos(a) * 25.0f,
               std::sin(a) * 25.0f + 10.0f, 245.0f, 1e-3f);
}

TEST(ParticlePlacement, DriftSpinAndSize)
{
    ParticleParameters p;
    p.direction = Vec3(0.5f, -1.0f, 0.25f);
    p.speed = 2.0f;
    p.spinAxis = Vec3(0.0f, 0.0f, 1.0f);
    p.spinRate = 0.0f;
    p.sizeFactor = 0.75f;
    const Vec3 centre(1.0f, 2.0f, 3.0f);

    // Time 0 keeps the particle on the cloud centre; a needle spans 0.75 units
    // and, without spin, stays parallel to y.
    Mat4 m = ParticleModelMatrix(centre, p, 0.0f, 100.0f);
    const Vec3 top = Transform(m, 0.0f, 0.5f, 0.0f);
    const Vec3 bottom = Transform(m, 0.0f, -0.5f, 0.0f);
    ExpectVec3(top, 1.0f, 2.375f, 3.0f);
    ExpectVec3(bottom, 1.0f, 1.625f, 3.0f);

    // The drift follows the time track: direction * speed * t from the centre.
    m = ParticleModelMatrix(centre, p, 3.0f, 0.0f);
    ExpectVec3(Vec3(m[3][0], m[3][1], m[3][2]), 4.0f, -4.0f, 4.5f);

    // The spin follows music time: 45 deg/s for 2 s turns +y onto -x.
    p.spinRate = 45.0f;
    p.sizeFactor = 1.0f;
    m = ParticleModelMatrix(Vec3(), p, 0.0f, 2.0f);
    ExpectVec3(Transform(m, 0.0f, 1.0f, 0.0f), -1.0f, 0.0f, 0.0f);
}

TEST(NoiseTexture, CommittedImageIsTheGeneratorsOutputAndTiles)
{
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(OSTREL_SOURCE_DIR "/res/textures/smoothNoise.png", &width, &height,
                                &channels, 4);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 256);
    ASSERT_EQ(height, 256);
    const std::vector<uint8_t> committed(pixels, pixels + 256 * 256 * 4);
    stbi_image_free(pixels);
    // Remade within a step of rounding (other maths libraries may round
    // differently).
    const std::vector<uint8_t> remade = smoothnoise::MakeImage(256);
    int worst = 0;
    for (size_t i = 0; i < remade.size(); ++i) worst = std::max(worst, std::abs(remade[i] - committed[i]));
    EXPECT_LE(worst, 1) << "regenerate with noisegen";

    auto at = [&](int x, int y, int c) { return (int)committed[((size_t)y * 256 + x) * 4 + c]; };
    for (int c = 0; c < 4; ++c) {
        // Steps across the wrap are no larger than steps inside the tile, and
        // each channel spans a wide range.
        int inside = 0, wrap = 0, lo = 255, hi = 0;
        for (int i = 0; i < 256; ++i) {
            inside = std::max({inside, std::abs(at(127, i, c) - at(128, i, c)),
                               std::abs(at(i, 127, c) - at(i, 128, c))});
            wrap = std::max({wrap, std::abs(at(255, i, c) - at(0, i, c)),
                             std::abs(at(i, 255, c) - at(i, 0, c))});
            lo = std::min(lo, at(i, i, c));
            hi = std::max(hi, at(i, i, c));
        }
        EXPECT_LE(wrap, inside + 2) << "channel " << c;
        EXPECT_LT(inside, 40) << "channel " << c;
        EXPECT_GT(hi - lo, 80) << "channel " << c;
    }
    // The channels differ from each other.
    EXPECT_NE(at(10, 10, 0), at(10, 10, 1));
    EXPECT_NE(at(10, 10, 1), at(10, 10, 2));
}
