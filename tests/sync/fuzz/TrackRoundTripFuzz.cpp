// libFuzzer target: any bytes as a track file. A file the strict decoder
// accepts comes back from its text, through the compiler, byte for byte; a
// damaged file's text compiles to nothing, and with one '#' taken off each
// line to keys that were read, in increasing rows.

#include <cstdint>
#include <string>
#include <vector>

#include "TrackFormat.h"
#include "tests/support/FuzzInput.h"

namespace {

std::vector<TrackSource> compile(const std::string& text)
{
    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    fuzzCheck(compileTrackTexts({{"fuzz.tracks", text}}, true, &tracks, &errors));
    fuzzCheck(errors.empty());
    return tracks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    std::vector<TrackRecord> keys;
    std::vector<std::string> problems;
    bool whole = decodeTrack(bytes, &keys, &problems);
    bool plainRows = size > 4 && (data[4] & 1);

    if (whole) {
        std::vector<TrackSource> tracks = compile(formatTrack("Fuzz.Track", keys, plainRows));
        fuzzCheck(tracks.size() == 1 && tracks[0].name == "Fuzz.Track");
        fuzzCheck(encodeTrack(tracks[0].keys) == bytes);
        return 0;
    }

    // Unknown types alone leave a file exact; anything else is damage.
    std::vector<std::string> damage;
    for (const std::string& problem : problems) {
        if (problem.find("unknown type") == std::string::npos)
            damage.push_back(problem);
    }
    if (damage.empty()) {
        std::vector<TrackSource> tracks = compile(formatTrack("Fuzz.Track", keys, plainRows));
        fuzzCheck(tracks.size() == 1 && encodeTrack(tracks[0].keys) == bytes);
        return 0;
    }
    std::string text = formatDamagedTrack("Fuzz.Track", keys, damage, plainRows);
    fuzzCheck(compile(text).empty());

    std::string uncommented;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        fuzzCheck(end != std::string::npos && text[start] == '#');
        uncommented += text.substr(start + 1, end - start);
        start = end + 1;
    }
    std::vector<TrackSource> rebuilt = compile(uncommented);
    fuzzCheck(rebuilt.size() == 1);
    // The kept keys are read ones, in file order (compiling checked that their
    // rows increase), and the first key read is always among them.
    const std::vector<TrackRecord>& kept = rebuilt[0].keys;
    fuzzCheck(kept.empty() == keys.empty());
    size_t next = 0;
    for (const TrackRecord& key : kept) {
        while (next < keys.size() && !(keys[next].row == key.row && keys[next].valueBits == key.valueBits &&
                                       keys[next].type == key.type))
            ++next;
        fuzzCheck(next < keys.size());
        ++next;
    }
    return 0;
}
