#include "CaptureOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// kMaxFrameDimension is larger than any GL implementation's maximum
// framebuffer; the driver has the last word, it only catches typing mistakes
// before a window is opened.
static const int kMaxSamples = 32;
static const int kMaxFps = 1000;
static const long kMaxFrames = 1000000000L;

static bool ParseInt(const std::string& text, long lo, long hi, long& out)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < lo || value > hi) return false;
    out = value;
    return true;
}

bool ParseSize(const std::string& text, int& width, int& height)
{
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    long w, h;
    if (!ParseInt(text.substr(0, x), kMinFrameDimension, kMaxFrameDimension, w)) return false;
    if (!ParseInt(text.substr(x + 1), kMinFrameDimension, kMaxFrameDimension, h)) return false;
    width = (int)w;
    height = (int)h;
    return true;
}

bool ParseSamples(const std::string& text, int& samples)
{
    long s;
    if (!ParseInt(text, 0, kMaxSamples, s)) return false;
    samples = (int)s;
    return true;
}

bool ParseDeliverable(std::string text, int& width, int& height, int& samples)
{
    if (text.compare(0, 7, "ostrel-") == 0) text = text.substr(7);
    size_t dash = text.find('-');
    if (dash == std::string::npos || text.size() < dash + 3 || text.back() != 'x') return false;
    int w, h, s;
    if (!ParseSize(text.substr(0, dash), w, h)) return false;
    if (!ParseSamples(text.substr(dash + 1, text.size() - dash - 2), s)) return false;
    width = w;
    height = h;
    samples = s;
    return true;
}

bool CheckTimelineLimit(const std::string& option, const std::string& text, const TimePoint& point, int fps,
                        std::string& error)
{
    if (!point.set) return true;
    // Whole units, so that the limit reads as a value the option accepts.
    double limit = 0.0;
    char unit = 'f';
    switch (point.unit) {
    case TimeUnit::Row: limit = kLastTimelineRow; unit = 'r'; break;
    case TimeUnit::Bar: limit = std::floor(kLastTimelineRow / kRowsPerBar); unit = 'b'; break;
    case TimeUnit::Seconds: limit = std::floor(kLastTimelineRow / kProductionRowsPerSecond); unit = 's'; break;
    case TimeUnit::Frame: limit = std::floor(kLastTimelineRow / kProductionRowsPerSecond) * fps; break;
    }
    if (point.value <= limit) return true;
    char message[200];
    std::snprintf(message, sizeof message, "%s '%s' is past the end of the timeline: at most %.0f%c (row 2147483647, "
                  "the last a track can hold)", option.c_str(), text.c_str(), limit, unit);
    error = message;
    return false;
}

static bool EndsWith(const std::string& text, const char* suffix)
{
    size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// A PNG pattern must hold exactly one integer conversion ("%d", "%06d");
// anything else would make snprintf read arguments that are not there.
static bool ValidPattern(const std::string& pattern)
{
    int conversions = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        ++i;
        if (i < pattern.size() && pattern[i] == '%') continue;
        if (i < pattern.size() && pattern[i] == '0') ++i;
        size_t digits = 0;
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
            ++i;
            ++digits;
        }
        if (digits > 2 || i >= pattern.size() || pattern[i] != 'd') return false;
        ++conversions;
    }
    return conversions == 1;
}

static bool ClassifyOutput(CaptureOptions& options, std::string& error)
{
    const std::string& out = options.output;
    // Renders without keeping anything: for timing the renderer alone.
    if (out == "/dev/null") {
        options.outputKind = OutputKind::Discard;
        return true;
    }
    if (EndsWith(out, ".mp4") || EndsWith(out, ".mkv") || EndsWith(out, ".mov")) {
        options.outputKind = OutputKind::Video;
        return true;
    }
    if (out.find('%') != std::string::npos) {
        if (!ValidPattern(out)) {
            error = "the frame pattern '" + out + "' must hold exactly one %d (e.g. frames/%06d.png)";
            return false;
        }
        options.outputKind = OutputKind::PngPattern;
        return true;
    }
    if (EndsWith(out, ".png")) {
        error = "a PNG output needs a frame number in its name (e.g. frames/%06d.png) or a directory";
        return false;
    }
    options.outputKind = OutputKind::PngDirectory;
    return true;
}

