#include "sync/SyncTrackStore.h"

#include "engine/FileAccess.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

// A FIFO, device or directory in place of a track reads like a missing file.
static FILE* openTrackFile(const char* path, const char*)
{
    return openRegularFile(path);
}

// Shared by every store: loading is not re-entrant.
static char syncPath[SYNC_PATH_CAPACITY];

SyncTrackStore* syncStoreCreate(const char* basePath)
{
    SyncTrackStore* store = (SyncTrackStore*)malloc(sizeof(SyncTrackStore));
    if (!store)
        return nullptr;
    store->basePath = strdup(basePath ? basePath : "");
    if (!store->basePath) {
        free(store);
        return nullptr;
    }
    store->tracks = nullptr;
    store->trackCount = 0;
    store->io.open = openTrackFile;
    store->io.read = fread;
    store->io.close = fclose;
    store->slots = nullptr;
    store->slotCount = 0;
    return store;
}

void syncStoreDestroy(SyncTrackStore* store)
{
    if (!store)
        return;
    free(store->basePath);
    for (int32_t i = 0; i < store->trackCount; ++i) {
        free(store->tracks[i]->name);
        free(store->tracks[i]->keys);
        free(store->tracks[i]);
    }
    free(store->tracks);
    free(store->slots);
    free(store);
}

static uint32_t hashName(const char* name)
{
    uint32_t hash = 2166136261u;
    for (const unsigned char* c = (const unsigned char*)name; *c; ++c)
        hash = (hash ^ *c) * 16777619u;
    return hash;
}

static void indexTrack(int32_t* slots, int32_t slotCount, const char* name, int32_t track)
{
    uint32_t mask = (uint32_t)slotCount - 1;
    uint32_t slot = hashName(name) & mask;
    while (slots[slot] >= 0)
        slot = (slot + 1) & mask;
    slots[slot] = track;
}

// Keeps the index at most half full; without memory for a larger one the
// store drops its index and searches linearly.
static void growIndex(SyncTrackStore* store)
{
    int32_t count = store->slotCount > 0 ? store->slotCount : 64;
    while ((int64_t)store->trackCount * 2 >= count && count < (1 << 30))
        count *= 2;
    int32_t* slots = (int32_t*)malloc(sizeof(int32_t) * (size_t)count);
    free(store->slots);
    store->slots = slots;
    store->slotCount = slots ? count : 0;
    if (!slots)
        return;
    memset(slots, 0xFF, sizeof(int32_t) * (size_t)count);
    for (int32_t i = 0; i < store->trackCount; ++i)
        indexTrack(slots, count, store->tracks[i]->name, i);
}

int32_t syncStoreFindTrack(const SyncTrackStore* store, const char* name)
{
    if (store->trackCount <= 0)
        return -1;
    if (store->slots) {
        uint32_t mask = (uint32_t)store->slotCount - 1;
        for (uint32_t slot = hashName(name) & mask; store->slots[slot] >= 0; slot = (slot + 1) & mask) {
            int32_t i = store->slots[slot];
            if (strcmp(store->tracks[i]->name, name) == 0)
                return i;
        }
        return -1;
    }
    for (int32_t i = 0; i < store->trackCount; ++i) {
        if (strcmp(store->tracks[i]->name, name) == 0)
            return i;
    }
    return -1;
}

// A keyless track appended under a copy of the name; null, with the store
// unchanged, when memory fails.
static SyncTrack* appendTrack(SyncTrackStore* store, const char* name)
{
    SyncTrack* track = (SyncTrack*)malloc(sizeof(SyncTrack));
    if (!track)
        return nullptr;
    track->name = strdup(name);
    track->keys = nullptr;
    track->keyCount = 0;
    track->memoValid = 0;
    if (!track->name) {
        free(track);
        return nullptr;
    }

    SyncTrack** grown = (SyncTrack**)realloc(store->tracks, sizeof(SyncTrack*) * (size_t)(store->trackCount + 1));
    if (!grown) {
        // The old array is still intact and owned by the store.
        free(track->name);
        free(track);
        return nullptr;
    }
    store->tracks = grown;
    store->tracks[store->trackCount] = track;
    store->trackCount += 1;
    if (store->slots && (int64_t)store->trackCount * 2 < store->slotCount)
        indexTrack(store->slots, store->slotCount, track->name, store->trackCount - 1);
    else
        growIndex(store);  // indexes every track, the new one too
    return track;
}

SyncTrack* syncStoreGetTrack(SyncTrackStore* store, const char* name)
{
    int32_t index = syncStoreFindTrack(store, name);
    if (index >= 0)
        return store->tracks[index];

    SyncTrack* track = appendTrack(store, name);
    if (!track)
        return nullptr;
    // A missing or unreadable file leaves a keyless track that reads 0.0
    // and is never tried again.
    syncTrackLoadFile(store, track);
    return track;
}

int syncStoreAddTrack(SyncTrackStore* store, const char* name, const SyncKey* keys, int32_t keyCount)
{
    if (keyCount < 0 || syncStoreFindTrack(store, name) >= 0)
        return -1;
    SyncKey* copy = nullptr;
    if (keyCount > 0) {
        copy = (SyncKey*)malloc(sizeof(SyncKey) * (size_t)keyCount);
        if (!copy)
            return -1;
        memcpy(copy, keys, sizeof(SyncKey) * (size_t)keyCount);
    }
    SyncTrack* track = appendTrack(store, name);
    if (!track) {
        free(copy);
        return -1;
    }
    track->keys = copy;
    track->keyCount = keyCount;
    track->memoValid = 0;
    return 0;
}

