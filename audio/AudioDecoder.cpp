#include "audio/AudioDecoder.h"

#include "audio/AudioBackend.h"
#include "engine/FileAccess.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The converter holds back the tail of its filter even when flushed, so the end
// of the music is pushed through with this much silence and cut at its length.
constexpr int kTailFrames = 4096;

mpg123_ssize_t readMemory(void* handle, void* buffer, size_t bytes)
{
    MemoryReader* r = static_cast<MemoryReader*>(handle);
    size_t left = r->size - r->pos;
    size_t n = bytes < left ? bytes : left;
    memcpy(buffer, r->data + r->pos, n);
    r->pos += n;
    return static_cast<mpg123_ssize_t>(n);
}

off_t seekMemory(void* handle, off_t offset, int whence)
{
    MemoryReader* r = static_cast<MemoryReader*>(handle);
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<off_t>(r->pos);
    } else if (whence == SEEK_END) {
        base = static_cast<off_t>(r->size);
    } else if (whence != SEEK_SET) {
        return -1;
    }
    off_t target = base + offset;
    if (target < 0 || target > static_cast<off_t>(r->size)) {
        return -1;
    }
    r->pos = static_cast<size_t>(target);
    return target;
}

// Frames at the device rate for `samples` at the data's rate, rounded.
uint64_t deviceFrames(const AudioDecoder* d, uint64_t samples)
{
    return (samples * static_cast<uint64_t>(d->frequency) + static_cast<uint64_t>(d->rate / 2)) /
           static_cast<uint64_t>(d->rate);
}

// Reads the whole input into memory so that the audio thread never waits on
// the file system.
int loadData(AudioDecoder* d, bool fromMemory, const void* file, uint64_t offset, uint64_t length)
{
    if (fromMemory) {
        if (!file || length == 0 || length > SIZE_MAX) {
            return kAudioErrorIllegalParam;
        }
        d->data = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
        if (!d->data) {
            return kAudioErrorMemory;
        }
        memcpy(d->data, file, static_cast<size_t>(length));
        d->size = static_cast<size_t>(length);
        return kAudioOk;
    }
    if (!file) {
        return kAudioErrorFileOpen;
    }
    FILE* f = openRegularFile(static_cast<const char*>(file));
    if (!f) {
        return kAudioErrorFileOpen;
    }
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode)) {
        fclose(f);
        return kAudioErrorFileOpen;
    }
    bool ok = fseeko(f, 0, SEEK_END) == 0;
    off_t end = ok ? ftello(f) : -1;
    if (end < 0 || offset > static_cast<uint64_t>(end) || fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) {
        fclose(f);
        return kAudioErrorFileOpen;
    }
    uint64_t available = static_cast<uint64_t>(end) - offset;
    uint64_t wanted = length == 0 || length > available ? available : length;
    if (wanted == 0) {
        fclose(f);
        return kAudioErrorFileForm;
    }
    if (wanted > SIZE_MAX) {
        fclose(f);
        return kAudioErrorMemory;
    }
    d->data = static_cast<unsigned char*>(malloc(static_cast<size_t>(wanted)));
    if (!d->data) {
        fclose(f);
        return kAudioErrorMemory;
    }
    d->size = fread(d->data, 1, static_cast<size_t>(wanted), f);
    fclose(f);
    return d->size == wanted ? kAudioOk : kAudioErrorFileOpen;
}

// A decoder over `reader` giving 16-bit stereo at the data's own rate, or null
// with `error` set.
mpg123_handle* newDecoder(MemoryReader* reader, int* error)
{
    int err = MPG123_OK;
    mpg123_handle* decoder = mpg123_new(nullptr, &err);
    if (!decoder) {
        *error = kAudioErrorDecoder;
        return nullptr;
    }
    // Gapless keeps sample 0 the first sample of the music; quiet keeps the
    // library from writing to stderr; mono comes out on both channels.
    const long flags = MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_STEREO;
    bool ok = mpg123_param(decoder, MPG123_ADD_FLAGS, flags, 0.0) == MPG123_OK &&
              mpg123_param(decoder, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0) == MPG123_OK &&
              mpg123_format_none(decoder) == MPG123_OK;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; ok && i < count; ++i) {
        ok = mpg123_format(decoder, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    }
    ok = ok && mpg123_replace_reader_handle(decoder, readMemory, seekMemory, nullptr) == MPG123_OK;
    if (!ok) {
        mpg123_delete(decoder);
        *error = kAudioErrorDecoder;
        return nullptr;
    }
    reader->pos = 0;
    if (mpg123_open_handle(decoder, reader) != MPG123_OK) {
        mpg123_delete(decoder);
        *error = kAudioErrorFileForm;
        return nullptr;
    }
    return decoder;
}

