#pragma once

// A live scene in a temporary layout: a fresh engine, window and track
// directory per test, so lazily read tracks come from this test's files.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/Engine.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"

class SceneFixture : public ::testing::Test {
protected:
    void SetUp() override { layout.ClearTracks(); }

    void TearDown() override
    {
        if (sceneLive) scene().Shutdown();
        engine.Shutdown();
    }

    // Brings up the window and the scene; fails the test when either fails.
    void Start(int width = 320, int height = 180, int samples = 4)
    {
        ASSERT_TRUE(engine.Init(width, height, samples));
        ASSERT_TRUE(scene().Init());
        sceneLive = true;
        this->width = width;
        this->height = height;
    }

    Scene& scene() { return engine.Get().GetScene(); }
    SyncDevice& sync() { return engine.Get().GetSyncDevice(); }

    void Tracks(const std::vector<std::pair<std::string, float>>& values)
    {
        for (const auto& [name, value] : values) ASSERT_TRUE(WriteConstantTrack(layout, name, value));
    }

    TempLayout layout;
    TestEngine engine;
    LogCapture log;
    bool sceneLive = false;
    int width = 0;
    int height = 0;
};
