#include "FileWatcher.h"

#include <dirent.h>
#include <sys/stat.h>

void FileWatcher::Watch(const std::string& dir, const std::string& suffix)
{
    places.push_back(Place{dir, suffix});
}

std::vector<std::string> FileWatcher::Poll()
{
    std::map<std::string, Stamp> now;
    for (const Place& place : places) {
        DIR* dir = opendir(place.dir.c_str());
        if (dir == nullptr) continue;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() < place.suffix.size() ||
                name.compare(name.size() - place.suffix.size(), place.suffix.size(), place.suffix) != 0)
                continue;
            std::string path = place.dir + "/" + name;
            struct stat info;
            if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            now[path] = Stamp{(int64_t)info.st_size,
                              (int64_t)info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec};
        }
        closedir(dir);
    }
    std::vector<std::string> changed;
    if (primed) {
        for (const auto& entry : now) {
            auto old = seen.find(entry.first);
            if (old == seen.end() || old->second != entry.second) changed.push_back(entry.first);
        }
        for (const auto& entry : seen) {
            if (now.find(entry.first) == now.end()) changed.push_back(entry.first);
        }
    }
    seen.swap(now);
    primed = true;
    return changed;
}
