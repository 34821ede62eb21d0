#include "CaptureJob.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Progress.h"

namespace fs = std::filesystem;

namespace {

const char kWorkPrefix[] = "ostrel-studio-capture-";

// Folders "<prefix><pid>-XXXXXX" whose studio is gone: one that was killed
// outright had no chance to remove its own.
void RemoveOrphanedWorkDirs()
{
    std::error_code failure;
    for (const fs::directory_entry& entry : fs::directory_iterator("/tmp", failure)) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, sizeof kWorkPrefix - 1, kWorkPrefix) != 0) continue;
        long pid = std::strtol(name.c_str() + sizeof kWorkPrefix - 1, nullptr, 10);
        std::error_code ignored;
        if (pid > 0 && kill((pid_t)pid, 0) != 0 && errno == ESRCH) fs::remove_all(entry.path(), ignored);
    }
}

}  // namespace

CaptureJob::~CaptureJob()
{
    Stop();
}

void CaptureJob::Cleanup()
{
    if (workDir.empty()) return;
    std::error_code ignored;
    fs::remove_all(workDir, ignored);
    workDir.clear();
}

void CaptureJob::Stop()
{
    if (child > 0) {
        kill(child, SIGTERM);
        // It finishes the frame in hand and removes its output; one that does
        // not end in time is killed with its ffmpeg.
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(-child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        child = -1;
    }
    Cleanup();
}

bool CaptureJob::Start(const std::string& captureProgram, const std::string& resDir,
                       const std::vector<TrackSource>& tracks, const std::vector<std::string>& arguments,
                       std::string& error)
{
    if (child > 0) {
        error = "a capture is already running";
        return false;
    }
    Cleanup();
    RemoveOrphanedWorkDirs();
    std::string pattern = "/tmp/" + std::string(kWorkPrefix) + std::to_string(getpid()) + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        error = std::string("cannot make a folder for the capture in /tmp: ") + std::strerror(errno);
        return false;
    }
    workDir = pattern;
    std::error_code failure;
    fs::path res = fs::path(workDir) / "res";
    fs::path realRes = fs::absolute(resDir, failure);
    fs::create_directories(fs::path(workDir) / "bin", failure);
    fs::create_directories(res, failure);
    for (const char* part : {"audio", "shaders", "textures"})
        if (!failure) fs::create_directory_symlink(realRes / part, res / part, failure);
    if (!failure && tracks.empty()) fs::create_directory_symlink(realRes / "sync", res / "sync", failure);
    if (failure) {
        error = "cannot lay out the capture's resources: " + failure.message();
        Cleanup();
        return false;
    }
    if (!tracks.empty()) {
        fs::create_directories(res / "sync", failure);
        if (failure || !writeCompiledTracks((res / "sync").string(), tracks, &error)) {
            if (failure) error = "cannot lay out the capture's tracks: " + failure.message();
            Cleanup();
            return false;
        }
    }

    std::vector<std::string> argv = {captureProgram, "--hidden", "--progress-every", "0.25"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    std::string logPath = workDir + "/capture.log";
    std::string binDir = workDir + "/bin";

    progress = Progress();
    cancelled = false;
    logRead = 0;
    logPartial.clear();
    lastLine.clear();
    const pid_t studio = getpid();
    child = fork();
    if (child < 0) {
        error = std::string("cannot start the capture: ") + std::strerror(errno);
        child = -1;
        Cleanup();
        return false;
    }
    if (child == 0) {
        // Its own group, so that a Ctrl+C meant for the studio reaches the
        // capture through the studio's orderly stop; and its end with the studio's.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != studio) _exit(127);
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        if (chdir(binDir.c_str()) == 0) execv(pointers[0], pointers.data());
        _exit(127);
    }
    return true;
}

const CaptureJob::Progress& CaptureJob::Poll()
{
    if (workDir.empty()) return progress;
    FILE* log = std::fopen((workDir + "/capture.log").c_str(), "rb");
    if (log == nullptr) return progress;
    char buffer[16384];
    size_t got = 0;
    if (fseeko(log, (off_t)logRead, SEEK_SET) == 0) got = std::fread(buffer, 1, sizeof buffer, log);
    std::fclose(log);
    logRead += (long long)got;
    logPartial.append(buffer, got);
    size_t start = 0;
    for (size_t end; (end = logPartial.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = logPartial.substr(start, end - start);
        long done = 0, total = 0, left = 0;
        if (ParseProgressLine(line, done, total, left)) {
            progress.done = done;
            progress.total = total;
            progress.secondsLeft = left;
        } else if (!line.empty()) {
            lastLine = line;
        }
    }
    logPartial.erase(0, start);
    return progress;
}

void CaptureJob::Cancel()
{
    if (child <= 0) return;
    kill(child, SIGTERM);
    cancelled = true;
}

bool CaptureJob::Finished(bool& ok, std::string& message)
{
    if (child <= 0) return false;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) != child) return false;
    child = -1;
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // Everything it printed is there now, an unfinished last line included.
    for (long long before = -1; before != logRead;) {
        before = logRead;
        Poll();
    }
    if (!logPartial.empty()) {
        logPartial += '\n';
        Poll();
    }
    message = lastLine;
    const std::string prefix = "ostrel-capture: ";
    if (message.compare(0, prefix.size(), prefix) == 0) message.erase(0, prefix.size());
    if (message.empty() && !ok) message = WIFSIGNALED(status) ? "killed by a signal" : "no message";
    Cleanup();
    return true;
}
