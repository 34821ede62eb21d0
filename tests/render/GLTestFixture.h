#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <memory>

#include "support/TestSupport.h"

// Creating contexts over and over in one process now and then yields one that
// GLEW rejects for want of a GLX display (SDL picked EGL for it); GL itself
// works, and a fresh attempt gets an ordinary one.
inline std::unique_ptr<TestEngine> StartEngine(int width, int height, int samples)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto engine = std::make_unique<TestEngine>();
        if (engine->Init(width, height, samples))
            return engine;
    }
    return nullptr;
}

// A temporary bin/ + res/ layout (entered, so "../res/..." resolves) and a live
// GL 3.3 core context for each test.
class GLTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 180;

    void SetUp() override
    {
        engine = StartEngine(kWidth, kHeight, 4);
        ASSERT_NE(engine, nullptr);
    }

    TempLayout layout;
    std::unique_ptr<TestEngine> engine;
};