int syncStoreLoadAll(SyncTrackStore* store, const char* const* names, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!syncStoreGetTrack(store, names[i]))
            return -1;
    }
    return 0;
}

static bool composePath(const char* basePath, const char* name)
{
    // Refuse rather than truncate: a clipped path could name another track's file.
    size_t length = strlen(basePath) + 1 + strlen(name) + strlen(".track");
    if (length > SYNC_PATH_CAPACITY - 1)
        return false;
    strncpy(syncPath, basePath, SYNC_PATH_CAPACITY - 1);
    syncPath[SYNC_PATH_CAPACITY - 1] = '\0';
    strncat(syncPath, "_", SYNC_PATH_CAPACITY - 1);
    strncat(syncPath, name, SYNC_PATH_CAPACITY - 1);
    strncat(syncPath, ".track", SYNC_PATH_CAPACITY - 1);
    return true;
}

static bool readU32(const SyncIo& io, FILE* handle, uint32_t* out)
{
    unsigned char bytes[4];
    if (io.read(bytes, 1, 4, handle) != 4)
        return false;
    *out = (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16) | ((uint32_t)bytes[3] << 24);
    return true;
}

// Reads the count and the keys; false on a negative count, a short read or a
// failed allocation. The key array grows with the keys actually read, so a
// corrupt count can never ask for more memory than the file backs.
static bool readKeys(const SyncIo& io, FILE* handle, SyncKey** keysOut, int32_t* countOut)
{
    uint32_t bits;
    if (!readU32(io, handle, &bits))
        return false;
    int32_t count;
    memcpy(&count, &bits, sizeof(count));
    if (count < 0)
        return false;

    SyncKey* keys = nullptr;
    int32_t capacity = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (i == capacity) {
            int32_t next = capacity < 64 ? 64 : (capacity > count / 2 ? count : capacity * 2);
            if (next > count)
                next = count;
            SyncKey* grown = (SyncKey*)realloc(keys, sizeof(SyncKey) * (size_t)next);
            if (!grown) {
                free(keys);
                return false;
            }
            keys = grown;
            capacity = next;
        }
        uint32_t row;
        uint32_t value;
        signed char type;
        if (!readU32(io, handle, &row) || !readU32(io, handle, &value) || io.read(&type, 1, 1, handle) != 1) {
            free(keys);
            return false;
        }
        memcpy(&keys[i].row, &row, sizeof(row));
        memcpy(&keys[i].value, &value, sizeof(value));
        keys[i].type = (int32_t)type;
    }
    *keysOut = keys;
    *countOut = count;
    return true;
}

int syncTrackLoadFile(SyncTrackStore* store, SyncTrack* track)
{
    if (!composePath(store->basePath, track->name))
        return -1;
    FILE* handle = store->io.open(syncPath, "rb");
    if (!handle)
        return -1;

    SyncKey* keys = nullptr;
    int32_t count = 0;
    bool ok = readKeys(store->io, handle, &keys, &count);
    store->io.close(handle);
    if (!ok)
        return -1;

    free(track->keys);
    track->keys = keys;
    track->keyCount = count;
    track->memoValid = 0;
    return 0;
}

int32_t syncTrackFindKey(const SyncTrack* track, int32_t row)
{
    if (track->keyCount <= 0)
        return -1;
    int32_t lo = 0;
    int32_t hi = track->keyCount;
    while (lo < hi) {
        int32_t mid = (int32_t)(((int64_t)lo + hi) / 2);
        if (track->keys[mid].row < row)
            lo = mid + 1;
        else if (track->keys[mid].row > row)
            hi = mid;
        else
            return mid;
    }
    return lo - 1;
}

double syncTrackValue(const SyncTrack* track, double row)
{
    if (!track || track->keyCount <= 0)
        return 0.0;
    // Rows beyond int32 (and NaN) cannot be converted for the search; they lie
    // before the first or after the last key anyway.
    if (!(row >= -2147483648.0))
        return track->keys[0].value;
    if (row >= 2147483648.0)
        return track->keys[track->keyCount - 1].value;
    int32_t idx = syncTrackFindKey(track, (int32_t)floor(row));
    if (idx < 0)
        return track->keys[0].value;
    // Keys sharing a row make an interval of length zero: the last of them
    // holds that row and starts the next interval.
    while (idx < track->keyCount - 1 && track->keys[idx + 1].row == track->keys[idx].row)
        ++idx;
    if (idx > track->keyCount - 2)
        return track->keys[track->keyCount - 1].value;

    const SyncKey& k = track->keys[idx];
    const SyncKey& l = track->keys[idx + 1];
    // The row difference is taken in integers (64-bit, so extreme rows cannot
    // overflow) and the value difference in single precision.
    double t = (row - (double)k.row) / (double)((int64_t)l.row - (int64_t)k.row);
    float deltaF = l.value - k.value;
    double delta = (double)deltaF;
    double base = (double)k.value;

    switch (k.type) {
    case (int32_t)SyncKeyType::Step:
        return base;
    case (int32_t)SyncKeyType::Linear:
        return t * delta + base;
    case (int32_t)SyncKeyType::Smooth:
        return (3.0 - 2.0 * t) * (t * t) * delta + base;
    case (int32_t)SyncKeyType::Ramp:
        return pow(t, 2.0) * delta + base;
    default:
        return 0.0;
    }
}

double syncTrackValueAt(SyncTrack* track, double row)
{
    if (!track)
        return 0.0;
    // NaN never equals itself, so a NaN row is simply computed each time.
    if (track->memoValid && track->memoRow == row)
        return track->memoValue;
    track->memoValue = syncTrackValue(track, row);
    track->memoRow = row;
    track->memoValid = 1;
    return track->memoValue;
}
