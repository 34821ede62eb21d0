#pragma once

#include <SDL.h>
#include <mpg123.h>

#include <cstddef>
#include <cstdint>

// One stream's MP3 data, held whole in memory, decoded by libmpg123 at the
// data's own rate and converted to 16-bit stereo at the device rate. Positions
// are frames at the device rate. Once its stream is shared with the audio
// thread, a decoder is used only under the device lock.

constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 4;  // 16-bit stereo

// The compressed data, read by libmpg123 through its own cursor.
struct MemoryReader {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

struct AudioDecoder {
    mpg123_handle* handle = nullptr;
    SDL_AudioStream* converter = nullptr;  // data rate -> device rate
    unsigned char* data = nullptr;         // the whole compressed file
    size_t size = 0;
    MemoryReader reader;
    int frequency = 0;     // the device's rate
    int rate = 0;          // the data's rate
    bool ended = false;    // decoding met the end of the data (or an error)
    bool drained = false;  // ended, and every frame up to the length handed out
    uint64_t decoded = 0;  // the decoder's position, at the data's rate
    uint64_t length = 0;   // frames: from the scan, exact once decoding ends
    int16_t buffer[4096];  // one read from the decoder: 8 KiB
};

// Reads the MP3 data (a file, or `length` bytes at `file` fromMemory, copied)
// and scans it whole for its rate and length. Returns kAudioOk or the error
// code of audioStreamCreateFile; decoderClose releases what was made either way.
int decoderOpen(AudioDecoder* decoder, bool fromMemory, const void* file, uint64_t offset, uint64_t length,
                int frequency);
void decoderClose(AudioDecoder* decoder);

// Fills `out` with up to `frames` frames of the music from stream position
// `cursor` on, which must follow the last frame read or sought; returns how
// many. Fewer only at the end of the music, which then sets `drained`.
int decoderRead(AudioDecoder* decoder, uint64_t cursor, int16_t* out, int frames);

// Makes `position` (at most the length) the next frame read, dropping what was
// decoded beyond the last read. False when the data cannot be decoded from
// there: the decoder then stands drained.
bool decoderSeek(AudioDecoder* decoder, uint64_t position);
