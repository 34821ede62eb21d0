#include <gtest/gtest.h>
#include <sys/stat.h>


#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "TrackFormat.h"
#include "sync/SyncTrackNames.h"

namespace fs = std::filesystem;

namespace {

std::string completeSource();

// A scratch directory in which the real tool runs.
struct Workspace {
    TempLayout layout{false, false};

    std::string Path(const std::string& relative) const { return layout.Root() + "/" + relative; }

    ProcessResult Run(const std::string& arguments) const
    {
        std::string command = std::string("'") + OSTREL_TRACK_TOOL + "' " + arguments;
        return RunProcess({"/bin/sh", "-c", command}, layout.Root(), {}, 60.0);
    }

    void Write(const std::string& relative, const std::string& bytes) const
    {
        fs::create_directories(fs::path(Path(relative)).parent_path());
        FILE* file = fopen(Path(relative).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }

    // A complete choreography in all.tracks, compiled into sync/.
    void CompileComplete() const
    {
        Write("all.tracks", completeSource());
        fs::create_directories(Path("sync"));
        ASSERT_EQ(Run("compile -o sync all.tracks").exitCode, 0);
    }

    std::string Read(const std::string& relative) const
    {
        std::string bytes;
        ReadWholeFile(Path(relative), bytes);
        return bytes;
    }
};

std::string bytesOf(const std::vector<TrackRecord>& records)
{
    std::vector<uint8_t> encoded = encodeTrack(records);
    return std::string(encoded.begin(), encoded.end());
}

uint32_t bitsOf(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return bits;
}

// One source text that defines every track the production reads.
std::string completeSource()
{
    std::string text;
    for (const char* name : syncTrackNames)
        text += std::string("track ") + name + "\n    0:0:0 0 linear\n    4:0:0 1 step\n";
    return text;
}

std::vector<std::string> linesOf(const std::string& output)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        if (end > start)
            lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

// ---- Round trip ----------------------------------------------------------------------

TEST(TrackTool, DumpThenCompileGivesTheSameBytes)
{
    Workspace w;
    const std::vector<std::pair<const char*, std::vector<TrackRecord>>> files = {
        {"Camera.X", {{-70, bitsOf(0.1f), 1}, {0, bitsOf(1.0f / 3.0f), 2}, {1 << 30, bitsOf(-0.0f), 3}}},
        {"Camera.Y", {{0, bitsOf(FLT_MAX), 7}, {1, bitsOf(-INFINITY), 0xFF}, {2, bitsOf(INFINITY), 0x80}}},
        {"Camera.Z", {{0, 0x7FC12345u, 4}, {5, 0xFF800001u, 1}, {6, 0x00000001u, 0}, {7, bitsOf(-1e-30f), 2}}},
        {"Focus.X", {{INT32_MIN, bitsOf(123456792.0f), 0}, {INT32_MAX, bitsOf(0.55f), 1}}},
        {"Focus.Y", {}},
        {"Focus.Z", {{63, bitsOf(16777217.0f), 0}, {64, bitsOf(1e-4f), 0}, {65, bitsOf(9.99999e-5f), 0}}},
    };
    for (const auto& file : files)
        w.Write(std::string("in/") + trackFileName(file.first), bytesOf(file.second));

    for (const char* mode : {"", "--rows "}) {
        ProcessResult dump = w.Run(std::string("dump ") + mode + "in > dumped.tracks");
        ASSERT_EQ(dump.exitCode, 0) << dump.output;
        fs::remove_all(w.Path("out"));
        fs::create_directories(w.Path("out"));
        ProcessResult compile = w.Run("compile -o out dumped.tracks");
        ASSERT_EQ(compile.exitCode, 0) << compile.output << w.Read("dumped.tracks");
        for (const auto& file : files) {
            std::string name = trackFileName(file.first);
            EXPECT_EQ(w.Read("out/" + name), w.Read("in/" + name)) << name << " " << mode << "\n"
                                                                   << w.Read("dumped.tracks");
        }
    }
}

TEST(TrackTool, ExampleSourceCompilesToTheRowsItNames)
{
    Workspace w;
    ProcessResult compile = w.Run(std::string("compile -o . '") + OSTREL_SOURCE_DIR + "/tools/track/example.tracks'");
    ASSERT_EQ(compile.exitCode, 0) << compile.output;
    EXPECT_EQ(w.Read("_Camera.Mode.track"), bytesOf({{0, bitsOf(0.0f), 0}, {1024, bitsOf(1.0f), 0}}));
    EXPECT_EQ(w.Read("_FX.Fade.track"), bytesOf({{0, bitsOf(0.0f), 1}, {64, bitsOf(1.0f), 0}}));
    EXPECT_EQ(w.Read("_Needles.Visible.track"), bytesOf({{0, bitsOf(0.0f), 0}, {1536, bitsOf(1.0f), 0}}));
}

TEST(TrackTool, PositionsValuesAndKindsInEveryForm)
{
    Workspace w;
    w.Write("src.tracks",
            "# leading comment\n"
            "track Test.Forms   # trailing comment\n"
            "\t-5 -2.5e1 LINEAR\n"
            "  0:0 0.5 smooth\n"
            "  2:1:8 raw:0x3F800000 ramp\n"
            "  2:3:15 inf 255\n"
            "  3:0 -inf -128\n"
            "  100000 1e-3\n");
    ProcessResult compile = w.Run("compile --any-name -o . src.tracks");
    ASSERT_EQ(compile.exitCode, 0) << compile.output;
    EXPECT_EQ(w.Read("_Test.Forms.track"), bytesOf({{-5, bitsOf(-25.0f), 1},
                                                     {0, bitsOf(0.5f), 2},
                                                     {152, bitsOf(1.0f), 3},
                                                     {191, bitsOf(INFINITY), 0xFF},
                                                     {192, bitsOf(-INFINITY), 0x80},
                                                     {100000, bitsOf(1e-3f), 0}}));
}

// ---- Compile errors ------------------------------------------------------------------

struct SourceError {
    const char* source;
    const char* message;  // expected in the output, after "src.tracks:"
};

class CompileError : public testing::TestWithParam<SourceError> {};

TEST_P(CompileError, NamesTheLineAndWritesNothing)
{
    Workspace w;
    w.Write("src.tracks", std::string("track Camera.X\n  0 1\n") + GetParam().source);
    fs::create_directories(w.Path("out"));
    ProcessResult compile = w.Run("compile -o out src.tracks");
    EXPECT_EQ(compile.exitCode, 1);
    EXPECT_NE(compile.output.find(std::string("src.tracks:") + GetParam().message), std::string::npos)
        << compile.output;
    EXPECT_TRUE(fs::is_empty(w.Path("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompileError,
    testing::Values(SourceError{"  0:4:0 1\n", "3: beat 4"}, SourceError{"  0:0:16 1\n", "3: row 16"},
                    SourceError{"  0 2\n", "3: row 0 (0) does not follow"},
                    SourceError{"  1:0 2\n  0:3:15 1\n", "4: row 63"},
                    SourceError{"  1 2 bouncy\n", "3: unknown interpolation 'bouncy'"},
                    SourceError{"  1 2 256\n", "3: unknown interpolation '256'"},
                    SourceError{"  1 two\n", "3: bad value 'two'"}, SourceError{"  1 0x10\n", "3: bad value '0x10'"},
                    SourceError{"  1 1e39\n", "3: value '1e39' is beyond"},
                    SourceError{"  1:x 1\n", "3: bad position '1:x'"},
                    SourceError{"  -1:0:0 1\n", "3: bad position"}, SourceError{"  1\n", "3: expected 'position"},
                    SourceError{"track Camera.X\n", "3: track Camera.X already defined at src.tracks:1"},
                    SourceError{"track Camera.Zoom\n", "3: unknown track name Camera.Zoom"},
                    SourceError{"track Camera/X\n", "3: bad track name"},
                    SourceError{"track\n", "3: expected 'track Group.Name'"},
                    SourceError{"  99999999999 1\n", "3: position '99999999999' is out of range"}),
    [](const testing::TestParamInfo<SourceError>& info) { return "Line" + std::to_string(info.index); });

// ---- Check ---------------------------------------------------------------------------------

TEST(TrackTool, CheckPassesACompleteDirectory)
{
    Workspace w;
    ASSERT_NO_FATAL_FAILURE(w.CompileComplete());
    ProcessResult check = w.Run("check sync");
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

TEST(TrackTool, CheckReportsOneLinePerProblem)
{
    Workspace w;
    ASSERT_NO_FATAL_FAILURE(w.CompileComplete());

    fs::remove(w.Path("sync/_Grid.Noise3.track"));
    w.Write("sync/notes.txt", "hello");
    w.Write("sync/_Camera.Zoom.track", bytesOf({}));
    w.Write("sync/_FX.Fade.track", bytesOf({{0, 0, 0}, {1, 0, 0}}).replace(0, 1, "\x03"));
    w.Write("sync/_Cube.Z.track", bytesOf({{0, 0, 0}}) + "xx");
    w.Write("sync/_Focus.X.track", bytesOf({{0, 0, 0}, {8, 0, 0}, {8, 0, 0}}));
    w.Write("sync/_Ring1.Progress.track", bytesOf({{0, 0, 7}}));
    w.Write("sync/_Ring2.Rotation.track", std::string("\xFE\xFF\xFF\xFF", 4));
    w.Write("sync/_Flakes.Time.track", "\x01");

    ProcessResult check = w.Run("check sync 2>&1");
    EXPECT_EQ(check.exitCode, 1);
    const std::vector<std::string> expected = {
        "sync/_Grid.Noise3.track: missing track Grid.Noise3",
        "sync/notes.txt: unknown file",
        "sync/_Camera.Zoom.track: unknown file",
        "sync/_FX.Fade.track: truncated: key count 3 but room for 2 keys",
        "sync/_Cube.Z.track: 2 trailing bytes",
        "sync/_Focus.X.track: key 2: row 8 does not follow row 8",
        "sync/_Ring1.Progress.track: key 0 at row 0: unknown type 7",
        "sync/_Ring2.Rotation.track: negative key count -2",
        "sync/_Flakes.Time.track: truncated: 1 bytes",
    };
    std::vector<std::string> lines = linesOf(check.output);
    ASSERT_EQ(lines.size(), expected.size() + 1) << check.output;
    for (const std::string& want : expected) {
        int found = 0;
        for (const std::string& line : lines)
            found += line.compare(0, want.size(), want) == 0;
        EXPECT_EQ(found, 1) << want << "\n" << check.output;
    }
    EXPECT_EQ(lines.back(), "9 problems");
}

TEST(TrackTool, DumpRefusesADamagedFile)
{
    Workspace w;
    w.Write("_Camera.X.track", bytesOf({{0, 0, 0}}) + "z");
    ProcessResult dump = w.Run("dump _Camera.X.track 2>/dev/null");
    EXPECT_EQ(dump.exitCode, 1);
    // Printed only as comments: nothing of it compiles.
    for (const std::string& line : linesOf(dump.output))
        EXPECT_EQ(line[0], '#') << dump.output;
}

// The text form's promise: every file check accepts (and any type byte) comes
// back from dump and compile byte for byte; text that cannot stand for its
// bits exactly is refused; a damaged file is said to be damaged and printed so
// that a compile leaves it out, and taking one '#' off rebuilds what was read.
TEST(TrackTool, TextFormStandsForEveryFileExactly)
{
    // Bit patterns: both signs of every exponent with the mantissa's edges and
    // a few inner values, which covers zeros, subnormals, the largest finite
    // values, infinities and NaN payloads.
    std::vector<uint32_t> patterns;
    uint32_t seed = 12345;
    for (uint32_t sign = 0; sign < 2; ++sign) {
        for (uint32_t exponent = 0; exponent < 256; ++exponent) {
            for (uint32_t mantissa : {0u, 1u, 2u, 0x400000u, 0x3FFFFFu, 0x7FFFFEu, 0x7FFFFFu}) {
                seed = seed * 1103515245u + 12345u;
                patterns.push_back(sign << 31 | exponent << 23 | mantissa);
                patterns.push_back(sign << 31 | exponent << 23 | (seed >> 9));
            }
        }
    }
    for (uint32_t bits : patterns) {
        uint32_t back = ~bits;
        std::string error;
        std::string text = formatValue(bits);
        ASSERT_TRUE(parseValue(text, &back, &error)) << std::hex << bits << " " << text << ": " << error;
        ASSERT_EQ(back, bits) << text;
    }

    // Rows at both ends of int32 and around bar and beat edges, every type byte.
    std::vector<int32_t> rows = {INT32_MIN, INT32_MIN + 1, -65, -64, -1, 0, 1, 15, 16, 63, 64, 65,
                                 (1 << 24) + 1, INT32_MAX - 64, INT32_MAX - 63, INT32_MAX - 1, INT32_MAX};
    std::vector<TrackRecord> extremes;
    for (size_t i = 0; i < rows.size(); ++i)
        extremes.push_back({rows[i], patterns[(i * 97) % patterns.size()], (uint8_t)(i * 37)});
    std::vector<TrackRecord> values, types;
    for (size_t i = 0; i < patterns.size(); ++i)
        values.push_back({(int32_t)i - 1000, patterns[i], (uint8_t)(i % 4)});
    for (int t = 0; t < 256; ++t)
        types.push_back({t * 3, bitsOf((float)t), (uint8_t)t});
    Workspace w;
    w.Write("in/_Test.Extremes.track", bytesOf(extremes));
    w.Write("in/_Test.Values.track", bytesOf(values));
    w.Write("in/_Test.Types.track", bytesOf(types));
    for (const char* mode : {"", "--rows "}) {
        fs::remove_all(w.Path("out"));
        fs::create_directories(w.Path("out"));
        ProcessResult dump = w.Run(std::string("dump ") + mode + "in > dumped.tracks");
        ASSERT_EQ(dump.exitCode, 0) << dump.output;
        ProcessResult compile = w.Run("compile --any-name -o out dumped.tracks");
        ASSERT_EQ(compile.exitCode, 0) << compile.output;
        for (const char* name : {"_Test.Extremes.track", "_Test.Values.track", "_Test.Types.track"})
            EXPECT_TRUE(w.Read(std::string("out/") + name) == w.Read(std::string("in/") + name)) << name << " " << mode;
    }

    // Text that would not stand for its bits exactly is refused, with its line.
    struct Refused {
        const char* value;
        const char* message;
    };
    for (const Refused& r : {Refused{"1e-50", "too small"}, Refused{"-7e-46", "too small"},
                             Refused{"0.00000000000000000000000000000000000000000000001", "too small"},
                             Refused{"1e39", "beyond"}, Refused{"-3.5e38", "beyond"}, Refused{"nan(5)", "bad value"},
                             Refused{"nanny", "bad value"}, Refused{"0x1p3", "bad value"}, Refused{"1e", "bad value"}}) {
        w.Write("bad.tracks", std::string("track Camera.X\n  0 0\n  1 ") + r.value + "\n");
        ProcessResult compile = w.Run("compile -o out bad.tracks");
        EXPECT_EQ(compile.exitCode, 1) << r.value;
        EXPECT_EQ(compile.output.find("bad.tracks:3: "), 0u) << compile.output;
        EXPECT_NE(compile.output.find(std::string("'") + r.value + "'"), std::string::npos) << compile.output;
        EXPECT_NE(compile.output.find(r.message), std::string::npos) << compile.output;
    }
    // The accepted spellings of the special values.
    struct Accepted {
        const char* value;
        uint32_t bits;
    };
    for (const Accepted& a : {Accepted{"nan", 0x7FC00000u}, Accepted{"+NaN", 0x7FC00000u}, Accepted{"-nan", 0xFFC00000u},
                              Accepted{"-0", 0x80000000u}, Accepted{"0e-999", 0u}, Accepted{"1e-45", 1u},
                              Accepted{"8e-46", 1u}, Accepted{"3.4028235e38", 0x7F7FFFFFu},
                              Accepted{"-Infinity", 0xFF800000u}, Accepted{".5", 0x3F000000u}}) {
        uint32_t bits = 0;
        std::string error;
        EXPECT_TRUE(parseValue(a.value, &bits, &error)) << a.value << ": " << error;
        EXPECT_EQ(bits, a.bits) << a.value;
    }

    // Damaged: truncated inside a key, rows that repeat and go back, a negative count.
    std::string damaged =
        bytesOf({{0, bitsOf(1.0f), 1}, {64, bitsOf(2.0f), 2}, {64, bitsOf(3.0f), 1}, {10, bitsOf(4.0f), 0},
                 {128, bitsOf(5.0f), 0}, {200, bitsOf(6.0f), 0}});
    w.Write("bad/_Camera.X.track", damaged.substr(0, damaged.size() - 4));
    w.Write("bad/_Camera.Y.track", bytesOf({}).replace(0, 4, "\xFF\xFF\xFF\xFF"));
    ProcessResult dump = w.Run("dump bad/_Camera.X.track bad/_Camera.Y.track > damaged.tracks");
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_NE(dump.output.find("bad/_Camera.X.track: truncated"), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("bad/_Camera.X.track: damaged"), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("bad/_Camera.Y.track: negative key count -1"), std::string::npos) << dump.output;
    std::string text = w.Read("damaged.tracks");
    for (const std::string& line : linesOf(text))
        EXPECT_EQ(line[0], '#') << text;
    fs::remove_all(w.Path("out"));
    fs::create_directories(w.Path("out"));
    ProcessResult compile = w.Run("compile -o out damaged.tracks");
    EXPECT_EQ(compile.exitCode, 0) << compile.output;
    EXPECT_TRUE(fs::is_empty(w.Path("out")));
    std::string uncommented;
    for (const std::string& line : linesOf(text))
        uncommented += line.substr(1) + "\n";
    w.Write("rebuilt.tracks", uncommented);
    ProcessResult rebuilt = w.Run("compile -o out rebuilt.tracks");
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.output << w.Read("rebuilt.tracks");
    EXPECT_EQ(w.Read("out/_Camera.X.track"),
              bytesOf({{0, bitsOf(1.0f), 1}, {64, bitsOf(3.0f), 1}, {128, bitsOf(5.0f), 0}}));
    EXPECT_EQ(w.Read("out/_Camera.Y.track"), bytesOf({}));
}

TEST(TrackTool, FilesThatAreNotRegularOrHugeAreReportedNotReadWhole)
{
    Workspace w;
    ASSERT_NO_FATAL_FAILURE(w.CompileComplete());
    // A FIFO nobody writes to, a device without end, a directory, and a
    // sparse gigabyte that claims one key.
    fs::remove(w.Path("sync/_Camera.X.track"));
    ASSERT_EQ(mkfifo(w.Path("sync/_Camera.X.track").c_str(), 0644), 0);
    fs::remove(w.Path("sync/_Camera.Y.track"));
    fs::create_symlink("/dev/zero", w.Path("sync/_Camera.Y.track"));
    fs::remove(w.Path("sync/_Camera.Z.track"));
    fs::create_directory(w.Path("sync/_Camera.Z.track"));
    w.Write("sync/_FX.Fade.track", bytesOf({{0, 0, 0}}));
    fs::resize_file(w.Path("sync/_FX.Fade.track"), 1ull << 30);

    ProcessResult check = w.Run("check sync 2>&1");
    EXPECT_FALSE(check.timedOut);
    EXPECT_EQ(check.exitCode, 1) << check.output;
    EXPECT_LT(check.seconds, 10.0);
    for (const char* want : {"sync/_Camera.X.track: cannot read (not a regular file)",
                             "sync/_Camera.Y.track: cannot read (not a regular file)",
                             "sync/_Camera.Z.track: cannot read (not a regular file)",
                             "sync/_FX.Fade.track: 1073741811 trailing bytes after key 1"})
        EXPECT_NE(check.output.find(want), std::string::npos) << want << "\n" << check.output;

    for (const char* file : {"sync/_Camera.X.track", "sync/_Camera.Y.track", "sync/_FX.Fade.track"}) {
        ProcessResult dump = w.Run(std::string("dump ") + file + " 2>&1 >/dev/null");
        EXPECT_FALSE(dump.timedOut) << file;
        EXPECT_FALSE(dump.signaled) << file;
        EXPECT_EQ(dump.exitCode, 1) << file << ": " << dump.output;
    }
    ProcessResult compile = w.Run("compile -o sync sync/_Camera.X.track 2>&1");
    EXPECT_EQ(compile.exitCode, 1) << compile.output;
    EXPECT_NE(compile.output.find("cannot read"), std::string::npos) << compile.output;
}

// ---- Replacing a set of files --------------------------------------------------------------

// Every file in dir with its bytes; a directory as "<dir>".
std::map<std::string, std::string> filesIn(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name == "filler")
            continue;
        std::string bytes = "<dir>";
        if (!entry.is_directory())
            ReadWholeFile(entry.path().string(), bytes);
        files[name] = bytes;
    }
    return files;
}

// Whatever stops a compile part way, the set there before stays byte for
// byte, no temporary is left, and the message gives the reason.
class CompileStopped : public testing::TestWithParam<bool> {};

TEST_P(CompileStopped, LeavesTheOldSetAsItWas)
{
    const bool fullDisk = GetParam();
    Workspace w;
    std::unique_ptr<SmallDisk> disk;
    if (fullDisk) {
        disk.reset(new SmallDisk(w.Path("out"), 256 << 10));
        if (!disk->Mounted())
            GTEST_SKIP() << disk->Why();
    }
    fs::create_directories(w.Path("out"));
    w.Write("old.tracks", completeSource());
    ASSERT_EQ(w.Run("compile -o out old.tracks").exitCode, 0);
    std::string last = trackFileName(syncTrackNames[SYNC_TRACK_NAME_COUNT - 1]);
    if (fullDisk) {
        ASSERT_TRUE(disk->Fill());
    } else {
        // The last file of the set cannot be replaced: every other one could.
        fs::remove(w.Path("out/" + last));
        fs::create_directory(w.Path("out/" + last));
    }
    const std::map<std::string, std::string> before = filesIn(w.Path("out"));
    ASSERT_EQ(before.size(), (size_t)SYNC_TRACK_NAME_COUNT);

    std::string changed = completeSource();
    for (size_t at = changed.find(" 1 step"); at != std::string::npos; at = changed.find(" 1 step", at))
        changed.replace(at, 7, " 2 step");
    w.Write("new.tracks", changed);
    ProcessResult compile = w.Run("compile -o out new.tracks 2>&1");
    EXPECT_EQ(compile.exitCode, 1) << compile.output;
    const std::string reason = fullDisk ? ": cannot write (No space left on device); no file was changed"
                                        : "out/" + last + ": cannot replace (Is a directory); no file was changed";
    EXPECT_NE(compile.output.find(reason), std::string::npos) << compile.output;
    EXPECT_EQ(filesIn(w.Path("out")), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, CompileStopped, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "FullDisk" : "DirectoryInTheWay");
                         });

TEST(TrackTool, MessagesGiveTheWholeReason)
{
    Workspace w;
    // A NUL in a value is shown, not taken for the end of the message.
    w.Write("nul.tracks", std::string("track Camera.X\n  0 1\n  1 2") + '\0' + "x trailing\n");
    ProcessResult nul = w.Run("compile -o . nul.tracks 2>&1");
    EXPECT_EQ(nul.exitCode, 1);
    EXPECT_NE(nul.output.find("nul.tracks:3: bad value '2\\x00x' (a decimal"), std::string::npos) << nul.output;

    // Too large a source says so, and by how much.
    w.Write("huge.tracks", "track Camera.X\n  0 1\n");
    fs::resize_file(w.Path("huge.tracks"), 70000000);
    ProcessResult huge = w.Run("compile -o . huge.tracks 2>&1");
    EXPECT_EQ(huge.exitCode, 1);
    EXPECT_NE(huge.output.find("huge.tracks: cannot read (70.0 MB, over the limit of 64 MiB)"), std::string::npos)
        << huge.output;
}

// ---- Plot ----------------------------------------------------------------------------------

TEST(TrackTool, PlotDrawsTheCurveWhereTheValuesAre)
{
    Workspace w;
    w.Write("_FX.Flash.track", bytesOf({{0, bitsOf(0.0f), 0}, {8 * kRowsPerBar, bitsOf(1.0f), 0}}));
    ProcessResult plot = w.Run("plot _FX.Flash.track -o flash.png --to 16:0 --size 200x100");
    ASSERT_EQ(plot.exitCode, 0) << plot.output;

    int width = 0, height = 0;
    const std::vector<int> rows = PlotCurveRows(w.Path("flash.png"), {50, 150}, width, height);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_EQ(width, 200);
    ASSERT_EQ(height, 100);
    const int before = rows[0];
    const int after = rows[1];
    EXPECT_GT(before, 80);  // 0.0 near the bottom
    EXPECT_GE(after, 0);
    EXPECT_LT(after, 20);  // 1.0 near the top
}
