#include "engine/FileAccess.h"

#include <cerrno>
#include <sys/stat.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

FILE* openRegularFile(const char* path, uint64_t* size)
{
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
#ifdef _WIN32
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return nullptr;
    struct _stat64 info;
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        fclose(file);
        errno = EISDIR;
        return nullptr;
    }
#else
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    // Regular files never block; reads go back to the ordinary mode.
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
#endif
    if (size != nullptr)
        *size = info.st_size > 0 ? (uint64_t)info.st_size : 0;
    return file;
}
