// libFuzzer target: any bytes as track text, split at NUL bytes into several
// sources. The compiler must never read out of bounds or overflow; on success
// every track's rows increase and its text form compiles back to the same
// keys; on failure every error names a source and a line, and no track is
// returned.

#include <cstdint>
#include <string>
#include <vector>

#include "TrackFormat.h"
#include "tests/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the name check; the rest are the sources.
    bool anyName = data[0] & 1;
    std::vector<TrackText> texts;
    for (const std::string& text : splitAtNul(data + 1, size - 1))
        texts.push_back({"src" + std::to_string(texts.size()), text});

    std::vector<TrackSource> tracks;
    std::vector<std::string> errors;
    bool ok = compileTrackTexts(texts, anyName, &tracks, &errors);
    fuzzCheck(ok == errors.empty());
    if (!ok) {
        fuzzCheck(tracks.empty());
        for (const std::string& error : errors) {
            fuzzCheck(error.compare(0, 3, "src") == 0);
            size_t colon = error.find(':');
            fuzzCheck(colon != std::string::npos && colon + 1 < error.size());
            // "srcN:LINE: message" or "srcN: cannot read"; lines count from 1.
            fuzzCheck(error[colon + 1] >= '1' && error[colon + 1] <= '9');
        }
        return 0;
    }

    std::string text;
    for (const TrackSource& track : tracks) {
        fuzzCheck(isValidTrackName(track.name));
        fuzzCheck(anyName || isKnownTrackName(track.name));
        for (size_t i = 1; i < track.keys.size(); ++i)
            fuzzCheck(track.keys[i].row > track.keys[i - 1].row);
        text += formatTrack(track.name, track.keys, data[0] & 2);
    }
    std::vector<TrackSource> again;
    fuzzCheck(compileTrackTexts({{"again", text}}, anyName, &again, &errors));
    fuzzCheck(again.size() == tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        fuzzCheck(again[i].name == tracks[i].name);
        fuzzCheck(encodeTrack(again[i].keys) == encodeTrack(tracks[i].keys));
    }
    return 0;
}
