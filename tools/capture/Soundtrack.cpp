#include "Soundtrack.h"

#include <mpg123.h>

#include <cstdint>

#include "engine/FileAccess.h"

namespace {

// A gapless decoder over a regular file (a FIFO would block mpg123's own
// open); null when either cannot be had. CloseDecoder releases both.
mpg123_handle* OpenDecoder(const char* path, FILE** file)
{
    mpg123_init();
    *file = openRegularFile(path);
    if (*file == nullptr) return nullptr;
    int err = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &err);
    // Gapless decoding is what trims the encoder delay; ask for it explicitly.
    if (handle != nullptr) mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    if (handle == nullptr || mpg123_open_fd(handle, fileno(*file)) != MPG123_OK) {
        if (handle != nullptr) mpg123_delete(handle);
        fclose(*file);
        *file = nullptr;
        return nullptr;
    }
    return handle;
}

void CloseDecoder(mpg123_handle* handle, FILE* file)
{
    mpg123_close(handle);
    mpg123_delete(handle);
    fclose(file);
}

}  // namespace

double SoundtrackSeconds(const char* path)
{
    FILE* file = nullptr;
    mpg123_handle* handle = OpenDecoder(path, &file);
    if (!handle) return -1.0;
    double seconds = -1.0;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_scan(handle) == MPG123_OK && mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK &&
        rate > 0) {
        off_t samples = mpg123_length(handle);
        if (samples > 0) seconds = (double)samples / (double)rate;
    }
    CloseDecoder(handle, file);
    return seconds;
}

bool SoundtrackPeaks(const char* path, double framesPerPeak, std::vector<float>* peaks)
{
    peaks->clear();
    if (!(framesPerPeak >= 1.0)) return false;
    FILE* file = nullptr;
    mpg123_handle* handle = OpenDecoder(path, &file);
    if (!handle) return false;
    bool ok = false;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && channels > 0) {
        mpg123_format_none(handle);
        mpg123_format(handle, rate, channels, MPG123_ENC_SIGNED_16);
        short buffer[8192];
        size_t got = 0;
        uint64_t frame = 0;
        float peak = 0.0f;
        double next = framesPerPeak;
        int result;
        do {
            result = mpg123_read(handle, (unsigned char*)buffer, sizeof buffer, &got);
            size_t samples = got / sizeof(short);
            for (size_t i = 0; i < samples; ++i) {
                float v = buffer[i] < 0 ? -(float)buffer[i] / 32768.0f : (float)buffer[i] / 32767.0f;
                peak = v > peak ? v : peak;
                if ((i + 1) % (size_t)channels != 0) continue;
                if ((double)++frame >= next) {
                    peaks->push_back(peak);
                    peak = 0.0f;
                    next += framesPerPeak;
                }
            }
        } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
        if (peak > 0.0f) peaks->push_back(peak);
        ok = result == MPG123_DONE && !peaks->empty();
    }
    CloseDecoder(handle, file);
    return ok;
}
