#include "support/TestSupport.h"

#include <GL/glew.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/Engine.h"

namespace fs = std::filesystem;

// ---- Log capture -----------------------------------------------------------

LogCapture::LogCapture()
{
    SDL_LogGetOutputFunction(&previousFunction, &previousUserdata);
    SDL_LogSetAllPriority(SDL_LOG_PRIORITY_VERBOSE);
    SDL_LogSetOutputFunction(&LogCapture::Output, this);
}

LogCapture::~LogCapture()
{
    SDL_LogSetOutputFunction(previousFunction, previousUserdata);
}

void LogCapture::Output(void* userdata, int category, SDL_LogPriority priority, const char* message)
{
    static_cast<LogCapture*>(userdata)->lines.push_back({category, (int)priority, message});
}

std::vector<std::string> LogCapture::Messages() const
{
    std::vector<std::string> out;
    for (const LogLine& line : lines) out.push_back(line.message);
    return out;
}

int LogCapture::Count(const std::string& text) const
{
    int n = 0;
    for (const LogLine& line : lines) n += line.message == text ? 1 : 0;
    return n;
}

std::vector<std::string> LogCapture::Errors() const
{
    std::vector<std::string> out;
    for (const LogLine& line : lines) {
        if (line.priority >= SDL_LOG_PRIORITY_ERROR) out.push_back(line.message);
    }
    return out;
}

// ---- Live engine ---------------------------------------------------------------

bool EngineTestAccess::InitGraphics(Engine& engine, int width, int height, int samples)
{
    Engine::instance = &engine;
    SDL_LogSetAllPriority(SDL_LOG_PRIORITY_VERBOSE);
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) != 0) return false;
    if (!engine.window.Create("Ostrel test", width, height, samples, false)) return false;
    glewExperimental = GL_TRUE;
    // A second context in one process sometimes leaves GLX without a current
    // display; GLEW has loaded every GL entry point by the time it says so.
    GLenum glew = glewInit();
    if (glew != GLEW_OK && glew != GLEW_ERROR_NO_GLX_DISPLAY) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    return engine.sync.Init(&engine.audio);
}

void EngineTestAccess::ShutdownGraphics(Engine& engine)
{
    engine.sync.Destroy();
    engine.window.Destroy();
    SDL_Quit();
    Engine::instance = nullptr;
}

TestEngine::TestEngine() : engine(new Engine) {}

TestEngine::~TestEngine()
{
    Shutdown();
    delete engine;
}

bool TestEngine::Init(int width, int height, int samples)
{
    live = true;
    return EngineTestAccess::InitGraphics(*engine, width, height, samples);
}

void TestEngine::Shutdown()
{
    if (!live) return;
    live = false;
    EngineTestAccess::ShutdownGraphics(*engine);
}

std::vector<uint8_t> ReadWindowPixels(int width, int height)
{
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool WritePNG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba)
{
    stbi_flip_vertically_on_write(1);
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

// ---- Temporary layout ----------------------------------------------------------------

TempLayout::TempLayout(bool copyResources, bool enter)
{
    char pattern[] = "/tmp/ostrel-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    root = made ? made : "/tmp/ostrel-test-fallback";
    std::error_code ec;
    fs::create_directories(Bin(), ec);
    if (copyResources) {
        fs::copy(OSTREL_RES_DIR, Res(), fs::copy_options::recursive, ec);
    } else {
        fs::create_directories(Res(), ec);
    }
    if (enter) {
        previousDir = fs::current_path(ec).string();
        entered = chdir(Bin().c_str()) == 0;
    }
}

TempLayout::~TempLayout()
{
    if (entered && !previousDir.empty()) {
        if (chdir(previousDir.c_str()) != 0) {
        }
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

bool TempLayout::WriteFile(const std::string& relative, const std::string& bytes) const
{
    std::error_code ec;
    fs::create_directories(fs::path(Path(relative)).parent_path(), ec);
    std::ofstream out(Path(relative), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    return (bool)out;
}

bool TempLayout::CopyFile(const std::string& from, const std::string& relative) const
{
    std::string bytes;
    return ReadWholeFile(from, bytes) && WriteFile(relative, bytes);
}

void TempLayout::RemoveFile(const std::string& relative) const
{
    std::error_code ec;
    fs::remove(Path(relative), ec);
}

void TempLayout::ClearTracks() const
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Path("sync"), ec)) {
        if (entry.path().extension() == ".track") fs::remove(entry.path(), ec);
    }
}

bool TempLayout::InstallProgram(const std::string& name) const
{
    std::error_code ec;
    fs::copy_file(std::string(OSTREL_BIN_DIR) + "/" + name, Bin() + "/" + name,
                  fs::copy_options::overwrite_existing, ec);
    return !ec;
}

// ---- Track files -------------------------------------------------------------------------

static void PutLE32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back((char)((v >> (8 * i)) & 0xFF));
}

