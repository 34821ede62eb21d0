// libFuzzer target: any bytes as a track file. The store must never read out
// of bounds, never leave garbage keys, agree with the tool's strict decoder on
// every file it accepts, and the tool's text form must reproduce every file
// it can print.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TrackFormat.h"
#include "tests/support/FuzzInput.h"
#include "sync/SyncTrackStore.h"

namespace {

const uint8_t* fileData;
size_t fileSize;
size_t fileOffset;
int opens;
int closes;
// The store only passes the handle back to the hooks; it never looks inside.
FILE* const kHandle = reinterpret_cast<FILE*>(&fileOffset);

FILE* fuzzOpen(const char*, const char*)
{
    ++opens;
    fileOffset = 0;
    return kHandle;
}

size_t fuzzRead(void* destination, size_t size, size_t count, FILE* handle)
{
    if (handle != kHandle || size == 0)
        abort();
    size_t wanted = size * count;
    size_t available = fileSize - fileOffset;
    size_t got = wanted < available ? wanted : available;
    memcpy(destination, fileData + fileOffset, got);
    fileOffset += got;
    return got / size;
}

int fuzzClose(FILE* handle)
{
    if (handle != kHandle)
        abort();
    ++closes;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fileData = data;
    fileSize = size;
    opens = closes = 0;

    SyncTrackStore* store = syncStoreCreate("fuzz/");
    store->io.open = fuzzOpen;
    store->io.read = fuzzRead;
    store->io.close = fuzzClose;
    SyncTrack* track = syncStoreGetTrack(store, "Fuzz.Track");
    fuzzCheck(track != nullptr);
    fuzzCheck(opens == 1 && closes == 1);
    fuzzCheck(syncStoreGetTrack(store, "Fuzz.Track") == track && opens == 1);

    std::vector<uint8_t> bytes(data, data + size);
    std::vector<TrackRecord> records;
    std::vector<std::string> problems;
    decodeTrack(bytes, &records, &problems);
    int32_t count = size >= 4 ? (int32_t)(data[0] | data[1] << 8 | data[2] << 16 | (uint32_t)data[3] << 24) : -1;
    bool loadable = count >= 0 && (size_t)count <= (size - 4) / 9;

    if (!loadable) {
        fuzzCheck(track->keyCount == 0 && track->keys == nullptr);
    } else {
        fuzzCheck(track->keyCount == count && records.size() == (size_t)count);
        for (int32_t i = 0; i < count; ++i) {
            uint32_t bits;
            memcpy(&bits, &track->keys[i].value, 4);
            fuzzCheck(track->keys[i].row == records[i].row);
            fuzzCheck(bits == records[i].valueBits);
            fuzzCheck(track->keys[i].type == (int32_t)(int8_t)records[i].type);
        }
    }

    bool increasing = true;
    for (size_t i = 1; i < records.size(); ++i)
        increasing = increasing && records[i].row > records[i - 1].row;

    // On a key's own row the value is the key's, or 0.0 in an unknown interval.
    const double extremes[] = {-1e300, -2147483649.0, 2147483648.0, 1e300, NAN, 0.0, -0.5};
    for (double row : extremes)
        (void)syncTrackValue(track, row);
    for (int32_t i = 0; i < track->keyCount; ++i) {
        const SyncKey& key = track->keys[i];
        double at = syncTrackValue(track, (double)key.row);
        (void)syncTrackValue(track, key.row + 0.5);
        (void)syncTrackValue(track, key.row - 0.25);
        if (!increasing || !std::isfinite(key.value))
            continue;
        bool last = i == track->keyCount - 1;
        float delta = last ? 0.0f : track->keys[i + 1].value - key.value;
        if (!std::isfinite(delta))
            continue;
        bool known = key.type >= 0 && key.type <= 3;
        fuzzCheck(at == ((known || last) ? (double)key.value : 0.0));
    }

    // Text round trip for every file the tool prints.
    if (loadable && increasing && size == 4 + 9 * (size_t)count) {
        std::string text = formatTrack("Fuzz.Track", records, data[0] & 1);
        std::vector<TrackSource> sources;
        std::vector<std::string> errors;
        fuzzCheck(parseTrackSource(text, "fuzz", &sources, &errors));
        fuzzCheck(sources.size() == 1 && sources[0].name == "Fuzz.Track");
        fuzzCheck(encodeTrack(sources[0].keys) == bytes);
    }

    syncStoreDestroy(store);
    return 0;
}
