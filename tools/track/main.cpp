// ostrel-track: compiles the text source of the choreography into .track
// files, dumps .track files back to text, checks a track directory and plots
// a track's curve. Run without arguments for usage.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "engine/FileAccess.h"
#include "TrackFormat.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

static const char* kUsage =
    "usage:\n"
    "  ostrel-track compile [-o DIR] [--any-name] SOURCE...\n"
    "      compile text sources into DIR/_<name>.track (DIR defaults to .)\n"
    "  ostrel-track dump [--rows] FILE.track|DIR...\n"
    "      print tracks as text; a DIR prints all its tracks\n"
    "  ostrel-track check DIR\n"
    "      report missing, unknown and malformed track files, one line each\n"
    "  ostrel-track plot FILE.track -o OUT.png [--from POS] [--to POS] [--size WxH]\n"
    "      draw the track's curve as the production evaluates it\n"
    "positions are rows or bar:beat:row, counted from 0 (64 rows a bar, 16 a beat)\n";

static int usage()
{
    fputs(kUsage, stderr);
    return 2;
}

static bool isDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static bool listDirectory(const std::string& dir, std::vector<std::string>* entries)
{
    DIR* handle = opendir(dir.c_str());
    if (!handle)
        return false;
    while (dirent* entry = readdir(handle)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            entries->push_back(entry->d_name);
    }
    closedir(handle);
    std::sort(entries->begin(), entries->end());
    return true;
}

// Track files in the order the production lists them, then any others by name.
static std::vector<std::string> trackFilesIn(const std::string& dir)
{
    std::vector<std::string> entries;
    listDirectory(dir, &entries);
    std::vector<std::string> files;
    for (const char* name : syncTrackNames) {
        std::string file = trackFileName(name);
        if (std::find(entries.begin(), entries.end(), file) != entries.end())
            files.push_back(joinPath(dir, file));
    }
    for (const std::string& entry : entries) {
        std::string name = trackNameFromPath(entry);
        if (!name.empty() && !isKnownTrackName(name))
            files.push_back(joinPath(dir, entry));
    }
    return files;
}

