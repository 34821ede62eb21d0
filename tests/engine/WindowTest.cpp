#include <GL/glew.h>
#include <gtest/gtest.h>

#include "engine/CheckGLError.h"
#include "engine/Engine.h"
#include "support/TestSupport.h"

namespace {

SDL_Event KeyEvent(Uint32 type, SDL_Keycode key)
{
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    return event;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(engine.Init(320, 240, 4));
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        capture.Clear();
    }

    Window& window() { return engine.Get().GetWindow(); }

    TempLayout layout;
    LogCapture capture;
    TestEngine engine;
};

TEST_F(WindowTest, CreationStoresRequestedValuesAndLogsDriverStrings)
{
    EXPECT_EQ(window().GetWidth(), 320);
    EXPECT_EQ(window().GetHeight(), 240);
    EXPECT_EQ(window().GetSamples(), 4);
    EXPECT_EQ(window().GetTitle(), "Ostrel test");
    // A windowed run keeps the cursor.
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SDL_GetWindowFlags(window().GetHandle()) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_F(WindowTest, EmptyQueueKeepsRunningSilently)
{
    EXPECT_TRUE(window().PollEvents());
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(WindowTest, OtherKeysAndEscapeReleaseDoNotQuit)
{
    SDL_Event other = KeyEvent(SDL_KEYDOWN, SDLK_SPACE);
    SDL_Event escapeUp = KeyEvent(SDL_KEYUP, SDLK_ESCAPE);
    SDL_PushEvent(&other);
    SDL_PushEvent(&escapeUp);
    EXPECT_TRUE(window().PollEvents());
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(WindowTest, QuitBehindAnotherKeyLogsOnlyTheQuitLine)
{
    SDL_Event other = KeyEvent(SDL_KEYDOWN, SDLK_a);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&other);
    SDL_PushEvent(&quit);
    EXPECT_FALSE(window().PollEvents());
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"Received quit message from event system!"});
}

TEST_F(WindowTest, EscapeStopsAtOnceAndLeavesLaterEventsQueued)
{
    SDL_Event escape = KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE);
    escape.key.repeat = 1;  // a held key quits as well
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&escape);
    SDL_PushEvent(&quit);
    EXPECT_FALSE(window().PollEvents());
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"Escape key pressed!"});
    // The quit request behind it is still there for the next poll.
    EXPECT_FALSE(window().PollEvents());
    EXPECT_TRUE(capture.Contains("Received quit message from event system!"));
}

TEST_F(WindowTest, CheckGLErrorLogsEachPendingCodeOnceInItsForm)
{
    CheckGLError();
    EXPECT_TRUE(capture.Lines().empty());

    // Mesa holds one flag at a time; other drivers may hold both. Either way
    // every code is logged once and the flags are drained.
    glEnable(0xFFFF);    // invalid enum
    glLineWidth(-1.0f);  // invalid value
    CheckGLError();
    std::vector<std::string> errors = capture.Errors();
    ASSERT_GE(errors.size(), 1u);
    ASSERT_LE(errors.size(), 2u);
    EXPECT_EQ(errors[0], "OpenGL Error Encountered! Error: (1280) invalid enumerant");
    if (errors.size() == 2) {
        EXPECT_EQ(errors[1], "OpenGL Error Encountered! Error: (1281) invalid value");
    }
    for (const LogLine& line : capture.Lines()) EXPECT_EQ(line.category, SDL_LOG_CATEGORY_SYSTEM);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    capture.Clear();
    glLineWidth(-1.0f);
    CheckGLError();
    EXPECT_EQ(capture.Errors(), std::vector<std::string>{"OpenGL Error Encountered! Error: (1281) invalid value"});

    capture.Clear();
    CheckGLError();
    EXPECT_TRUE(capture.Lines().empty());
}

}  // namespace
