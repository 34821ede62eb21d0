#pragma once

// Every track the production reads, grouped by reader. Each one has a file
// "_<name>.track" in the track directory.
enum { SYNC_TRACK_NAME_COUNT = 53 };
extern const char* const syncTrackNames[SYNC_TRACK_NAME_COUNT];
