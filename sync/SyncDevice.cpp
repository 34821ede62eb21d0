#include "sync/SyncDevice.h"

#include <cmath>
#include <cstdint>

#include "audio/AudioDevice.h"
#include "sync/SyncTrackStore.h"
#include "sync/Timeline.h"

bool SyncDevice::Init(AudioDevice* audioDevice)
{
    syncStoreDestroy(store);
    store = syncStoreCreate("../res/sync/");
    audio = audioDevice;
    return store != nullptr && audio != nullptr;
}

void SyncDevice::Update()
{
    if (!audio)
        return;
    float tempo = audio->GetTempo();
    float seconds = audio->GetPosition();
    row = rowAtSeconds(seconds, tempo);
}

void SyncDevice::UpdateAt(float seconds)
{
    if (!audio)
        return;
    row = rowAtSeconds(seconds, audio->GetTempo());
}

SyncTrackStore* SyncDevice::SwapStore(SyncTrackStore* replacement)
{
    SyncTrackStore* previous = store;
    store = replacement;
    return previous;
}

float SyncDevice::Value(const char* name)
{
    if (!store)
        return 0.0f;
    return (float)syncTrackValueAt(syncStoreGetTrack(store, name), (double)row);
}

bool SyncDevice::GetBool(const char* name)
{
    return Value(name) > 0.0f;
}

float SyncDevice::GetFloat(const char* name)
{
    return Value(name);
}

int SyncDevice::GetInt(const char* name)
{
    float floored = floorf(Value(name));
    // Keep the conversion defined for NaN and values beyond int32.
    if (!(floored >= -2147483648.0f))
        return floored != floored ? 0 : INT32_MIN;
    if (floored >= 2147483648.0f)
        return INT32_MAX;
    return (int)floored;
}

void SyncDevice::Destroy()
{
    syncStoreDestroy(store);
    store = nullptr;
}
