#include "audio/AudioDevice.h"

#include "audio/AudioBackend.h"

#include <SDL.h>

#include <cmath>

static const uint32_t kFrequency = 44100;
static const uint32_t kUpdatePeriodMs = 16;

static void logFailure(const char* line)
{
    SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "%s", line);
    SDL_LogError(SDL_LOG_CATEGORY_SYSTEM, "BASS Error Code: %i", audioErrorGetCode());
}

// Byte position of the frame nearest `seconds`; times before the start give
// the start, and times too large for the count give the most it holds (the
// backend clamps to the length).
static uint64_t bytesOf(double seconds)
{
    const double frames = std::floor(seconds * kFrequency + 0.5);
    if (!(frames > 0.0)) {
        return 0;
    }
    const double most = static_cast<double>(UINT64_MAX / 4 / 2);
    return static_cast<uint64_t>(frames < most ? frames : most) * 4;
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

bool AudioDevice::SetPosition(double seconds)
{
    if (!audioChannelSetPosition(stream, bytesOf(seconds), kAudioPosByte)) {
        logFailure("Failed to set the soundtrack position in bass audio!");
        return false;
    }
    return true;
}

bool AudioDevice::SetLoop(double startSeconds, double endSeconds)
{
    if (!audioChannelSetLoop(stream, bytesOf(startSeconds), bytesOf(endSeconds))) {
        logFailure("Failed to set the soundtrack loop in bass audio!");
        return false;
    }
    return true;
}

void AudioDevice::ClearLoop()
{
    if (!audioChannelSetLoop(stream, 0, 0)) {
        logFailure("Failed to set the soundtrack loop in bass audio!");
    }
}

double AudioDevice::GetLength()
{
    uint64_t bytes = audioChannelGetLength(stream, kAudioPosByte);
    if (bytes == UINT64_MAX) {
        logFailure("Failed to get the soundtrack length from bass audio!");
        return -1.0;
    }
    return audioChannelBytes2Seconds(stream, bytes);
}
