// Whole runs of the 4x deliverables with a one-second soundtrack: no OpenGL
// error on the way, and (in the sanitized build) no leak of our own at exit.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"
#include "robustness/ProcessEnv.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif

class FullRun : public ::testing::TestWithParam<const char*> {};

TEST_P(FullRun, LogsNoGLErrorAndLeaksNothing)
{
    TempLayout layout;
    ASSERT_TRUE(layout.InstallProgram(GetParam()));
    ASSERT_TRUE(layout.CopyFile(TestData("tone-1s.mp3"), "audio/melody.mp3"));

    ProcessResult r = RunProcess({layout.Bin() + "/" + GetParam()}, layout.Bin(), ProgramEnv(), 180.0);
    ASSERT_TRUE(r.started);
    const std::string tail = r.output.substr(r.output.size() > 6000 ? r.output.size() - 6000 : 0);
    EXPECT_FALSE(r.timedOut) << tail;
    EXPECT_FALSE(r.signaled) << tail;
    // LeakSanitizer turns a leak into a non-zero exit and a report.
    EXPECT_EQ(r.exitCode, 0) << tail;
    EXPECT_EQ(r.output.find("LeakSanitizer"), std::string::npos) << tail;

    std::vector<std::string> messages = LogMessagesOf(r.output);
    auto has = [&](const char* text) { return std::find(messages.begin(), messages.end(), text) != messages.end(); };
    EXPECT_TRUE(has("Sucessfully built soundtrack")) << tail;
    EXPECT_TRUE(has("Engine Shutting Down")) << tail;
    EXPECT_TRUE(has("Shutting down window")) << tail;
    for (const std::string& m : messages)
        EXPECT_EQ(m.find("OpenGL Error Encountered!"), std::string::npos) << m;
    if (!kSanitized) std::printf("note: built without AddressSanitizer, so leaks were not looked for\n");
}

INSTANTIATE_TEST_SUITE_P(Deliverables, FullRun, ::testing::Values("ostrel-1600x900-4x", "ostrel-1920x1080-4x"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum((unsigned char)c)) c = '_';
                             return name;
                         });

}  // namespace
