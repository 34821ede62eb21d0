#include "SongMap.h"

#include <cstdlib>
#include <sstream>

#include "TrackFormat.h"

static std::string Trim(const std::string& text)
{
    size_t a = text.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = text.find_last_not_of(" \t\r");
    return text.substr(a, b - a + 1);
}

static bool ParseRow(const std::string& text, int32_t* row)
{
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    *row = (int32_t)std::atol(text.c_str());
    return true;
}

bool ParseSongMap(const std::string& text, std::vector<Section>* sections, std::string* error)
{
    sections->clear();
    std::istringstream in(text);
    std::string line;
    bool inSection = false;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.compare(0, 3, "## ") == 0) {
            if (inSection) break;
            inSection = Trim(line.substr(3)) == "Sections";
            continue;
        }
        if (!inSection || line.empty() || line[0] != '|') continue;
        std::vector<std::string> cells;
        std::stringstream cellText(line.substr(1));
        std::string cell;
        while (std::getline(cellText, cell, '|')) cells.push_back(Trim(cell));
        // The header and the rule under it.
        if (cells.size() < 4 || cells[0] == "section" || cells[0].compare(0, 3, "---") == 0) continue;
        Section section;
        section.name = cells[0];
        if (section.name.empty() || !ParseRow(cells[2], &section.startRow) ||
            !ParseRow(cells[3], &section.endRow) || section.endRow <= section.startRow ||
            (!sections->empty() && section.startRow < sections->back().endRow)) {
            *error = "line " + std::to_string(lineNumber) + ": not a section row: " + line;
            sections->clear();
            return false;
        }
        sections->push_back(section);
    }
    if (sections->empty()) {
        *error = "no \"## Sections\" table";
        return false;
    }
    return true;
}

bool ReadSongMap(const std::string& path, std::vector<Section>* sections, std::string* error)
{
    std::vector<uint8_t> bytes;
    std::string why;
    if (!readWholeFile(path, &bytes, kMaxSourceBytes, &why)) {
        *error = "cannot read " + path + " (" + why + ")";
        return false;
    }
    if (!ParseSongMap(std::string(bytes.begin(), bytes.end()), sections, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}
