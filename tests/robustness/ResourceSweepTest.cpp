// Damages each resource file the production reads, one at a time, and runs
// the 1600x900 deliverable on it with a 0.5 s soundtrack: it must neither
// crash nor hang, must exit with 0, and must say what went wrong the way the
// program reports a failure of that file. The music starts when the engine is
// ready and the scene is filled a moment later, so the loop still draws its
// first frames, which read the tracks; the short music keeps 113 runs quick.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "robustness/ProcessEnv.h"
#include "sync/SyncTrackNames.h"

namespace {

const char* const kProgram = "ostrel-1600x900-4x";
const double kTimeout = 90.0;

enum class Damage { Missing, Empty, Truncated, Garbage, Fifo, Directory };

const char* DamageName(Damage d)
{
    switch (d) {
    case Damage::Missing: return "Missing";
    case Damage::Empty: return "Empty";
    case Damage::Truncated: return "Truncated";
    case Damage::Garbage: return "Garbage";
    case Damage::Fifo: return "Fifo";
    case Damage::Directory: return "Directory";
    }
    return "?";
}

// What a run must log: every line in `exact` as a whole message, and one
// message starting with each of `prefixes` (a shader's compile or link
// failure quotes the driver's log after a fixed start).
struct Expectation {
    std::vector<std::string> exact;
    std::vector<std::vector<std::string>> anyOfPrefixes;
    bool runsToTheEnd;  // the frame loop runs and the engine shuts down
};

struct SweepCase {
    std::vector<std::string> files;  // relative to res/
    Damage damage;
    Expectation expect;
    std::string name;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SweepCase& c, std::ostream* os)
{
    *os << c.name;
}

// Garbage that cannot be mistaken for an MP3 frame: MPEG audio syncs on 0xFF,
// which never appears. Fixed seed, so every run sees the same bytes.
std::string Garbage(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t state = 0x2545F491u;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = (char)(state % 255u);
    }
    return bytes;
}

std::vector<std::string> ShaderLines(const std::string& file, Damage damage)
{
    bool vertex = file.size() > 5 && file.compare(file.size() - 5, 5, ".vert") == 0;
    if (damage == Damage::Missing)
        return {vertex ? "Failed to read vertex shader source!" : "Failed to read fragment shader source!"};
    return {vertex ? "Failed to compile vertex shader: '" : "Failed to compile fragment shader: '",
            "Failed to link shader program: '"};
}

// The post chain loads its programs in this order, all on FullscreenQuad.vert.
struct PostShader {
    const char* fragment;
    const char* line;
};
const PostShader kPostShaders[] = {
    {"CopyTex.frag", "Failed to initialize Copy Shader!"},
    {"HighPass.frag", "Failed to initialize High Pass Shader!"},
    {"Blur.frag", "Failed to initialize Blur Shader!"},
    {"Mix.frag", "Failed to initialize Mix Shader!"},
    {"ResolveFBO.frag", "Failed to initialize Resolve FBO Shader!"},
    {"ResolveDepth.frag", "Failed to initialize Resolve Depth Shader!"},
};

const Damage kDamages[] = {Damage::Missing, Damage::Empty, Damage::Truncated, Damage::Garbage};

std::string CaseName(const std::string& file, Damage damage)
{
    std::string name = file + "_" + DamageName(damage);
    for (char& c : name)
        if (!isalnum((unsigned char)c)) c = '_';
    return name;
}

