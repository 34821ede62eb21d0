// The particles' sequence is glibc's rand(): checked here against the C
// library itself, and, where a Windows or browser build is named, the copies
// of it built for those platforms (run under Wine and Node).

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "scene/RandomSequence.h"
#include "support/TestSupport.h"

namespace {

#ifdef __GLIBC__
std::vector<int32_t> GlibcRand(unsigned seed, size_t count)
{
    srand(seed);
    std::vector<int32_t> values(count);
    for (int32_t& v : values) v = rand();
    return values;
}
#endif

// The first index where two sequences differ, or -1.
long FirstDifference(const std::vector<int32_t>& a, const std::vector<int32_t>& b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return (long)i;
    return a.size() == b.size() ? -1 : (long)std::min(a.size(), b.size());
}

class RandomSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef __GLIBC__
        GTEST_SKIP() << "the reference is glibc's rand()";
#endif
    }
};

TEST_F(RandomSequenceTest, FirstHundredThousandValuesAreGlibcsAfterSeedZero)
{
#ifdef __GLIBC__
    RandomSequence sequence(0);
    std::vector<int32_t> ours(100000);
    for (int32_t& v : ours) v = sequence.Next();
    const std::vector<int32_t> expected = GlibcRand(0, ours.size());
    const long at = FirstDifference(ours, expected);
    EXPECT_EQ(at, -1) << "value " << at << ": " << ours[at] << ", glibc " << expected[at];
#endif
}

TEST_F(RandomSequenceTest, EverySeedAndReseedFollowsGlibc)
{
#ifdef __GLIBC__
    // 0 and 1 give one sequence; seeds past 2^31 - 1 start from a negative word.
    RandomSequence sequence;
    for (unsigned seed : {0u, 1u, 2u, 42u, 12345u, 127773u, 2147483646u, 2147483647u, 2147483648u, 4000000000u,
                          4294967295u}) {
        for (int round = 0; round < 2; ++round) {  // reseeding restarts the sequence
            sequence.Seed(seed);
            std::vector<int32_t> ours(2000);
            for (int32_t& v : ours) v = sequence.Next();
            const std::vector<int32_t> expected = GlibcRand(seed, ours.size());
            const long at = FirstDifference(ours, expected);
            ASSERT_EQ(at, -1) << "seed " << seed << ", value " << at << ": " << ours[at] << ", glibc "
                              << expected[at];
        }
    }
#endif
}

// A copy of the sequence built for another platform, run by that platform's
// stand-in on this machine.
struct CrossBuild {
    const char* name;
    const char* buildVariable;  // names the build tree; the test skips without it
    const char* runner;
    const char* program;        // in that build tree
};

class CrossBuiltRandomSequence : public RandomSequenceTest, public ::testing::WithParamInterface<CrossBuild> {};

TEST_P(CrossBuiltRandomSequence, PrintsGlibcsFirstHundredThousandValues)
{
#ifdef __GLIBC__
    const CrossBuild& build = GetParam();
    const char* tree = std::getenv(build.buildVariable);
    if (tree == nullptr || *tree == '\0') GTEST_SKIP() << build.buildVariable << " does not name a build";
    const std::string program = std::string(tree) + "/" + build.program;
    TempLayout scratch(false, false);  // Wine's prefix, made afresh
    ProcessResult r = RunProcess({"/usr/bin/env", build.runner, program, "100000"}, "/",
                                 {"WINEDEBUG=-all", "WINEPREFIX=" + scratch.Root() + "/wine"}, 240.0);
    ASSERT_EQ(r.exitCode, 0) << build.runner << " " << program << ":\n" << r.output.substr(0, 2000);
    std::vector<int32_t> printed;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        char* end = nullptr;
        const long value = std::strtol(line.c_str(), &end, 10);
        // Wine may say something of its own first; only whole numbers count.
        if (!line.empty() && *end == '\0') printed.push_back((int32_t)value);
    }
    const std::vector<int32_t> expected = GlibcRand(0, 100000);
    const long at = FirstDifference(printed, expected);
    EXPECT_EQ(at, -1) << build.name << " printed " << printed.size() << " values; value " << at << ": "
                      << (at < (long)printed.size() ? std::to_string(printed[at]) : "none") << ", glibc "
                      << expected[at];
#endif
}

INSTANTIATE_TEST_SUITE_P(Platforms, CrossBuiltRandomSequence,
                         ::testing::Values(CrossBuild{"Windows", "OSTREL_WINDOWS_BUILD", "wine",
                                                      "print_random_sequence.exe"},
                                           CrossBuild{"Browser", "OSTREL_WEB_BUILD", "node",
                                                      "print_random_sequence.js"}),
                         [](const ::testing::TestParamInfo<CrossBuild>& info) { return info.param.name; });

}  // namespace
