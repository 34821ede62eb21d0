#pragma once

// Shared helpers for the test suite: in-process log capture, a live engine
// instance around a real GL context, temporary bin/ + res/ layouts, child
// processes and track files.

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

class Engine;

// ---- Log capture -----------------------------------------------------------

struct LogLine {
    int category;
    int priority;
    std::string message;
};

// Records every SDL log line while alive (all priorities enabled) and puts the
// previous output function back when destroyed.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<LogLine>& Lines() const { return lines; }
    std::vector<std::string> Messages() const;
    // Number of lines whose message equals text exactly.
    int Count(const std::string& text) const;
    bool Contains(const std::string& text) const { return Count(text) > 0; }
    // Lines at error priority, e.g. to assert that nothing failed.
    std::vector<std::string> Errors() const;
    void Clear() { lines.clear(); }

private:
    static void Output(void* userdata, int category, SDL_LogPriority priority, const char* message);

    std::vector<LogLine> lines;
    SDL_LogOutputFunction previousFunction = nullptr;
    void* previousUserdata = nullptr;
};

// ---- Live engine around a real GL context -----------------------------------

// Brings up what the render and scene code reach through Engine::GetInstance:
// SDL video, a window with a GL 3.3 core context (GLEW loaded), and the sync
// device reading "../res/sync/" relative to the current directory. No audio
// device is opened, so the soundtrack tempo stays 0.
struct EngineTestAccess {
    static bool InitGraphics(Engine& engine, int width, int height, int samples);
    static void ShutdownGraphics(Engine& engine);
};

class TestEngine {
public:
    // Creates the engine on the heap: its scene and post processor are large.
    TestEngine();
    ~TestEngine();
    TestEngine(const TestEngine&) = delete;
    TestEngine& operator=(const TestEngine&) = delete;

    bool Init(int width = 1600, int height = 900, int samples = 4);
    void Shutdown();
    Engine& Get() { return *engine; }

private:
    Engine* engine;
    bool live = false;
};

// Reads the window's back buffer as RGBA rows, bottom row first (GL order).
std::vector<uint8_t> ReadWindowPixels(int width, int height);
// Writes RGBA pixels (bottom row first) to a PNG, for looking at a failure.
bool WritePNG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);
// The row of `ostrel-track plot`'s curve colour in each given column of its
// PNG (-1 where the column has none); empty when the file cannot be read. The
// image's size goes to width and height.
std::vector<int> PlotCurveRows(const std::string& png, const std::vector<int>& columns, int& width, int& height);

// ---- Temporary bin/ + res/ layout --------------------------------------------

// Makes <tmp>/bin and <tmp>/res (a copy of the build's res/ unless told
// otherwise) and enters bin/, so that "../res/..." resolves as for the
// deliverables. Leaves and deletes everything when destroyed.
class TempLayout {
public:
    explicit TempLayout(bool copyResources = true, bool enter = true);
    ~TempLayout();
    TempLayout(const TempLayout&) = delete;
    TempLayout& operator=(const TempLayout&) = delete;

    const std::string& Root() const { return root; }
    std::string Bin() const { return root + "/bin"; }
    std::string Res() const { return root + "/res"; }
    // Path of a file relative to res/, e.g. Path("shaders/Mix.frag").
    std::string Path(const std::string& relative) const { return Res() + "/" + relative; }

    bool WriteFile(const std::string& relative, const std::string& bytes) const;
    bool CopyFile(const std::string& from, const std::string& relative) const;
    void RemoveFile(const std::string& relative) const;
    // Removes every track file so that every track reads 0.0 until written.
    void ClearTracks() const;
    // Copies a built program (e.g. "ostrel-1600x900-4x") from the build's bin/.
    bool InstallProgram(const std::string& name) const;

private:
    std::string root;
    std::string previousDir;
    bool entered = false;
};

// ---- Track files ---------------------------------------------------------------

struct TrackKey {
    int32_t row;
    float value;
    int8_t type;  // 0 step, 1 linear, 2 smooth, 3 ramp
};

// The little-endian bytes of a track file holding these keys.
std::string EncodeTrack(const std::vector<TrackKey>& keys);
// Writes res/sync/_<name>.track into the layout.
bool WriteTrack(const TempLayout& layout, const std::string& name, const std::vector<TrackKey>& keys);
// A track holding one value at every row.
bool WriteConstantTrack(const TempLayout& layout, const std::string& name, float value);

// ---- Child processes -------------------------------------------------------------

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    bool signaled = false;
    int signal = 0;
    int exitCode = -1;
    std::string output;  // stdout and stderr together, in order
    double seconds = 0.0;
};

// Runs argv[0] with extra "NAME=value" environment entries in cwd; kills it
// (TERM, then KILL) after timeoutSeconds.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::vector<std::string>& extraEnv, double timeoutSeconds);

// The log messages of a process's output: SDL prints "INFO: text" and
// "ERROR: text"; the prefixes are removed.
std::vector<std::string> LogMessagesOf(const std::string& output);

// Files made by the build for tests, e.g. TestData("tone-1s.mp3").
std::string TestData(const std::string& name);

bool ReadWholeFile(const std::string& path, std::string& bytes);

// ---- Full disks -------------------------------------------------------------------

// A tmpfs of `bytes` mounted on a new folder `dir`, to see what a program does
// when the disk fills up. Mounting needs root (CI has it): where it fails,
// Mounted() is false and Why() says why, for the test's skip message.
class SmallDisk {
public:
    SmallDisk(const std::string& dir, size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted; }
    const std::string& Why() const { return why; }
    // Takes every free block with one file, so that the next write fails.
    bool Fill() const;

private:
    std::string dir;
    std::string why;
    bool mounted = false;
};
