#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Notices saved edits by polling: editors save by rewriting or by renaming a
// new file over the old one, and both change the size or modification time.
class FileWatcher {
public:
    // Watches the files directly in `dir` whose names end with `suffix`.
    void Watch(const std::string& dir, const std::string& suffix);
    // Paths that appeared, disappeared or changed since the last call; the
    // first call only records what is there.
    std::vector<std::string> Poll();

private:
    struct Stamp {
        int64_t size;
        int64_t modified;  // nanoseconds
        bool operator!=(const Stamp& other) const { return size != other.size || modified != other.modified; }
    };
    struct Place {
        std::string dir;
        std::string suffix;
    };
    std::vector<Place> places;
    std::map<std::string, Stamp> seen;
    bool primed = false;
};
