#include "sync/Timeline.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

float secondsAtRow(double row, float tempo)
{
    double exact = row / rowsPerSecondAt(tempo);
    // Beyond single precision the conversion would be undefined.
    if (std::fabs(exact) > FLT_MAX) exact = std::copysign(INFINITY, exact);
    float seconds = (float)exact;
    if (!std::isfinite(seconds) || !(tempo > 0.0f)) return seconds;
    // Single precision can land a hair below the row; a few steps up at most.
    const double whole = std::floor(row);
    for (int i = 0; i < 8 && std::floor((double)rowAtSeconds(seconds, tempo)) < whole; ++i)
        seconds = std::nextafter(seconds, INFINITY);
    return seconds;
}

std::string formatBarBeatRow(int32_t row)
{
    if (row < 0) return std::to_string(row);
    char text[48];
    std::snprintf(text, sizeof text, "%d:%d:%d", row / kRowsPerBar, row % kRowsPerBar / kRowsPerBeat,
                  row % kRowsPerBeat);
    return text;
}

// Digits with an optional sign, twelve at most: enough for any int32 row and
// its bar, and never an overflow of long long.
static bool parseCount(const std::string& text, bool signAllowed, long long* out)
{
    size_t i = signAllowed && !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size() || text.size() - i > 12) return false;
    for (size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9') return false;
    }
    *out = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

bool parseBarBeatRow(const std::string& text, int32_t* row, std::string* error)
{
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (parts.size() > 3) {
        *error = "position '" + text + "' has more than bar:beat:row";
        return false;
    }
    long long values[3] = {0, 0, 0};
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!parseCount(parts[i], parts.size() == 1, &values[i])) {
            *error = "bad position '" + text + "' (a row, bar:beat or bar:beat:row)";
            return false;
        }
    }
    long long total = values[0];
    if (parts.size() > 1) {
        if (values[1] >= kBeatsPerBar) {
            *error = "beat " + std::to_string(values[1]) + " in '" + text + "' is past the bar's last beat (0.." +
                     std::to_string(kBeatsPerBar - 1) + ")";
            return false;
        }
        if (values[2] >= kRowsPerBeat) {
            *error = "row " + std::to_string(values[2]) + " in '" + text + "' is past the beat's last row (0.." +
                     std::to_string(kRowsPerBeat - 1) + ")";
            return false;
        }
        total = values[0] * kRowsPerBar + values[1] * kRowsPerBeat + values[2];
    }
    if (total < INT32_MIN || total > INT32_MAX) {
        *error = "position '" + text + "' is out of range";
        return false;
    }
    *row = (int32_t)total;
    return true;
}

// A plain decimal number from 0 up ("12", "12.5", "1e3"): no sign, blank,
// hexadecimal, infinity or NaN, which strtod would take.
static bool parseNonNegative(const std::string& text, double* out)
{
    if (text.empty() || !(std::isdigit((unsigned char)text[0]) || text[0] == '.')) return false;
    if (text.find_first_not_of("0123456789.eE+-") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0.0) return false;
    *out = value;
    return true;
}

const char* const kTimePointForms =
    "seconds (12.5s), a row (480r), a bar (16b), bar:beat[:row] (16:2) or a frame (600f)";

bool parseTimePoint(const std::string& text, TimePoint* point)
{
    if (text.find(':') != std::string::npos) {
        int32_t row = 0;
        std::string ignored;
        if (!parseBarBeatRow(text, &row, &ignored) || row < 0) return false;
        *point = TimePoint{true, TimeUnit::Row, (double)row};
        return true;
    }
    if (text.size() < 2) return false;
    double value = 0.0;
    if (!parseNonNegative(text.substr(0, text.size() - 1), &value)) return false;
    TimeUnit unit;
    switch (text.back()) {
    case 's': unit = TimeUnit::Seconds; break;
    case 'r': unit = TimeUnit::Row; break;
    case 'b': unit = TimeUnit::Bar; break;
    case 'f':
        if (value != std::floor(value)) return false;
        unit = TimeUnit::Frame;
        break;
    default: return false;
    }
    *point = TimePoint{true, unit, value};
    return true;
}

double timePointRow(const TimePoint& point, double rowsPerSecond, int fps)
{
    if (!point.set) return 0.0;
    switch (point.unit) {
    case TimeUnit::Seconds: return point.value * rowsPerSecond;
    case TimeUnit::Row: return point.value;
    case TimeUnit::Bar: return point.value * kRowsPerBar;
    case TimeUnit::Frame: return point.value / fps * rowsPerSecond;
    }
    return 0.0;
}

double timePointSeconds(const TimePoint& point, double rowsPerSecond, int fps)
{
    if (!point.set) return 0.0;
    switch (point.unit) {
    case TimeUnit::Seconds: return point.value;
    case TimeUnit::Row: return point.value / rowsPerSecond;
    case TimeUnit::Bar: return point.value * kRowsPerBar / rowsPerSecond;
    case TimeUnit::Frame: return point.value / fps;
    }
    return 0.0;
}