bool ParseCaptureOptions(int argc, const char* const* argv, CaptureOptions& options, std::string& error)
{
    std::string fromText, toText;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }

        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "-q" || arg == "--quiet") {
            options.progress = false;
            continue;
        }
        if (arg == "--hidden") {
            options.hidden = true;
            continue;
        }

        static const char* const valued[] = {"--size", "--samples", "--fps", "--from", "--to",
                                             "--frames", "--output", "-o", "--like", "--ffmpeg",
                                             "--crf", "--progress-every"};
        bool known = false;
        for (const char* name : valued) known = known || arg == name;
        if (!known) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }

        long n;
        if (arg == "--size") {
            if (!ParseSize(value, options.width, options.height)) {
                error = "bad --size '" + value + "': expected WIDTHxHEIGHT, each 4 to 16384 (the bloom passes "
                        "work at a quarter of the size)";
                return false;
            }
        } else if (arg == "--samples") {
            if (!ParseSamples(value, options.samples)) {
                error = "bad --samples '" + value + "': expected 0 to 32";
                return false;
            }
        } else if (arg == "--fps") {
            if (!ParseInt(value, 1, kMaxFps, n)) {
                error = "bad --fps '" + value + "': expected a whole number from 1 to 1000";
                return false;
            }
            options.fps = (int)n;
        } else if (arg == "--like") {
            if (!ParseDeliverable(value, options.width, options.height, options.samples)) {
                error = "bad --like '" + value + "': expected a deliverable such as ostrel-1600x900-4x";
                return false;
            }
        } else if (arg == "--from" || arg == "--to") {
            TimePoint& point = arg == "--from" ? options.from : options.to;
            (arg == "--from" ? fromText : toText) = value;
            if (!parseTimePoint(value, &point)) {
                error = "bad " + arg + " '" + value + "': expected " + kTimePointForms;
                return false;
            }
        } else if (arg == "--frames") {
            if (!ParseInt(value, 1, kMaxFrames, n)) {
                error = "bad --frames '" + value + "': expected a whole number from 1 to 1000000000";
                return false;
            }
            options.frameCount = n;
        } else if (arg == "--output" || arg == "-o") {
            if (value.empty()) {
                error = "option " + arg + " needs a non-empty path";
                return false;
            }
            options.output = value;
        } else if (arg == "--ffmpeg") {
            if (value.empty()) {
                error = "option --ffmpeg needs a program";
                return false;
            }
            options.ffmpeg = value;
        } else if (arg == "--progress-every") {
            char* end = nullptr;
            double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(seconds >= 0.05 && seconds <= 3600.0)) {
                error = "bad --progress-every '" + value + "': expected seconds from 0.05 to 3600";
                return false;
            }
            options.progressEvery = seconds;
        } else if (arg == "--crf") {
            if (!ParseInt(value, 0, 51, n)) {
                error = "bad --crf '" + value + "': expected 0 to 51";
                return false;
            }
            options.crf = (int)n;
        }
    }

    if (options.help) return true;
    if (options.output.empty()) {
        error = "no output given: use --output capture.mp4 or --output frames/";
        return false;
    }
    if (options.to.set && options.frameCount >= 0) {
        error = "--to and --frames cannot be used together";
        return false;
    }
    // After the loop: frames count at the final --fps, wherever it stands.
    if (!CheckTimelineLimit("--from", fromText, options.from, options.fps, error) ||
        !CheckTimelineLimit("--to", toText, options.to, options.fps, error))
        return false;
    return ClassifyOutput(options, error);
}

// In double precision, so that a time far past the music cannot overflow a
// frame number before it is compared with the music's length.
static double FramesCoveringExactly(double seconds, int fps)
{
    if (!(seconds > 0.0)) return 0.0;
    // The tolerance keeps a length of exactly k frames from rounding up to k + 1.
    return std::ceil(seconds * fps - 1e-6);
}