// Opens the decoder; gives the data's rate and its length in samples at that
// rate as the scan finds it.
int openDecoder(AudioDecoder* d, long* rate, off_t* samples)
{
    d->reader.data = d->data;
    d->reader.size = d->size;
    // The whole data is scanned by a decoder of its own: after a scan,
    // libmpg123 loses the gapless start of a file shorter than its header says.
    int error = kAudioOk;
    mpg123_handle* scanner = newDecoder(&d->reader, &error);
    if (!scanner) {
        return error;
    }
    int channels = 0;
    int encoding = 0;
    bool playable = mpg123_scan(scanner) == MPG123_OK && mpg123_length(scanner) > 0 &&
                    mpg123_getformat(scanner, rate, &channels, &encoding) == MPG123_OK && *rate > 0;
    *samples = playable ? mpg123_length(scanner) : 0;
    mpg123_delete(scanner);
    if (!playable) {
        return kAudioErrorFileForm;
    }
    d->handle = newDecoder(&d->reader, &error);
    if (!d->handle) {
        return error;
    }
    long decodeRate = 0;
    if (mpg123_getformat(d->handle, &decodeRate, &channels, &encoding) != MPG123_OK || decodeRate != *rate ||
        channels != kChannels || encoding != MPG123_ENC_SIGNED_16) {
        return kAudioErrorFileForm;
    }
    return kAudioOk;
}

}  // namespace

int decoderOpen(AudioDecoder* d, bool fromMemory, const void* file, uint64_t offset, uint64_t length, int frequency)
{
    d->frequency = frequency;
    long rate = 0;
    off_t samples = 0;
    int error = loadData(d, fromMemory, file, offset, length);
    if (error == kAudioOk) {
        error = openDecoder(d, &rate, &samples);
    }
    if (error != kAudioOk) {
        return error;
    }
    d->rate = static_cast<int>(rate);
    d->length = deviceFrames(d, static_cast<uint64_t>(samples));
    d->converter = SDL_NewAudioStream(AUDIO_S16SYS, kChannels, d->rate, AUDIO_S16SYS, kChannels, frequency);
    return d->converter ? kAudioOk : kAudioErrorMemory;
}

void decoderClose(AudioDecoder* d)
{
    if (d->handle) {
        mpg123_delete(d->handle);
        d->handle = nullptr;
    }
    if (d->converter) {
        SDL_FreeAudioStream(d->converter);
        d->converter = nullptr;
    }
    free(d->data);
    d->data = nullptr;
}

int decoderRead(AudioDecoder* d, uint64_t cursor, int16_t* out, int frames)
{
    int wanted = frames * kBytesPerFrame;
    // A decoder that keeps returning nothing must not spin the audio thread.
    for (int guard = 0; guard < 64 && !d->ended && SDL_AudioStreamAvailable(d->converter) < wanted; ++guard) {
        size_t done = 0;
        int result = mpg123_read(d->handle, d->buffer, sizeof d->buffer, &done);
        if (done > 0 && SDL_AudioStreamPut(d->converter, d->buffer, static_cast<int>(done)) != 0) {
            result = MPG123_ERR;
        }
        d->decoded += done / kBytesPerFrame;
        if (result != MPG123_OK) {
            // The end of the data, a decoding error, or a change of sample rate
            // mid-stream all end the stream here.
            d->ended = true;
            d->length = deviceFrames(d, d->decoded);
            memset(d->buffer, 0, sizeof d->buffer);
            for (int tail = 0; tail < kTailFrames; tail += static_cast<int>(sizeof d->buffer) / kBytesPerFrame) {
                SDL_AudioStreamPut(d->converter, d->buffer, sizeof d->buffer);
            }
            SDL_AudioStreamFlush(d->converter);
        }
    }
    if (d->ended) {
        uint64_t left = d->length > cursor ? d->length - cursor : 0;
        if (left < static_cast<uint64_t>(frames)) {
            wanted = static_cast<int>(left) * kBytesPerFrame;
        }
    }
    int got = wanted > 0 ? SDL_AudioStreamGet(d->converter, out, wanted) : 0;
    int gotFrames = got > 0 ? got / kBytesPerFrame : 0;
    if (d->ended && (cursor + static_cast<uint64_t>(gotFrames) >= d->length ||
                     SDL_AudioStreamAvailable(d->converter) < kBytesPerFrame)) {
        d->drained = true;
    }
    return gotFrames;
}

bool decoderSeek(AudioDecoder* d, uint64_t position)
{
    SDL_AudioStreamClear(d->converter);
    d->ended = false;
    d->drained = false;
    if (position < d->length) {
        // Rounded to the nearest decoder sample when the rates differ.
        uint64_t sample = (position * static_cast<uint64_t>(d->rate) + static_cast<uint64_t>(d->frequency / 2)) /
                          static_cast<uint64_t>(d->frequency);
        off_t at = mpg123_seek(d->handle, static_cast<off_t>(sample), SEEK_SET);
        if (at >= 0) {
            d->decoded = static_cast<uint64_t>(at);
            return true;
        }
    }
    d->ended = true;
    d->drained = true;
    return position >= d->length;
}
