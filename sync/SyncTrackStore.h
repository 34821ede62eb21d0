#pragma once

// Key-framed tracks read lazily from one small binary file per track, or
// added whole by a tool that holds their keys already. A plain module:
// structures with public fields, free functions, the C allocator, status
// codes 0 (success) and -1 (failure), and no log output.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// How the value runs from a key to the next one. Files may hold any other
// number; such an interval reads 0.0.
enum class SyncKeyType : int32_t {
    Step = 0,
    Linear = 1,
    Smooth = 2,
    Ramp = 3,
};

struct SyncKey {
    int32_t row;
    float value;
    int32_t type;  // a SyncKeyType, sign-extended from the file's byte
};

struct SyncTrack {
    char* name;
    SyncKey* keys;  // null until a file has been read
    int32_t keyCount;
    // The last value syncTrackValueAt answered and its row; every object of a
    // kind reads the same track at the same row, frame after frame.
    int32_t memoValid;
    double memoRow;
    double memoValue;
};

// File access, replaceable so that tools and tests can watch or redirect it.
struct SyncIo {
    FILE* (*open)(const char* path, const char* mode);
    size_t (*read)(void* destination, size_t size, size_t count, FILE* handle);
    int (*close)(FILE* handle);
};

struct SyncTrackStore {
    char* basePath;
    SyncTrack** tracks;  // in order of first request
    int32_t trackCount;
    SyncIo io;
    // Open-addressed index of tracks by a hash of the name, so that a lookup
    // costs the same for every name; -1 marks a free slot. Null (with a linear
    // search instead) when memory for it could not be had.
    int32_t* slots;
    int32_t slotCount;  // a power of two, more than twice trackCount
};

// The path buffer holds 259 characters and the terminator.
enum { SYNC_PATH_CAPACITY = 260 };

SyncTrackStore* syncStoreCreate(const char* basePath);
void syncStoreDestroy(SyncTrackStore* store);

// Finds or creates the named track, reading its file on the first request.
// Null only when memory for a new track cannot be had.
SyncTrack* syncStoreGetTrack(SyncTrackStore* store, const char* name);
int32_t syncStoreFindTrack(const SyncTrackStore* store, const char* name);

// Adds a track holding a copy of the keys (rows strictly increasing), without
// reading any file; the caller keeps its array. -1, with the store unchanged,
// when the name is already there, the count is negative or memory fails.
int syncStoreAddTrack(SyncTrackStore* store, const char* name, const SyncKey* keys, int32_t keyCount);

// Requests every name now, as syncStoreGetTrack does, so that a store reads
// its files before it is put to use rather than while frames render. Names
// already present are left as they are. -1 when memory for a track fails;
// the names before it stay requested.
int syncStoreLoadAll(SyncTrackStore* store, const char* const* names, int32_t count);

// Reads the track's file; on any failure the track is left without keys.
int syncTrackLoadFile(SyncTrackStore* store, SyncTrack* track);

// Index of the key at or before the row, -1 when the row precedes every key.
int32_t syncTrackFindKey(const SyncTrack* track, int32_t row);

// Interpolated value at a fractional row; 0.0 for a keyless or null track.
// Where several keys share a row, the last of them is the value there.
double syncTrackValue(const SyncTrack* track, double row);
// The same value, remembered for the row: asked again at the same row, the
// track answers without searching its keys. The store forgets it whenever it
// gives the track new keys.
double syncTrackValueAt(SyncTrack* track, double row);
