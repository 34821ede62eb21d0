#include <gtest/gtest.h>

#include <cmath>

#include "render/Math.h"

namespace {

// m × (x, y, z, 1): the position a vertex ends up at.
Vec3 Transform(const Mat4& m, const Vec3& p)
{
    return Vec3(m[0][0] * p.x + m[1][0] * p.y + m[2][0] * p.z + m[3][0],
                m[0][1] * p.x + m[1][1] * p.y + m[2][1] * p.z + m[3][1],
                m[0][2] * p.x + m[1][2] * p.y + m[2][2] * p.z + m[3][2]);
}

void ExpectSame(const Mat4& a, const Mat4& b)
{
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a.m[i], b.m[i]) << "element " << i;
}

Mat4 Sample()
{
    return scale(rotate(translate(Mat4(), Vec3(3.0f, -4.0f, 5.0f)), 33.0f, Vec3(1.0f, 2.0f, 3.0f)),
                 Vec3(2.0f, 0.5f, -1.5f));
}

}  // namespace

TEST(Math, RotateQuarterTurnAboutZTurnsXOntoY)
{
    const Mat4 r = rotate(Mat4(), 90.0f, Vec3(0.0f, 0.0f, 1.0f));
    const float expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(r.m[i], expected[i], 1e-7f) << "element " << i;
    // Counter-clockwise seen from +z: y turns onto -x.
    const Vec3 y = Transform(r, Vec3(0, 1, 0));
    EXPECT_NEAR(y.x, -1.0f, 1e-7f);
    EXPECT_NEAR(y.y, 0.0f, 1e-7f);
}

TEST(Math, RotateNormalisesTheAxisAndKeepsTheTranslation)
{
    ExpectSame(rotate(Sample(), 47.0f, Vec3(0, 0, 2)), rotate(Sample(), 47.0f, Vec3(0, 0, 1)));
    const Mat4 m = Sample();
    const Mat4 turned = rotate(m, 71.0f, Vec3(1.0f, -2.0f, 0.5f));
    for (int r = 0; r < 4; ++r) EXPECT_EQ(turned[3][r], m[3][r]);
    const Mat4 same = rotate(m, 0.0f, Vec3(0.3f, 0.4f, 0.5f));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(same.m[i], m.m[i], 1e-6f) << i;
}

TEST(Math, TranslateAndScale)
{
    const Mat4 t = translate(Mat4(), Vec3(1, 2, 3));
    EXPECT_EQ(t[3][0], 1.0f);
    EXPECT_EQ(t[3][1], 2.0f);
    EXPECT_EQ(t[3][2], 3.0f);
    EXPECT_EQ(t[3][3], 1.0f);

    const Mat4 st = translate(scale(Mat4(), Vec3(2, 2, 2)), Vec3(1, 2, 3));
    EXPECT_EQ(st[3][0], 2.0f);
    EXPECT_EQ(st[3][1], 4.0f);
    EXPECT_EQ(st[3][2], 6.0f);
    EXPECT_EQ(st[0][0], 2.0f);

    const Mat4 s = scale(t, Vec3(2, 3, 4));
    EXPECT_EQ(s[0][0], 2.0f);
    EXPECT_EQ(s[1][1], 3.0f);
    EXPECT_EQ(s[2][2], 4.0f);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(s[3][r], t[3][r]);
}

TEST(Math, BuildersChainAsTranslateRotateScale)
{
    // Scale acts first on a vertex, then the rotation, the translation last.
    Mat4 m = translate(Mat4(), Vec3(10, 0, 0));
    m = rotate(m, 90.0f, Vec3(0, 0, 1));
    m = scale(m, Vec3(2, 2, 2));
    const Vec3 p = Transform(m, Vec3(1, 0, 0));
    EXPECT_NEAR(p.x, 10.0f, 1e-6f);
    EXPECT_NEAR(p.y, 2.0f, 1e-6f);
    EXPECT_NEAR(p.z, 0.0f, 1e-6f);
}

TEST(Math, LookAtDownTheZAxisIsATranslation)
{
    const Mat4 v = lookAt(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
    Mat4 expected;
    expected[3][2] = -5.0f;
    ExpectSame(v, expected);
}

TEST(Math, LookAtPutsTheTargetInFrontOfTheCamera)
{
    const Vec3 eye(4, 3, -2);
    const Vec3 target(-1, 0.5f, 7);
    const Mat4 v = lookAt(eye, target, Vec3(0, 1, 0));
    const Vec3 seen = Transform(v, target);
    EXPECT_NEAR(seen.x, 0.0f, 1e-5f);
    EXPECT_NEAR(seen.y, 0.0f, 1e-5f);
    const Vec3 d = target - eye;
    EXPECT_NEAR(seen.z, -std::sqrt(dot(d, d)), 1e-4f);
}

TEST(Math, DegenerateLookAtGivesNonFiniteRowsWithoutFailing)
{
    const Mat4 same = lookAt(Vec3(1, 2, 3), Vec3(1, 2, 3), Vec3(0, 1, 0));
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 3; ++r) EXPECT_FALSE(std::isfinite(same[c][r])) << c << "," << r;
        EXPECT_EQ(same[c][3], c == 3 ? 1.0f : 0.0f);
    }

    // Up along the viewing direction: no right vector, so rows 0 and 1 are lost.
    const Mat4 parallel = lookAt(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 0, 1));
    for (int c = 0; c < 4; ++c) {
        EXPECT_FALSE(std::isfinite(parallel[c][0])) << c;
        EXPECT_FALSE(std::isfinite(parallel[c][1])) << c;
        EXPECT_TRUE(std::isfinite(parallel[c][2])) << c;
    }
}

TEST(Math, PerspectiveForTheProductionsCamera)
{
    const float aspect = 1600.0f / 900.0f;
    const Mat4 p = perspective(1.0471976f, aspect, 1.0f, 1000.0f);
    EXPECT_FLOAT_EQ(p[1][1], 1.7320508f);
    EXPECT_FLOAT_EQ(p[0][0], 0.97427857f);
    EXPECT_FLOAT_EQ(p[2][2], -1.002002f);
    EXPECT_FLOAT_EQ(p[3][2], -2.002002f);
    EXPECT_EQ(p[2][3], -1.0f);
    EXPECT_EQ(p[3][3], 0.0f);
    const int zeros[] = {1, 2, 3, 4, 6, 7, 8, 9, 12, 13};
    for (int i : zeros) EXPECT_EQ(p.m[i], 0.0f) << i;
}
