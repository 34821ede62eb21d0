#include "Soundtrack.h"

#include <mpg123.h>

double SoundtrackSeconds(const char* path)
{
    mpg123_init();
    int err = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &err);
    if (!handle) return -1.0;

    double seconds = -1.0;
    long rate = 0;
    int channels = 0, encoding = 0;
    // Gapless decoding is what trims the encoder delay; ask for it explicitly.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    if (mpg123_open(handle, path) == MPG123_OK) {
        if (mpg123_scan(handle) == MPG123_OK &&
            mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
            off_t samples = mpg123_length(handle);
            if (samples > 0) seconds = (double)samples / (double)rate;
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return seconds;
}