std::string EncodeTrack(const std::vector<TrackKey>& keys)
{
    std::string out;
    PutLE32(out, (uint32_t)keys.size());
    for (const TrackKey& key : keys) {
        uint32_t bits;
        std::memcpy(&bits, &key.value, 4);
        PutLE32(out, (uint32_t)key.row);
        PutLE32(out, bits);
        out.push_back((char)key.type);
    }
    return out;
}

bool WriteTrack(const TempLayout& layout, const std::string& name, const std::vector<TrackKey>& keys)
{
    return layout.WriteFile("sync/_" + name + ".track", EncodeTrack(keys));
}

bool WriteConstantTrack(const TempLayout& layout, const std::string& name, float value)
{
    return WriteTrack(layout, name, {{0, value, 0}});
}

// ---- Child processes ------------------------------------------------------------------------

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::vector<std::string>& extraEnv, double timeoutSeconds)
{
    ProcessResult result;
    int fds[2];
    if (argv.empty() || pipe(fds) != 0) return result;

    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return result;
    }
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        setpgid(0, 0);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        for (const std::string& entry : extraEnv) {
            size_t eq = entry.find('=');
            if (eq != std::string::npos) setenv(entry.substr(0, eq).c_str(), entry.c_str() + eq + 1, 1);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    result.started = true;
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);

    bool termSent = false;
    int status = 0;
    bool exited = false;
    for (;;) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, (size_t)n);
        if (!exited && waitpid(pid, &status, WNOHANG) == pid) exited = true;
        if (exited && n == 0) break;
        if (exited && n < 0 && errno != EAGAIN) break;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!exited && elapsed > timeoutSeconds) {
            result.timedOut = true;
            kill(-pid, termSent ? SIGKILL : SIGTERM);
            if (!termSent) {
                termSent = true;
                timeoutSeconds += 5.0;
            }
        }
        if (exited) {
            // Drain whatever grandchildren still hold the pipe open, briefly.
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) break;
            continue;
        }
        pollfd p{fds[0], POLLIN, 0};
        poll(&p, 1, 20);
    }
    close(fds[0]);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::vector<std::string> LogMessagesOf(const std::string& output)
{
    static const char* const prefixes[] = {"VERBOSE: ", "DEBUG: ", "INFO: ", "WARN: ", "ERROR: ",
                                           "CRITICAL: "};
    std::vector<std::string> out;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        for (const char* prefix : prefixes) {
            size_t len = std::strlen(prefix);
            if (line.compare(0, len, prefix) == 0) {
                out.push_back(line.substr(len));
                break;
            }
        }
    }
    return out;
}

std::string TestData(const std::string& name)
{
    return std::string(OSTREL_BINARY_DIR) + "/testdata/" + name;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return true;
}

std::vector<int> PlotCurveRows(const std::string& png, const std::vector<int>& columns, int& width, int& height)
{
    int channels = 0;
    unsigned char* pixels = stbi_load(png.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr)
        return {};
    std::vector<int> rows;
    for (int x : columns) {
        int found = -1;
        for (int y = 0; y < height && found < 0 && x >= 0 && x < width; ++y) {
            const unsigned char* p = pixels + (static_cast<size_t>(y) * width + x) * 3;
            if (p[0] == 255 && p[1] == 200 && p[2] == 60)
                found = y;
        }
        rows.push_back(found);
    }
    stbi_image_free(pixels);
    return rows;
}

SmallDisk::SmallDisk(const std::string& dir_, size_t bytes) : dir(dir_)
{
    std::error_code failure;
    std::filesystem::create_directories(dir, failure);
    std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
        why = "cannot mount a small tmpfs on " + dir + " (" + std::strerror(errno) + "; it needs root)";
    else
        mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (mounted) umount2(dir.c_str(), MNT_DETACH);
}

bool SmallDisk::Fill() const
{
    int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    static const char block[4096] = {};
    ssize_t n = 0;
    while ((n = write(fd, block, sizeof block)) > 0) {
    }
    // Then byte by byte, for the last partial block.
    while ((n = write(fd, block, 1)) > 0) {
    }
    int reason = errno;
    close(fd);
    return reason == ENOSPC;
}
