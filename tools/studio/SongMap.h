#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The song's sections as the music generator writes them into its section map
// (choreography/SECTIONS.md): one table row per section, rows counted from 0.
struct Section {
    std::string name;
    int32_t startRow = 0;
    int32_t endRow = 0;  // excluded
};

// Reads the "## Sections" table; false with a reason when there is none or a
// row does not read.
bool ParseSongMap(const std::string& text, std::vector<Section>* sections, std::string* error);
bool ReadSongMap(const std::string& path, std::vector<Section>* sections, std::string* error);
