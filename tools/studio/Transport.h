#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SongMap.h"
#include "sync/Timeline.h"

// Where the transport keys go, in rows of the production's clock. Pure
// arithmetic: the studio turns the result into an audio seek. Every move
// lands on a whole row (the end of the music aside), so that the
// bar:beat:row shown is the one asked for.

constexpr int kStudioRowsPerBeat = kRowsPerBeat;
constexpr int kStudioRowsPerBar = kRowsPerBar;

// A loop over whole bars; end excluded.
struct Loop {
    bool on = false;
    int32_t startRow = 0;
    int32_t endRow = 0;
    bool Valid() const { return endRow > startRow; }
};

// The whole row a position is in. A position read back from the audio can lie
// up to half a sample (about 1/3000 of a row) below the row it was set to;
// that much below a row still counts as the row.
double WholeRow(double row);
// The whole row of `row` plus delta, kept inside [0, lastRow]. NaN gives 0.
double StepRow(double row, double delta, double lastRow);
// The nearest multiple of grid rows (1: a row, 16: a beat), inside [0, lastRow].
double SnapRow(double row, int grid, double lastRow);
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
// `[`: the loop starts at the start of the bar holding `row`. `]`: the loop
// ends at the first bar line at or after `row`, so that `[`, two bars on,
// `]` loops those two bars. The other end follows when the range would come
// out empty.
void SetLoopStart(Loop& loop, double row);
void SetLoopEnd(Loop& loop, double row);
// "bar:beat:row" of the whole row `row` is in, from 0:0:0 up.
std::string FormatBarBeatRow(double row);
