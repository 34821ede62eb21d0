#pragma once

struct SyncTrackStore;
class AudioDevice;

// Answers track queries by name at the row derived from the music position.
class SyncDevice {
public:
    bool Init(AudioDevice* audio);
    void Update();
    // The row for an explicit music position, for callers that drive the clock
    // themselves (offline capture, tests).
    void UpdateAt(float seconds);
    bool GetBool(const char* name);
    float GetFloat(const char* name);
    int GetInt(const char* name);
    void Destroy();

    float GetRow() const { return row; }
    // Pins the clock to a row, for tools and tests that step through the timeline.
    void SetRow(float newRow) { row = newRow; }
    // The store itself, for tools that show the keys (the studio's curves).
    SyncTrackStore* GetStore() { return store; }
    // Answers every later query from the replacement, at the same row, and
    // hands back the previous store (null before Init): the caller owns it and
    // frees it with syncStoreDestroy, when it no longer needs it. The device
    // owns the replacement from here on. For tools that reload the tracks
    // between two frames; the production never swaps.
    SyncTrackStore* SwapStore(SyncTrackStore* replacement);

private:
    float Value(const char* name);

    SyncTrackStore* store = nullptr;
    float row = 0.0f;
    AudioDevice* audio = nullptr;
};
