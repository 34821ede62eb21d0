#include "ResourceFolder.h"

#include <filesystem>

namespace fs = std::filesystem;

// The folder above dir, as a plain absolute path without a trailing slash.
static std::string Parent(const fs::path& dir)
{
    return (dir / "..").lexically_normal().parent_path().string();
}

bool EnterResourceFolder(const char* program, const std::vector<std::string*>& paths, std::string& error)
{
    std::error_code failure;
    if (fs::is_directory("../res", failure)) return true;
    fs::path here = fs::current_path(failure);
    fs::path self = fs::read_symlink("/proc/self/exe", failure);
    fs::path bin = failure ? fs::path() : self.parent_path();
    if (bin.empty() || !fs::is_directory(bin / ".." / "res", failure)) {
        std::string started = Parent(here);
        std::string beside = bin.empty() ? started : Parent(bin);
        error = "no res/ folder in " + started + (beside == started ? "" : " nor in " + beside) + ": start " +
                program + " from the bin/ folder beside res/";
        return false;
    }
    for (std::string* path : paths) {
        if (path->empty() || fs::path(*path).is_absolute()) continue;
        std::string absolute = (here / *path).lexically_normal().string();
        // "." comes out as "here/"; a slash the user wrote stays.
        if (absolute.size() > 1 && absolute.back() == '/' && path->back() != '/') absolute.pop_back();
        *path = absolute;
    }
    fs::current_path(bin, failure);
    if (failure) {
        error = "cannot enter " + bin.string() + ", the folder beside res/: " + failure.message();
        return false;
    }
    return true;
}
