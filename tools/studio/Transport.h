#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SongMap.h"

// Where the transport keys go, in rows of the production's clock. Pure
// arithmetic: the studio turns the result into an audio seek.

constexpr int kStudioRowsPerBeat = 16;
constexpr int kStudioRowsPerBar = 64;

// A loop over whole bars; end excluded.
struct Loop {
    bool on = false;
    int32_t startRow = 0;
    int32_t endRow = 0;
    bool Valid() const { return endRow > startRow; }
};

// row + delta, kept inside [0, lastRow].
double StepRow(double row, double delta, double lastRow);
// The first row of the bar holding `row`, and the first row after it.
int32_t BarStartRow(double row);
int32_t BarEndRow(double row);
// PageUp: the start of the section playing, or of the one before when the
// playhead is within a beat of that start (so that a second press goes on).
double PreviousSectionRow(const std::vector<Section>& sections, double row);
// PageDown: the next section's start; lastRow after the last one.
double NextSectionRow(const std::vector<Section>& sections, double row, double lastRow);
// The section holding `row`, or null.
const Section* SectionAt(const std::vector<Section>& sections, double row);
// `[` and `]`: the loop's start or end moves to the bar holding `row`; the
// other end follows when the range would come out empty.
void SetLoopStart(Loop& loop, double row);
void SetLoopEnd(Loop& loop, double row);
// "bar:beat:row", all counted from 0, as the track text writes positions.
std::string FormatBarBeatRow(double row);
