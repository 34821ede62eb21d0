#include "Transport.h"

#include <cmath>

// Half a sample at 44.1 kHz is 0.00033 rows; single-precision seconds add less.
static const double kReadBackSlack = 1e-3;

// The last bar that ends within int32, so that BarEndRow and a loop over it fit.
static const int32_t kLastBarStartRow = (INT32_MAX / kRowsPerBar - 1) * kRowsPerBar;

double WholeRow(double row)
{
    return std::floor(row + kReadBackSlack);
}

static double Clamp(double row, double lastRow)
{
    if (!(row > 0.0)) return 0.0;  // NaN too
    return row > lastRow ? lastRow : row;
}

double StepRow(double row, double delta, double lastRow)
{
    return Clamp(WholeRow(row) + delta, lastRow);
}

double SnapRow(double row, int grid, double lastRow)
{
    if (grid < 1) grid = 1;
    return Clamp(std::round(row / grid) * grid, lastRow);
}

int32_t BarStartRow(double row)
{
    row = WholeRow(row);
    if (!(row > 0.0)) return 0;
    if (row >= kLastBarStartRow) return kLastBarStartRow;
    return (int32_t)std::floor(row / kRowsPerBar) * kRowsPerBar;
}

int32_t BarEndRow(double row)
{
    return BarStartRow(row) + kRowsPerBar;
}

double PreviousSectionRow(const std::vector<Section>& sections, double row)
{
    double target = 0.0;
    for (const Section& section : sections) {
        if (section.startRow <= row - kRowsPerBeat) target = section.startRow;
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
    if (loop.endRow <= loop.startRow) loop.endRow = loop.startRow + kRowsPerBar;
}

void SetLoopEnd(Loop& loop, double row)
{
    // On a bar line the bar starting there stays out; inside a bar it is in.
    int32_t start = BarStartRow(row);
    loop.endRow = start == WholeRow(row) && start > 0 ? start : start + kRowsPerBar;
    if (loop.startRow >= loop.endRow) loop.startRow = loop.endRow - kRowsPerBar;
}

std::string FormatBarBeatRow(double row)
{
    row = WholeRow(row);
    if (!(row > 0.0)) row = 0.0;
    // Rows are int32 everywhere else; this also keeps infinity convertible.
    if (row > INT32_MAX) row = INT32_MAX;
    return formatBarBeatRow((int32_t)row);
}
