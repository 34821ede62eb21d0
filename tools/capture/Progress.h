#pragma once

#include <chrono>

#include <string>

// A one-line progress bar on stderr: frames done, frames per second and the
// time left. On a terminal it redraws in place a few times a second; into a
// file or pipe it writes a plain line every few seconds, or every `interval`
// seconds when that is given (a program reading the lines as they come).
class Progress {
public:
    Progress(long total, bool enabled, double interval = 0.0);
    void Update(long done);
    void Finish(long done);

private:
    void Print(long done, bool last);

    long total;
    bool enabled;
    bool terminal;
    double interval;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastPrint;
};

// Reads one line that Progress printed: frames done and in all, and the
// seconds left; false for any other line.
bool ParseProgressLine(const std::string& line, long& done, long& total, long& secondsLeft);
