#include "audio/AudioDevice.h"
// placeholder until the audio backend lands
bool AudioDevice::Init() { return false; }
bool AudioDevice::BuildSoundtrack(const char*, float) { return false; }
void AudioDevice::Play() {}
void AudioDevice::Stop() {}
void AudioDevice::Free() {}
bool AudioDevice::IsPlaying() { return false; }
float AudioDevice::GetPosition() { return 0.0f; }