std::vector<SweepCase> AllCases()
{
    std::vector<SweepCase> cases;
    for (Damage d : kDamages) {
        // A truncated MP3 still holds whole frames: it plays, only shorter.
        Expectation music = d == Damage::Truncated
                                ? Expectation{{"Sucessfully built soundtrack"}, {}, true}
                                : Expectation{{"Failed to create soundtrack in bass audio device!",
                                               "Failed to build soundtrack!"},
                                              {{"BASS Error Code: "}},
                                              false};
        cases.push_back({{"audio/melody.mp3"}, d, music, CaseName("melody.mp3", d)});

        // Every damaged shader but the grid's stops the scene from starting.
        cases.push_back({{"shaders/FullscreenQuad.vert"}, d,
                         {{"Failed to initialize Copy Shader!", "Failed to initialize Post Processor!",
                           "Failed to initialize scene!"},
                          {ShaderLines("FullscreenQuad.vert", d)},
                          false},
                         CaseName("FullscreenQuad.vert", d)});
        for (const PostShader& s : kPostShaders)
            cases.push_back({{std::string("shaders/") + s.fragment}, d,
                             {{s.line, "Failed to initialize Post Processor!", "Failed to initialize scene!"},
                              {ShaderLines(s.fragment, d)},
                              false},
                             CaseName(s.fragment, d)});
        for (const char* wire : {"Wireframe.vert", "Wireframe.frag"})
            cases.push_back({{std::string("shaders/") + wire}, d,
                             {{"Failed to initialize wireframe shader!", "Failed to initialize Flake Object Data!",
                               "Failed to initialize scene!"},
                              {ShaderLines(wire, d)},
                              false},
                             CaseName(wire, d)});
        // The grid's own program: the grid fails, the rest plays on.
        cases.push_back({{"shaders/WireframeGrid.vert"}, d,
                         {{"Failed to initialize wireframe shader!"}, {ShaderLines("WireframeGrid.vert", d)}, true},
                         CaseName("WireframeGrid.vert", d)});
        cases.push_back({{"textures/smoothNoise.png"}, d,
                         {{"Failed to initialize noise.png!"}, {}, true},
                         CaseName("smoothNoise.png", d)});

        // A bad track reads as 0.0 and logs nothing. All tracks at once here;
        // each track on its own below.
        std::vector<std::string> all;
        for (int i = 0; i < SYNC_TRACK_NAME_COUNT; ++i)
            all.push_back(std::string("sync/_") + syncTrackNames[i] + ".track");
        cases.push_back({all, d, {{}, {}, true}, std::string("AllTracks_") + DamageName(d)});
    }
    // What is not a regular file reads like a missing file, and never hangs
    // the open (a FIFO without a writer) or floods the reader.
    for (Damage d : {Damage::Fifo, Damage::Directory}) {
        cases.push_back({{"audio/melody.mp3"}, d,
                         {{"Failed to create soundtrack in bass audio device!", "Failed to build soundtrack!"},
                          {{"BASS Error Code: "}},
                          false},
                         CaseName("melody.mp3", d)});
        cases.push_back({{"shaders/Mix.frag"}, d,
                         {{"Failed to initialize Mix Shader!", "Failed to initialize Post Processor!",
                           "Failed to initialize scene!"},
                          {ShaderLines("Mix.frag", Damage::Missing)},
                          false},
                         CaseName("Mix.frag", d)});
        cases.push_back({{"textures/smoothNoise.png"}, d,
                         {{"Failed to initialize noise.png!"}, {}, true},
                         CaseName("smoothNoise.png", d)});
        cases.push_back({{"sync/_Camera.Mode.track"}, d, {{}, {}, true}, CaseName("Camera.Mode", d)});
    }
    // Each track once, the kinds of damage taking turns.
    for (int i = 0; i < SYNC_TRACK_NAME_COUNT; ++i) {
        Damage d = kDamages[i % 4];
        std::string file = std::string("sync/_") + syncTrackNames[i] + ".track";
        cases.push_back({{file}, d, {{}, {}, true}, CaseName(syncTrackNames[i], d)});
    }
    return cases;
}

void Spoil(const TempLayout& layout, const std::string& file, Damage damage)
{
    std::string original;
    ReadWholeFile(layout.Path(file), original);
    switch (damage) {
    case Damage::Missing: layout.RemoveFile(file); break;
    case Damage::Empty: layout.WriteFile(file, ""); break;
    case Damage::Truncated: layout.WriteFile(file, original.substr(0, original.size() / 2)); break;
    case Damage::Garbage:
        // Tracks get more bytes than they had, so that a random key count may
        // find data to read; everything else keeps its size.
        layout.WriteFile(file, Garbage(std::max<size_t>(original.size(), 4096)));
        break;
    case Damage::Fifo:
        layout.RemoveFile(file);
        ASSERT_EQ(mkfifo(layout.Path(file).c_str(), 0644), 0);
        break;
    case Damage::Directory:
        layout.RemoveFile(file);
        ASSERT_EQ(mkdir(layout.Path(file).c_str(), 0755), 0);
        break;
    }
}

class ResourceSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(ResourceSweep, NeverCrashesAndReportsTheFile)
{
    const SweepCase& c = GetParam();
    TempLayout layout;
    ASSERT_TRUE(layout.InstallProgram(kProgram));
    ASSERT_TRUE(layout.CopyFile(TestData("tone-short.mp3"), "audio/melody.mp3"));
    for (const std::string& file : c.files) Spoil(layout, file, c.damage);

    ProcessResult r = RunProcess({layout.Bin() + "/" + kProgram}, layout.Bin(), ProgramEnv(), kTimeout);
    ASSERT_TRUE(r.started);
    const std::string tail = r.output.substr(r.output.size() > 3000 ? r.output.size() - 3000 : 0);
    EXPECT_FALSE(r.timedOut) << "hung; last output:\n" << tail;
    EXPECT_FALSE(r.signaled) << "killed by signal " << r.signal << "; last output:\n" << tail;
    EXPECT_EQ(r.exitCode, 0) << tail;
    EXPECT_EQ(r.output.find("Sanitizer"), std::string::npos) << tail;

    std::vector<std::string> messages = LogMessagesOf(r.output);
    auto has = [&](const std::string& text) {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    };
    auto hasPrefix = [&](const std::string& prefix) {
        for (const std::string& m : messages)
            if (m.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    };
    for (const std::string& line : c.expect.exact) EXPECT_TRUE(has(line)) << "no line '" << line << "'\n" << tail;
    for (const auto& alternatives : c.expect.anyOfPrefixes) {
        bool found = false;
        for (const std::string& prefix : alternatives) found = found || hasPrefix(prefix);
        EXPECT_TRUE(found) << "no line starting with '" << alternatives.front() << "'\n" << tail;
    }
    if (c.expect.runsToTheEnd) {
        EXPECT_TRUE(has("Engine Shutting Down")) << tail;
        EXPECT_TRUE(has("Shutting down window")) << tail;
    } else {
        EXPECT_FALSE(has("Engine Shutting Down")) << tail;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ResourceSweep, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<SweepCase>& info) { return info.param.name; });

}  // namespace
