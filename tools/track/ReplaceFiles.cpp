#include "ReplaceFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int createSiblingTemp(const std::string& target, std::string* tempPath)
{
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    // Room for the mark and the suffix within the usual 255-byte name limit.
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.size() > 200)
        name.resize(200);
    static unsigned counter = 0;
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned seed = (unsigned)getpid() * 2654435761u ^ (unsigned)now.tv_nsec;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".partial-%06x", (seed + ++counter * 40503u) & 0xFFFFFFu);
        std::string path = dir + "." + name + suffix;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *tempPath = path;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

static void removeAll(const std::vector<std::string>& paths, size_t from = 0)
{
    for (size_t i = from; i < paths.size(); ++i) {
        if (!paths[i].empty())
            unlink(paths[i].c_str());
    }
}

bool replaceFiles(const std::vector<std::string>& temps, const std::vector<std::string>& targets, std::string* error)
{
    auto fail = [&](const std::string& target, int reason, size_t lost = 0) {
        *error = target + ": cannot replace (" + std::strerror(reason) + "); " +
                 (lost == 0 ? std::string("no file was changed")
                            : std::to_string(lost) + " files were replaced and could not be put back");
        return false;
    };
    // A rename cannot put a file over a directory; find out before any moves.
    std::vector<bool> existed(targets.size(), false);
    for (size_t i = 0; i < targets.size(); ++i) {
        struct stat info;
        if (lstat(targets[i].c_str(), &info) != 0)
            continue;
        existed[i] = true;
        if (S_ISDIR(info.st_mode)) {
            removeAll(temps);
            return fail(targets[i], EISDIR);
        }
    }
    // Second names for the old files, so that a failed rename can put them
    // back; the targets stay in place meanwhile, for anyone reading them.
    std::vector<std::string> backups(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        if (existed[i] && link(targets[i].c_str(), (temps[i] + ".old").c_str()) == 0)
            backups[i] = temps[i] + ".old";
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        if (rename(temps[i].c_str(), targets[i].c_str()) == 0)
            continue;
        int reason = errno;
        size_t lost = 0;
        for (size_t j = 0; j < i; ++j) {
            if (!backups[j].empty())
                lost += rename(backups[j].c_str(), targets[j].c_str()) != 0;
            else if (existed[j])
                ++lost;
            else
                unlink(targets[j].c_str());
        }
        removeAll(temps, i);
        removeAll(backups);
        return fail(targets[i], reason, lost);
    }
    removeAll(backups);
    return true;
}

static bool writeAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += (size_t)n;
    }
    return true;
}

bool writeFilesReplacing(const std::vector<std::string>& paths, const std::vector<std::vector<uint8_t>>& contents,
                         std::string* error)
{
    std::vector<std::string> temps;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string temp;
        int fd = createSiblingTemp(paths[i], &temp);
        bool ok = fd >= 0;
        int reason = errno;
        if (ok) {
            temps.push_back(temp);
            ok = writeAll(fd, contents[i]);
            reason = errno;
            if (close(fd) != 0 && ok) {
                ok = false;
                reason = errno;
            }
        }
        if (!ok) {
            removeAll(temps);
            *error = paths[i] + ": cannot write (" + std::strerror(reason) + "); no file was changed";
            return false;
        }
    }
    return replaceFiles(temps, paths, error);
}
