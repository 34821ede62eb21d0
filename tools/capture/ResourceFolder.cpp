#include "ResourceFolder.h"

#include <filesystem>

namespace fs = std::filesystem;

bool EnterResourceFolder(const char* program, const std::vector<std::string*>& paths, std::string& error)
{
    std::error_code failure;
    if (fs::is_directory("../res", failure)) return true;
    fs::path here = fs::current_path(failure);
    fs::path self = fs::read_symlink("/proc/self/exe", failure);
    fs::path bin = failure ? fs::path() : self.parent_path();
    if (bin.empty() || !fs::is_directory(bin / ".." / "res", failure)) {
        error = "no res/ folder in " + (here / "..").lexically_normal().string() +
                (bin.empty() ? "" : " nor in " + (bin / "..").lexically_normal().string()) + ": start " + program +
                " from the bin/ folder beside res/";
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
