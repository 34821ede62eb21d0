#pragma once

#include <chrono>

// A one-line progress bar on stderr: frames done, frames per second and the
// time left. On a terminal it redraws in place a few times a second; into a
// file or pipe it writes a plain line every few seconds.
class Progress {
public:
    Progress(long total, bool enabled);
    void Update(long done);
    void Finish(long done);

private:
    void Print(long done, bool last);

    long total;
    bool enabled;
    bool terminal;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastPrint;
};
