// The scene's camera and object list against a live GL context.

#include <cmath>
#include <cstdlib>

#include "scene/FlakeObject.h"
#include "scene/GridObject.h"
#include "scene/NeedleObject.h"
#include "scene/Particle.h"
#include "scene/Production.h"
#include "scene/RingObject.h"
#include "scene/WireframeCubeObject.h"
#include "SceneFixture.h"

namespace {

void ExpectMatrix(const Mat4& actual, const Mat4& expected, float tolerance = 1e-5f)
{
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

Mat4 IdentityWithZ(float z)
{
    Mat4 m;
    m[3][2] = z;
    return m;
}

}  // namespace

using CameraTest = SceneFixture;

struct CameraCase {
    const char* name;
    std::vector<std::pair<std::string, float>> tracks;
    Mat4 expected;
};

class CameraModeTest : public SceneFixture, public ::testing::WithParamInterface<CameraCase> {};

TEST_P(CameraModeTest, ViewMatrixFromTracks)
{
    Tracks(GetParam().tracks);
    Start();
    scene().Render(0.0f);
    ExpectMatrix(scene().viewMatrix, GetParam().expected);
    EXPECT_TRUE(log.Errors().empty());
}

static Mat4 YawedOrbit()
{
    Mat4 m(0.0f);
    m[0][2] = -1.0f;  // world x goes to view -z
    m[1][1] = 1.0f;
    m[2][0] = 1.0f;
    m[3][2] = -10.0f;
    m[3][3] = 1.0f;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CameraModeTest,
    ::testing::Values(
        CameraCase{"LookAt", {{"Camera.Mode", 0.0f}, {"Camera.Z", 5.0f}}, IdentityWithZ(-5.0f)},
        CameraCase{"LookAtIgnoresOrbitTracks",
                   {{"Camera.Mode", 0.0f}, {"Camera.Z", 5.0f}, {"Camera.Distance", 30.0f},
                    {"Camera.Yaw", 45.0f}},
                   IdentityWithZ(-5.0f)},
        CameraCase{"Orbit", {{"Camera.Mode", 1.0f}, {"Camera.Distance", 10.0f}},
                   IdentityWithZ(-10.0f)},
        CameraCase{"OrbitYawed",
                   {{"Camera.Mode", 1.0f}, {"Camera.Distance", 10.0f}, {"Camera.Yaw", 90.0f}},
                   YawedOrbit()},
        CameraCase{"OrbitIgnoresFocus",
                   {{"Camera.Mode", 1.0f}, {"Camera.Distance", 10.0f}, {"Focus.X", 7.0f},
                    {"Camera.Z", 3.0f}},
                   IdentityWithZ(-10.0f)},
        CameraCase{"ModeRoundsDown",
                   {{"Camera.Mode", 1.9f}, {"Camera.Distance", 10.0f}, {"Camera.Yaw", 90.0f}},
                   YawedOrbit()}),
    [](const ::testing::TestParamInfo<CameraCase>& info) { return std::string(info.param.name); });

// Modes other than 0 and 1 keep the previous frame's view.
class CameraHoldTest : public SceneFixture, public ::testing::WithParamInterface<float> {};

TEST_P(CameraHoldTest, KeepsThePreviousView)
{
    // Look-at from z = 5 at row 0; from row 10 the mode holds while the
    // camera track moves on to z = 9.
    ASSERT_TRUE(WriteTrack(layout, "Camera.Mode", {{0, 0.0f, 0}, {10, GetParam(), 0}}));
    ASSERT_TRUE(WriteTrack(layout, "Camera.Z", {{0, 5.0f, 0}, {10, 9.0f, 0}}));
    Start();
    scene().Render(0.0f);
    ExpectMatrix(scene().viewMatrix, IdentityWithZ(-5.0f));

    sync().SetRow(12.0f);
    ASSERT_EQ(sync().GetFloat("Camera.Z"), 9.0f);
    scene().Render(0.0f);
    ExpectMatrix(scene().viewMatrix, IdentityWithZ(-5.0f));
}

INSTANTIATE_TEST_SUITE_P(Modes, CameraHoldTest, ::testing::Values(2.0f, -0.5f, 7.0f));

TEST_F(CameraTest, ProjectionIsSixtyDegreesAtTheWindowAspect)
{
    Start(1600, 900, 4);
    const Mat4& p = scene().projectionMatrix;
    EXPECT_NEAR(p[1][1], 1.7320508f, 1e-6f);
    EXPECT_NEAR(p[0][0], 0.97427857f, 1e-6f);
    EXPECT_NEAR(p[3][2], -2.002002f, 1e-6f);
}

TEST_F(CameraTest, NonFiniteViewsGiveWayToTheBlankView)
{
    // No camera tracks: mode 0 with eye and target both at the origin.
    Start();
    scene().Render(0.0f);
    ExpectMatrix(scene().viewMatrix, Scene::BlankView(), 0.0f);

    const Mat4 finite = IdentityWithZ(-3.0f);
    ExpectMatrix(Scene::FiniteView(finite), finite, 0.0f);
    for (float bad : {NAN, INFINITY}) {
        Mat4 broken = finite;
        broken[1][2] = bad;
        ExpectMatrix(Scene::FiniteView(broken), Scene::BlankView(), 0.0f);
    }
}

using ObjectModelTest = SceneFixture;

TEST_F(ObjectModelTest, ProductionListInDrawingOrder)
{
    Start();
    PopulateScene(scene());
    const std::vector<SceneObject*>& objects = scene().objects;
    ASSERT_EQ(objects.size(), 1028u);
    EXPECT_EQ(objects[0]->GetType(), Grid);
    EXPECT_EQ(objects[1]->GetType(), Ring);
    EXPECT_EQ(objects[2]->GetType(), Ring);
    EXPECT_EQ(objects[3]->GetType(), Cube);
    for (size_t i = 4; i < objects.size(); ++i) {
        ASSERT_EQ(objects[i]->GetType(), (i % 2 == 0) ? Needle : Flake) << i;
    }
    EXPECT_EQ(static_cast<RingObject*>(objects[1])->radius, 10.0f);
    EXPECT_EQ(static_cast<RingObject*>(objects[1])->segmentCount, 360u);
    EXPECT_EQ(static_cast<RingObject*>(objects[2])->radius, 25.0f);
    EXPECT_EQ(static_cast<RingObject*>(objects[2])->segmentCount, 180u);
    EXPECT_EQ(static_cast<GridObject*>(objects[0])->resolution, 64u);
    EXPECT_NE(static_cast<GridObject*>(objects[0])->noiseSampler, 0u);
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(ObjectModelTest, ParticlesTakeTheSeededDrawsInCreationOrder)
{
    // Whatever ran before, the population starts from the scene's own seed.
    SeedParticleRandom(12345);
    ParticleRandom();
    Start();
    PopulateScene(scene());

    // The reference is the C library's own sequence: glibc's on Linux.
    srand(0);
    std::vector<int> raw(18 * 512);
    for (int& r : raw) r = rand();
    auto draw = [&](size_t i) { return (float)((double)(float)(raw[i] % 2001 - 1000) / 1000.0); };

    // Needle k takes draws 18k + 1 .. 18k + 9, flake k the next nine, each in
    // the order z, y, x of direction, speed, z, y, x of the axis, rate, size.
    auto expectDraws = [&](const auto* p, size_t first) {
        const float got[9] = {p->direction.z, p->direction.y, p->direction.x,
                              p->speed,       p->spinAxis.z,  p->spinAxis.y,
                              p->spinAxis.x,  p->spinRate,    p->sizeFactor};
        const double factor[9] = {1, 1, 1, 5.0, 1, 1, 1, 90.0, 0.75};
        for (size_t i = 0; i < 9; ++i) {
            ASSERT_EQ(got[i], (float)(draw(first + i) * factor[i])) << "draw " << first + i + 1;
        }
    };
    const std::vector<SceneObject*>& objects = scene().objects;
    for (size_t k = 0; k < 512; ++k) {
        expectDraws(static_cast<NeedleObject*>(objects[4 + 2 * k]), 18 * k);
        expectDraws(static_cast<FlakeObject*>(objects[5 + 2 * k]), 18 * k + 9);
    }

    // Creating a flake before its needle hands it the needle's draws.
    SeedParticleRandom(0);
    FlakeObject early;
    NeedleObject late;
    early.Init(nullptr);
    late.Init(nullptr);
    const NeedleObject* first = static_cast<NeedleObject*>(objects[4]);
    EXPECT_EQ(early.direction.z, first->direction.z);
    EXPECT_EQ(early.spinAxis.x, first->spinAxis.x);
    EXPECT_NE(late.direction.z, first->direction.z);
}

TEST_F(ObjectModelTest, ObjectWithoutItsShaderStaysInTheListAndIsDrawn)
{
    layout.RemoveFile("shaders/WireframeGrid.vert");
    Tracks({{"Grid.Visible", 1.0f}, {"Camera.Mode", 1.0f}, {"Camera.Distance", 100.0f}});
    Start();
    scene().AddObject(new GridObject(4, 8.0f));
    EXPECT_EQ(log.Count("Failed to initialize wireframe shader!"), 1);
    ASSERT_EQ(scene().objects.size(), 1u);

    log.Clear();
    scene().Render(0.0f);
    // Its draw runs, and the uniform lookups on the unbuilt program say so.
    // (SDL drops the line feed that ends the shader messages.)
    int lookups = 0;
    for (const std::string& message : log.Errors()) {
        lookups += message.rfind("Tried to get a uniform location from a shader that is not compiled!", 0) == 0;
    }
    EXPECT_EQ(lookups, 9);  // five noise uniforms, two camera matrices, model, colour
}

TEST_F(ObjectModelTest, FirstRingFollowsRing1AndEveryLaterRingRing2)
{
    Tracks({{"Ring1.Progress", 0.25f},
            {"Ring1.Rotation", 10.0f},
            {"Ring2.Progress", 0.75f},
            {"Ring2.Rotation", 20.0f}});
    Start();
    for (int i = 0; i < 3; ++i) scene().AddObject(new RingObject(10.0f + i, 2.0f));
    scene().Render(0.0f);
    const std::vector<SceneObject*>& objects = scene().objects;
    EXPECT_EQ(static_cast<RingObject*>(objects[0])->progress, 0.25f);
    EXPECT_EQ(static_cast<RingObject*>(objects[0])->rotation, 10.0f);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(static_cast<RingObject*>(objects[i])->progress, 0.75f) << i;
        EXPECT_EQ(static_cast<RingObject*>(objects[i])->rotation, 20.0f) << i;
    }
}

TEST_F(ObjectModelTest, ShutdownSkipsNullEntriesAndEmptiesTheList)
{
    Start();
    scene().AddObject(nullptr);  // ignored: there is nothing to initialise
    EXPECT_TRUE(scene().objects.empty());
    scene().AddObject(new RingObject(10.0f, 1.0f));
    scene().objects.push_back(nullptr);
    scene().AddObject(new WireframeCubeObject());
    scene().Render(0.0f);
    scene().Shutdown();
    sceneLive = false;
    EXPECT_TRUE(scene().objects.empty());
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(ObjectModelTest, ShutdownOfAnUnpopulatedSceneReleasesItsOwnData)
{
    Start();
    ASSERT_NE(FlakeObject::objectData.vertexArray, 0u);
    ASSERT_NE(NeedleObject::objectData.vertexArray, 0u);
    const GLuint flakeArray = FlakeObject::objectData.vertexArray;
    scene().Shutdown();
    sceneLive = false;
    EXPECT_TRUE(scene().objects.empty());
    EXPECT_FALSE(glIsVertexArray(flakeArray));
    EXPECT_FALSE(glIsProgram(NeedleObject::objectData.shader.program));
    EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

