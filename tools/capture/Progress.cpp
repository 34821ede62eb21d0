#include "Progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

Progress::Progress(long total_, bool enabled_, double interval_)
    : total(total_), enabled(enabled_), terminal(isatty(STDERR_FILENO) == 1),
      interval(interval_ > 0.0 ? interval_ : terminal ? 0.25 : 5.0),
      start(std::chrono::steady_clock::now()), lastPrint(start)
{
}

void Progress::Update(long done)
{
    if (!enabled) return;
    auto now = std::chrono::steady_clock::now();
    double since = std::chrono::duration<double>(now - lastPrint).count();
    // The last frame is left to Finish, which prints the final line once.
    if (done >= total || (since < interval && done != 1)) return;
    lastPrint = now;
    Print(done, false);
}

void Progress::Finish(long done)
{
    if (!enabled) return;
    Print(done, true);
}

void Progress::Print(long done, bool last)
{
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double fps = elapsed > 0.0 ? (double)done / elapsed : 0.0;
    long left = fps > 0.0 ? (long)((double)(total - done) / fps + 0.5) : 0;

    const int width = 30;
    int filled = total > 0 ? (int)((double)done / (double)total * width) : width;
    char bar[width + 1];
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';

    std::fprintf(stderr, "%s[%s] %ld/%ld frames  %.1f fps  %ld:%02ld left%s", terminal ? "\r" : "", bar, done,
                 total, fps, left / 60, left % 60, terminal && !last ? "\x1b[K" : "\n");
    std::fflush(stderr);
}

bool ParseProgressLine(const std::string& line, long& done, long& total, long& secondsLeft)
{
    // "[###...] 12/240 frames  35.2 fps  0:07 left", after any redraw codes.
    size_t bar = line.rfind("] ");
    if (bar == std::string::npos) return false;
    double fps = 0.0;
    long minutes = 0, seconds = 0;
    char tail[8] = "";
    if (std::sscanf(line.c_str() + bar + 2, "%ld/%ld frames %lf fps %ld:%ld %5s", &done, &total, &fps, &minutes,
                    &seconds, tail) != 6 ||
        std::string(tail) != "left" || done < 0 || total < done)
        return false;
    secondsLeft = minutes * 60 + seconds;
    return true;
}
