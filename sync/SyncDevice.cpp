#include "sync/SyncDevice.h"
// placeholder until the track store lands
bool SyncDevice::Init(AudioDevice*) { return false; }
void SyncDevice::Update() {}
void SyncDevice::UpdateAt(float) {}
bool SyncDevice::GetBool(const char*) { return false; }
float SyncDevice::GetFloat(const char*) { return 0.0f; }
int SyncDevice::GetInt(const char*) { return 0; }
void SyncDevice::Destroy() {}
