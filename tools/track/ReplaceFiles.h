#pragma once

// Writing files that replace others (track sets, captures, stills): each new
// file is written under a temporary name in its target's own folder, and only
// once every one of them is complete are they renamed into place. A failure
// at any point leaves the old files byte for byte, and no temporary behind.

#include <cstdint>
#include <string>
#include <vector>

// Creates a new, empty file beside `target` named "<dir>/.<name>.partial-XXXXXX"
// (a name no watcher of ".track" or ".tracks" files matches) with the usual
// permissions, and returns its descriptor; -1 with errno set when it cannot.
int createSiblingTemp(const std::string& target, std::string* tempPath);

// Renames temps[i] over targets[i] for every i, all or none: a target that is
// a directory is refused before anything moves, and should a rename fail, the
// targets already replaced get their old files back. The temporaries are gone
// afterwards either way. error: "<target>: cannot replace (<reason>); no file
// was changed" (or how many could not be put back, where a filesystem without
// hard links left no second name).
bool replaceFiles(const std::vector<std::string>& temps, const std::vector<std::string>& targets,
                  std::string* error);

// Writes contents[i] to paths[i] for every i through temporaries and
// replaceFiles. error: "<path>: cannot write (<reason>); no file was changed".
bool writeFilesReplacing(const std::vector<std::string>& paths, const std::vector<std::vector<uint8_t>>& contents,
                         std::string* error);
