#include "Transport.h"

#include <cmath>
#include <cstdio>

double StepRow(double row, double delta, double lastRow)
{
    double target = row + delta;
    if (!(target > 0.0)) return 0.0;
    return target > lastRow ? lastRow : target;
}

// The last bar that ends within int32, so that BarEndRow and a loop over it fit.
static const int32_t kLastBarStartRow = (INT32_MAX / kStudioRowsPerBar - 1) * kStudioRowsPerBar;

int32_t BarStartRow(double row)
{
    if (!(row > 0.0)) return 0;
    if (row >= kLastBarStartRow) return kLastBarStartRow;
    return (int32_t)std::floor(row / kStudioRowsPerBar) * kStudioRowsPerBar;
}

int32_t BarEndRow(double row)
{
    return BarStartRow(row) + kStudioRowsPerBar;
}

double PreviousSectionRow(const std::vector<Section>& sections, double row)
{
    double target = 0.0;
    for (const Section& section : sections) {
        if (section.startRow <= row - kStudioRowsPerBeat) target = section.startRow;
    }
    return target;
}

double NextSectionRow(const std::vector<Section>& sections, double row, double lastRow)
{
    for (const Section& section : sections) {
        if (section.startRow > row) return section.startRow < lastRow ? section.startRow : lastRow;
    }
    return lastRow;
}

const Section* SectionAt(const std::vector<Section>& sections, double row)
{
    for (const Section& section : sections) {
        if (row >= section.startRow && row < section.endRow) return &section;
    }
    return nullptr;
}

void SetLoopStart(Loop& loop, double row)
{
    loop.startRow = BarStartRow(row);
    if (loop.endRow <= loop.startRow) loop.endRow = loop.startRow + kStudioRowsPerBar;
}

void SetLoopEnd(Loop& loop, double row)
{
    loop.endRow = BarEndRow(row);
    if (loop.startRow >= loop.endRow) loop.startRow = loop.endRow - kStudioRowsPerBar;
}

std::string FormatBarBeatRow(double row)
{
    if (!(row > 0.0)) row = 0.0;
    // Rows are int32 everywhere else; this also keeps infinity convertible.
    if (row > INT32_MAX) row = INT32_MAX;
    long long whole = (long long)std::floor(row);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%lld:%lld", whole / kStudioRowsPerBar,
                  whole % kStudioRowsPerBar / kStudioRowsPerBeat, whole % kStudioRowsPerBeat);
    return text;
}
