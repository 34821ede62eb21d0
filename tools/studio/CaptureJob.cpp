#include "CaptureJob.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

CaptureJob::~CaptureJob()
{
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        child = -1;
    }
    Cleanup();
}

void CaptureJob::Cleanup()
{
    if (workDir.empty()) return;
    std::error_code ignored;
    fs::remove_all(workDir, ignored);
    workDir.clear();
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
    char pattern[] = "/tmp/ostrel-studio-capture-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        error = "cannot make a directory for the capture";
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
            Cleanup();
            return false;
        }
    }

    std::vector<std::string> argv = {captureProgram};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    std::string logPath = workDir + "/capture.log";
    std::string binDir = workDir + "/bin";

    child = fork();
    if (child < 0) {
        error = "cannot start the capture";
        Cleanup();
        return false;
    }
    if (child == 0) {
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

bool CaptureJob::Finished(bool& ok, std::string& message)
{
    if (child <= 0) return false;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) != child) return false;
    child = -1;
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    message.clear();
    std::ifstream log(workDir + "/capture.log");
    for (std::string line; std::getline(log, line);)
        if (!line.empty()) message = line;
    Cleanup();
    return true;
}
