#include "audio/AudioDevice.h"

#include "audio/AudioBackend.h"

#include <SDL.h>

static const uint32_t kFrequency = 44100;
static const uint32_t kUpdatePeriodMs = 16;

static void logFailure(const char* line)
{
    SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "%s", line);
    SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "BASS Error Code: %i", audioErrorGetCode());
}

bool AudioDevice::Init()
{
    if (!audioInit(kAudioDefaultDevice, kFrequency, 0, nullptr, nullptr)) {
        logFailure("Failed to initialize BASS Audio Device!");
        return false;
    }
    if (!audioSetConfig(kAudioConfigUpdatePeriod, kUpdatePeriodMs)) {
        logFailure("Failed to set bass audio update period!");
        return false;
    }
    return true;
}

bool AudioDevice::BuildSoundtrack(const char* path, float tempo)
{
    stream = audioStreamCreateFile(false, path, 0, 0, kAudioStreamPrescan);
    if (stream == 0) {
        logFailure("Failed to create soundtrack in bass audio device!");
        return false;
    }
    this->tempo = tempo;
    return true;
}

void AudioDevice::Play()
{
    if (!audioChannelPlay(stream, false)) {
        logFailure("Failed to play soundtrack in bass audio!");
    }
}

void AudioDevice::Stop()
{
    if (!audioChannelStop(stream)) {
        logFailure("Failed to stop soundtrack in bass audio!");
    }
}

void AudioDevice::Free()
{
    audioFree();
}

bool AudioDevice::IsPlaying()
{
    return audioChannelIsActive(stream) == kAudioActivePlaying;
}

float AudioDevice::GetPosition()
{
    uint64_t bytes = audioChannelGetPosition(stream, kAudioPosByte);
    if (bytes == UINT64_MAX) {
        logFailure("Failed to get the soundtrack offset from bass audio!");
        return 0.0f;
    }
    double seconds = audioChannelBytes2Seconds(stream, bytes);
    if (seconds < 0.0) {
        logFailure("Failed to convert bytes to seconds in bass audio!");
        return 0.0f;
    }
    return static_cast<float>(seconds);
}
