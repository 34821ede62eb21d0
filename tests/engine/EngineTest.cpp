// The engine brought up, run and shut down in-process, where the instance
// pointer and the exact log can be observed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "engine/Engine.h"
#include "scene/Production.h"
#include "support/TestSupport.h"

namespace {

const DisplayConfig kSmall = {"Ostrel", 320, 180, 4, false};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(layout.CopyFile(TestData("tone-1s.mp3"), "audio/melody.mp3"));
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void TearDown() override
    {
        SDL_Quit();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    TempLayout layout;
    LogCapture capture;
    std::unique_ptr<Engine> engine{new Engine};
};

TEST_F(EngineTest, FullRunSetsAndClearsTheInstanceAndLogsNoError)
{
    EXPECT_EQ(Engine::GetInstance(), nullptr);
    ASSERT_TRUE(engine->Init(kSmall)) << ::testing::PrintToString(capture.Messages());
    EXPECT_EQ(Engine::GetInstance(), engine.get());
    PopulateScene(engine->GetScene());
    EXPECT_EQ(engine->GetScene().objects.size(), 1028u);
    engine->Run();
    engine->Shutdown();
    EXPECT_EQ(Engine::GetInstance(), nullptr);
    EXPECT_TRUE(capture.Errors().empty()) << ::testing::PrintToString(capture.Errors());
    std::vector<std::string> log = capture.Messages();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "Engine Shutting Down");
    EXPECT_EQ(log[log.size() - 2], "Shut down Scene");
    EXPECT_EQ(log.back(), "Shutting down window");
}

TEST_F(EngineTest, FailedSdlInitLogsOnlyItsOwnLine)
{
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(engine->Init(kSmall));
    // SDL may explain itself in its own categories; ours says one line.
    std::vector<std::string> ours;
    for (const LogLine& line : capture.Lines()) {
        if (line.category == SDL_LOG_CATEGORY_SYSTEM) ours.push_back(line.message);
    }
    EXPECT_EQ(ours, std::vector<std::string>{"Failed to initialize SDL!"});
    // A failed start-up leaves the pointer in place; nobody reads it afterwards.
    EXPECT_EQ(Engine::GetInstance(), engine.get());
}

TEST_F(EngineTest, FailedAudioDeviceLogsTheFailureTwiceAroundTheCode)
{
    // The disk driver initialises, but its output file cannot be opened.
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/nonexistent-dir/out.raw", 1);
    EXPECT_FALSE(engine->Init(kSmall));
    std::vector<std::string> errors = capture.Errors();
    ASSERT_EQ(errors.size(), 3u) << ::testing::PrintToString(capture.Messages());
    EXPECT_EQ(errors[0], "Failed to initialize BASS Audio Device!");
    EXPECT_EQ(errors[1].rfind("BASS Error Code: ", 0), 0u);
    EXPECT_EQ(errors[2], "Failed to initialize BASS Audio Device!");
    EXPECT_EQ(capture.Messages().back(), "Failed to initialize BASS Audio Device!");
}

TEST_F(EngineTest, UndecodableMusicFailsTheSoundtrackStep)
{
    ASSERT_TRUE(layout.WriteFile("audio/melody.mp3", std::string(4096, 'x')));
    EXPECT_FALSE(engine->Init(kSmall));
    std::vector<std::string> log = capture.Messages();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "Failed to create soundtrack in bass audio device!");
    EXPECT_EQ(log[log.size() - 2].rfind("BASS Error Code: ", 0), 0u);
    EXPECT_EQ(log.back(), "Failed to build soundtrack!");
    EXPECT_TRUE(std::find(log.begin(), log.end(), "Sucessfully initialized Sync Device") != log.end());
}

}  // namespace