long FramesCovering(double seconds, int fps)
{
    return (long)FramesCoveringExactly(seconds, fps);
}

// The first frame at or after the point.
static double FrameAt(const TimePoint& point, int fps, double rowsPerSecond)
{
    if (point.unit == TimeUnit::Frame) return point.value;
    return FramesCoveringExactly(timePointSeconds(point, rowsPerSecond, fps), fps);
}

bool ResolveFrameRange(const CaptureOptions& options, long totalFrames, double rowsPerSecond,
                       FrameRange& range, std::string& error)
{
    double first = options.from.set ? FrameAt(options.from, options.fps, rowsPerSecond) : 0.0;
    double end = (double)totalFrames;
    if (options.to.set) end = std::fmin(end, FrameAt(options.to, options.fps, rowsPerSecond));
    if (options.frameCount >= 0) end = std::fmin(end, first + (double)options.frameCount);

    // Also false for NaN; past it first < end <= totalFrames, so both fit.
    if (!(first < end)) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the range holds no frame: it starts at frame %.0f and the production has %ld "
                      "frames at %d fps",
                      first, totalFrames, options.fps);
        error = text;
        return false;
    }
    range.first = (long)first;
    range.end = (long)end;
    return true;
}

std::string FramePath(const CaptureOptions& options, long n)
{
    char name[64];
    if (options.outputKind == OutputKind::PngPattern) {
        // ValidPattern allows one integer conversion; widen it to take a long.
        std::string format = options.output;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] != '%') continue;
            if (format[i + 1] == '%') {
                ++i;
                continue;
            }
            format.insert(format.find('d', i), "l");
            break;
        }
        // A field width up to 99 can outgrow any fixed margin: measure first.
        int len = std::snprintf(nullptr, 0, format.c_str(), n);
        if (len <= 0) return std::string();
        std::string out((size_t)len + 1, '\0');
        std::snprintf(&out[0], out.size(), format.c_str(), n);
        out.resize((size_t)len);
        return out;
    }
    std::snprintf(name, sizeof name, "frame-%06ld.png", n);
    std::string dir = options.output;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name;
}

const char* CaptureUsage()
{
    return "Usage: ostrel-capture --output OUT [options]\n"
           "Renders the production offline, frame n at exactly n / fps seconds. Reads the\n"
           "res/ beside the folder it is started in or, failing that, beside its own.\n"
           "\n"
           "  -o, --output OUT   a .mp4 (.mkv, .mov) file: H.264 with the soundtrack, made\n"
           "                     through ffmpeg; a directory: numbered PNG frames\n"
           "                     (frame-000000.png, ...); a pattern such as frames/%06d.png;\n"
           "                     or /dev/null to render without keeping the frames\n"
           "      --like NAME    size and samples of a deliverable, e.g. ostrel-1600x900-4x\n"
           "      --size WxH     frame size in pixels, 4 to 16384 each (default 1920x1080)\n"
           "      --samples N    multisamples of the scene buffer (default 4)\n"
           "      --fps N        frames per second (default 60)\n"
           "      --from T       first frame to render (default: the start)\n"
           "      --to T         render up to, not including, T (default: the end of the music)\n"
           "      --frames N     render N frames from --from on\n"
           "                     T is seconds (12.5s), a row (480r), a bar (16b),\n"
           "                     bar:beat[:row] (16:2) or a frame (600f)\n"
           "      --crf N        H.264 quality, 0 (lossless) to 51 (default 18)\n"
           "      --ffmpeg PATH  the ffmpeg program (default: ffmpeg from PATH)\n"
           "      --progress-every S  a progress line every S seconds (default: a few times a\n"
           "                     second on a terminal, else every 5 s)\n"
           "      --hidden       render in a window that is never shown (the studio's C)\n"
           "  -q, --quiet        no progress bar\n"
           "  -h, --help         this text\n"
           "\n"
           "Exit status: 0 done, 1 could not render or write, 2 bad command line.\n";
}
