#pragma once

// Edits of a track source text that touch one key's line and leave every
// other byte as it was: comments, blank lines, the other keys, line endings.
// A rewritten field starts in the column where it stood, so a block laid out
// in columns stays aligned; a new line copies the layout of a neighbour.

#include <cstdint>
#include <string>
#include <vector>

#include "TrackFormat.h"

// One key line of a track block, as the compiler reads it.
struct KeyLine {
    TrackRecord key;
    bool typeWritten = false;  // the line names its interpolation
    size_t line = 0;           // 1-based
    size_t begin = 0;          // byte offsets of the line, its end of line excluded
    size_t end = 0;
};

struct TrackBlock {
    bool found = false;
    size_t line = 0;  // the "track" line, 1-based
    size_t headerEnd = 0;  // byte offset just past the "track" line's end of line
    std::vector<KeyLine> keys;
};

// The block of `name` in text: found stays false when no line starts it.
// Lines that do not read as keys are skipped, as the compiler reports them.
TrackBlock findTrackBlock(const std::string& text, const std::string& name);

// Each edit writes the edited text into *out and returns true, or returns
// false with the reason in *error and leaves *out alone. Keys are named by
// their row; a new or moved key's position is written as bar:beat:row.

// Replaces the key at `row` with `key`. The line keeps its place, so the new
// row must stay between its neighbours'.
bool replaceKeyInText(const std::string& text, const std::string& track, int32_t row, const TrackRecord& key,
                      std::string* out, std::string* error);
// Adds a line for `key` in row order; there must be no key at its row.
bool insertKeyInText(const std::string& text, const std::string& track, const TrackRecord& key, std::string* out,
                     std::string* error);
// Removes the line of the key at `row`, with its end of line.
bool deleteKeyInText(const std::string& text, const std::string& track, int32_t row, std::string* out,
                     std::string* error);
