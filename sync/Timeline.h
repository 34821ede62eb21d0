#pragma once

// The row clock that the production and every tool count in. A row is a
// sixteenth of a beat and four beats make a bar; a position is written
// "bar:beat:row", each part counted from 0 ("16:2:0" is row 1056). Tools
// take a point on the timeline as seconds (12.5s), a row (480r), a bar
// (16b), bar:beat[:row] (16:2) or a frame (600f).

#include <cstdint>
#include <string>

constexpr int kRowsPerBeat = 16;
constexpr int kBeatsPerBar = 4;
constexpr int kRowsPerBar = kRowsPerBeat * kBeatsPerBar;
// The tempo the soundtrack is built with, in beats per minute.
constexpr float kProductionTempo = 110.0f;
constexpr double kProductionRowsPerSecond = kProductionTempo / 60.0 * kRowsPerBeat;
// The last row a track can hold: rows are int32.
constexpr double kLastTimelineRow = 2147483647.0;

// The production's clock: the row at a music position, in single precision
// and in this order of operations, as every frame computes it.
inline float rowAtSeconds(float seconds, float tempo)
{
    return seconds * ((tempo / 60.0f) * (float)kRowsPerBeat);
}

// Rows per second at a tempo, in double precision, for the tools' arithmetic.
inline double rowsPerSecondAt(double tempo)
{
    return tempo / 60.0 * kRowsPerBeat;
}

// The music position to draw `row` at: the time of the row, moved up by the
// least amount needed so that rowAtSeconds reads back the same whole row
// (never the one below, as a time rounded to the nearest sample can).
float secondsAtRow(double row, float tempo);

// "bar:beat:row" for rows from 0; rows below 0 have no bar and are written as
// plain numbers ("-16"), which parseBarBeatRow reads back.
std::string formatBarBeatRow(int32_t row);

// A row, bar:beat or bar:beat:row. Only a plain row may carry a sign; a beat
// goes up to 3 and a row within a beat up to 15. False with a one-line reason
// naming the text for anything else or a position outside int32.
bool parseBarBeatRow(const std::string& text, int32_t* row, std::string* error);

enum class TimeUnit { Seconds, Row, Frame, Bar };

// A point on the timeline as the user gave it; bar:beat:row reads as a row.
struct TimePoint {
    bool set = false;
    TimeUnit unit = TimeUnit::Frame;
    double value = 0.0;
};

// "12.5s", "480r", "16b", "16:2", "16:2:8" or "600f": never negative, frames
// whole. Leaves point as it was on failure.
bool parseTimePoint(const std::string& text, TimePoint* point);
// The forms parseTimePoint reads, for a tool's message: "expected " + this.
extern const char* const kTimePointForms;

// The point as a row and as seconds, frames counting at fps. Each is computed
// from the point's own value, not from the other, so that a time or frame
// given exactly stays exact.
double timePointRow(const TimePoint& point, double rowsPerSecond, int fps);
double timePointSeconds(const TimePoint& point, double rowsPerSecond, int fps);