static int commandCompile(int argc, char** argv)
{
    std::string outDir = ".";
    bool anyName = false;
    std::vector<std::string> sources;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc)
            outDir = argv[++i];
        else if (arg == "--any-name")
            anyName = true;
        else if (!arg.empty() && arg[0] == '-')
            return usage();
        else
            sources.push_back(arg);
    }
    if (sources.empty())
        return usage();

    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    if (!compileTrackSources(sources, anyName, &tracks, &errors)) {
        for (const std::string& error : errors)
            fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // Nothing is written unless every source compiled.
    std::string error;
    if (!writeCompiledTracks(outDir, tracks, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    printf("compiled %zu tracks into %s\n", tracks.size(), outDir.c_str());
    return 0;
}

static int commandDump(int argc, char** argv)
{
    bool plainRows = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rows") {
            plainRows = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else if (isDirectory(arg)) {
            std::vector<std::string> inDir = trackFilesIn(arg);
            files.insert(files.end(), inDir.begin(), inDir.end());
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty())
        return usage();

    int status = 0;
    bool first = true;
    for (const std::string& file : files) {
        std::vector<uint8_t> bytes;
        uint64_t unread = 0;
        std::string why;
        if (!readTrackFile(file, &bytes, &unread, &why)) {
            fprintf(stderr, "%s: cannot read (%s)\n", file.c_str(), why.c_str());
            status = 1;
            continue;
        }
        std::string name = trackNameFromPath(file);
        if (name.empty()) {
            fprintf(stderr, "%s: not named _<Group.Name>.track\n", file.c_str());
            status = 1;
            continue;
        }
        std::vector<TrackRecord> keys;
        std::vector<std::string> problems;
        decodeTrack(bytes, &keys, &problems, unread);
        // Unknown types print as their byte and come back exactly; the rest
        // cannot come back byte for byte.
        std::vector<std::string> damage;
        for (const std::string& problem : problems) {
            bool unknownType = problem.find("unknown type") != std::string::npos;
            fprintf(stderr, "%s: %s%s\n", file.c_str(), problem.c_str(),
                    unknownType ? " (printed as that byte; its interval reads 0.0)" : "");
            if (!unknownType)
                damage.push_back(problem);
        }
        std::string text = formatTrack(name, keys, plainRows);
        if (!damage.empty()) {
            fprintf(stderr, "%s: damaged, printed as comments that a compile leaves out\n", file.c_str());
            text = formatDamagedTrack(name, keys, damage, plainRows);
            status = 1;
        }
        printf("%s%s", first ? "" : "\n", text.c_str());
        first = false;
    }
    return status;
}

static int commandCheck(int argc, char** argv)
{
    if (argc != 1)
        return usage();
    std::string dir = argv[0];
    std::vector<std::string> entries;
    if (!listDirectory(dir, &entries)) {
        fprintf(stderr, "%s: cannot read directory\n", dir.c_str());
        return 2;
    }
    int problems = 0;
    for (const char* name : syncTrackNames) {
        std::string file = trackFileName(name);
        if (std::find(entries.begin(), entries.end(), file) == entries.end()) {
            fprintf(stderr, "%s: missing track %s\n", joinPath(dir, file).c_str(), name);
            ++problems;
        }
    }
    for (const std::string& entry : entries) {
        std::string path = joinPath(dir, entry);
        std::string name = trackNameFromPath(entry);
        if (name.empty() || !isKnownTrackName(name)) {
            fprintf(stderr, "%s: unknown file (not one of the production's %d tracks)\n", path.c_str(),
                    (int)SYNC_TRACK_NAME_COUNT);
            ++problems;
            continue;
        }
        std::vector<uint8_t> bytes;
        uint64_t unread = 0;
        std::string why;
        if (!readTrackFile(path, &bytes, &unread, &why)) {
            fprintf(stderr, "%s: cannot read (%s)\n", path.c_str(), why.c_str());
            ++problems;
            continue;
        }
        std::vector<TrackRecord> keys;
        std::vector<std::string> found;
        decodeTrack(bytes, &keys, &found, unread);
        for (const std::string& problem : found) {
            fprintf(stderr, "%s: %s\n", path.c_str(), problem.c_str());
            ++problems;
        }
    }
    if (problems > 0) {
        fprintf(stderr, "%d problems\n", problems);
        return 1;
    }
    printf("%s: all %d tracks present and well formed\n", dir.c_str(), (int)SYNC_TRACK_NAME_COUNT);
    return 0;
}

// The plotted file, handed to the store in place of its composed path.
static std::string plotFile;

static FILE* openPlotFile(const char*, const char*)
{
    return openRegularFile(plotFile.c_str());
}

struct Image {
    int width;
    int height;
    std::vector<uint8_t> rgb;

    void set(int x, int y, uint8_t r, uint8_t g, uint8_t b)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        uint8_t* p = &rgb[((size_t)y * width + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
};

static int commandPlot(int argc, char** argv)
{
    std::string file;
    std::string out;
    std::string fromText;
    std::string toText;
    int width = 1600;
    int height = 400;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc)
            out = argv[++i];
        else if (arg == "--from" && i + 1 < argc)
            fromText = argv[++i];
        else if (arg == "--to" && i + 1 < argc)
            toText = argv[++i];
        else if (arg == "--size" && i + 1 < argc) {
            if (sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 16 || height < 16 || width > 16384 ||
                height > 16384) {
                fprintf(stderr, "bad size '%s' (WxH, 16..16384)\n", argv[i]);
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-')
            return usage();
        else if (file.empty())
            file = arg;
        else
            return usage();
    }
    if (file.empty() || out.empty())
        return usage();

    // Read through the store so the curve is exactly what the production sees.
    plotFile = file;
    SyncTrackStore* store = syncStoreCreate("");
    if (!store)
        return 1;
    store->io.open = openPlotFile;
    SyncTrack* track = syncStoreGetTrack(store, "plot");
    if (!track || track->keyCount == 0) {
        fprintf(stderr, "%s: no keys to plot (missing, empty or malformed file)\n", file.c_str());
        syncStoreDestroy(store);
        return 1;
    }

    // Rows in 64 bits: one bar past a key near the int32 limit, and the span
    // between the limits, do not fit in 32.
    int64_t from = std::min(0, track->keys[0].row);
    int64_t to = (int64_t)track->keys[track->keyCount - 1].row + kRowsPerBar;
    std::string error;
    auto readPosition = [&](const std::string& text, int64_t* row) {
        int32_t position = 0;
        if (text.empty())
            return true;
        if (!parsePosition(text, &position, &error))
            return false;
        *row = position;
        return true;
    };
    if (!readPosition(fromText, &from) || !readPosition(toText, &to)) {
        fprintf(stderr, "%s\n", error.c_str());
        syncStoreDestroy(store);
        return 2;
    }
    if (to <= from) {
        fprintf(stderr, "empty range: --to must come after --from\n");
        syncStoreDestroy(store);
        return 2;
    }

    std::vector<double> samples((size_t)width);
    double low = INFINITY;
    double high = -INFINITY;
    for (int x = 0; x < width; ++x) {
        double row = from + (double)(to - from) * x / (width - 1);
        samples[x] = (double)(float)syncTrackValue(track, (double)(float)row);
        if (std::isfinite(samples[x])) {
            low = std::min(low, samples[x]);
            high = std::max(high, samples[x]);
        }
    }
    if (!(low <= high)) {
        low = -1.0;
        high = 1.0;
    }
    if (high - low < 1e-6) {
        low -= 1.0;
        high += 1.0;
    }
    double pad = (high - low) * 0.08;
    low -= pad;
    high += pad;

    Image image{width, height, std::vector<uint8_t>((size_t)width * height * 3, 0)};
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        image.rgb[i] = 18;
        image.rgb[i + 1] = 18;
        image.rgb[i + 2] = 24;
    }
    auto columnOf = [&](double row) { return (int)std::lround((row - from) * (width - 1) / (double)(to - from)); };
    auto lineOf = [&](double value) { return (int)std::lround((high - value) * (height - 1) / (high - low)); };

    // Bars, with every eighth bar brighter, when they are far enough apart to
    // read; a long range steps over what would not be drawn.
    double pixelsPerBar = (double)kRowsPerBar * (width - 1) / (double)(to - from);
    int64_t step = pixelsPerBar >= 6.0 ? 1 : pixelsPerBar * 8 >= 2.0 ? 8 : 0;
    int64_t firstBar = (int64_t)std::floor((double)from / kRowsPerBar);
    if (step == 8)
        firstBar = (firstBar / 8 + (firstBar % 8 > 0)) * 8;
    for (int64_t bar = firstBar; step > 0 && bar * kRowsPerBar <= to; bar += step) {
        bool phrase = bar % 8 == 0;
        int x = columnOf((double)(bar * kRowsPerBar));
        uint8_t shade = phrase ? 70 : 40;
        for (int y = 0; y < height; ++y)
            image.set(x, y, shade, shade, shade + 8);
    }
    if (low < 0.0 && high > 0.0) {
        int y = lineOf(0.0);
        for (int x = 0; x < width; ++x)
            image.set(x, y, 90, 90, 100);
    }
    int previous = -1;
    for (int x = 0; x < width; ++x) {
        if (!std::isfinite(samples[x])) {
            previous = -1;
            continue;
        }
        int y = lineOf(samples[x]);
        int a = previous < 0 ? y : previous;
        for (int yy = std::min(a, y); yy <= std::max(a, y); ++yy)
            image.set(x, yy, 255, 200, 60);
        previous = y;
    }
    for (int32_t i = 0; i < track->keyCount; ++i) {
        const SyncKey& key = track->keys[i];
        if (key.row < from || key.row > to || !std::isfinite(key.value))
            continue;
        int cx = columnOf(key.row);
        int cy = lineOf(key.value);
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                image.set(cx + dx, cy + dy, 80, 180, 255);
    }
    syncStoreDestroy(store);

    if (!stbi_write_png(out.c_str(), width, height, 3, image.rgb.data(), width * 3)) {
        fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    printf("%s: rows %lld..%lld, values %g..%g\n", out.c_str(), (long long)from, (long long)to, low + pad, high - pad);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "compile")
        return commandCompile(argc - 2, argv + 2);
    if (command == "dump")
        return commandDump(argc - 2, argv + 2);
    if (command == "check")
        return commandCheck(argc - 2, argv + 2);
    if (command == "plot")
        return commandPlot(argc - 2, argv + 2);
    return usage();
}
