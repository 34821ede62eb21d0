#pragma once

#include <cstdint>

// The production's audio output: one output device fed by SDL's audio
// callback, and MP3 streams decoded by libmpg123 while they play.
//
// Calls come from one thread (the main thread). Decoding and mixing run on
// SDL's audio thread; the two share stream state only under the device lock.
// The output is always 16-bit signed stereo at the device frequency, and
// every stream is converted to it, so a stream's byte positions count
// 4-byte frames at that frequency.
//
// Each call sets the last error code (audioErrorGetCode): kAudioOk on
// success, otherwise one of the codes below.
enum AudioError : int {
    kAudioOk = 0,
    kAudioErrorInit = 1,          // no output device open: audioInit not called, failed, or freed
    kAudioErrorAlready = 2,       // audioInit called while a device is open
    kAudioErrorDevice = 3,        // no such output device, or SDL could not open it
    kAudioErrorFileOpen = 4,      // the file could not be opened or read
    kAudioErrorFileForm = 5,      // the data holds no playable MP3 audio
    kAudioErrorHandle = 6,        // not the handle of a live stream
    kAudioErrorIllegalParam = 7,  // an argument out of range or an unknown flag/option
    kAudioErrorNoChannel = 8,     // every stream slot is taken
    kAudioErrorMemory = 9,        // out of memory
    kAudioErrorDecoder = 10,      // the MP3 decoder could not be set up
    kAudioErrorNotAvailable = 11, // the position mode is not supported
};

// Playback states from audioChannelIsActive.
enum AudioActive : uint32_t {
    kAudioActiveStopped = 0,  // never played, stopped, or played to its last frame
    kAudioActivePlaying = 1,
    kAudioActiveStalled = 2,  // playing, but the output device has stopped consuming
};

// audioInit: -1 selects the default output device; 1..n select SDL's output
// devices in its own order.
constexpr int kAudioDefaultDevice = -1;

// audioSetConfig options.
// Milliseconds of audio per device buffer, 5..100. SDL takes power-of-two
// buffers only, so the nearest one is used: 512 frames for 16 ms at 44100 Hz.
constexpr uint32_t kAudioConfigUpdatePeriod = 1;

// audioStreamCreateFile flags. Streams are always scanned whole at creation
// for an exact length; the flag is accepted for callers that ask for it.
constexpr uint32_t kAudioStreamPrescan = 0x20000;

// audioChannelGetPosition, audioChannelSetPosition and audioChannelGetLength modes.
constexpr uint32_t kAudioPosByte = 0;
// Flag: the position handed to the device so far rather than the audible one.
constexpr uint32_t kAudioPosDecode = 0x10000000;

// Opens the output device at the given frequency in Hz (16-bit stereo). The
// flags, window and guid are accepted and ignored. Fails with
// kAudioErrorAlready, kAudioErrorIllegalParam or kAudioErrorDevice.
bool audioInit(int device, uint32_t frequency, uint32_t flags, void* window, const void* guid);

// Sets an option. The update period sizes the device buffer; changing it on an
// open device reopens the device. Fails with kAudioErrorIllegalParam, or with
// kAudioErrorDevice when the device cannot be reopened (it is then closed).
bool audioSetConfig(uint32_t option, uint32_t value);

// Creates a stream from an MP3 file (path as an 8-bit string) or, with
// fromMemory, from a block of `length` bytes at `file`, which is copied. For a
// file, `offset` bytes are skipped and `length` bytes used (0: to the end).
// The whole data is scanned now; decoding happens while it plays. Returns the
// stream handle, or 0 with kAudioErrorInit, kAudioErrorIllegalParam,
// kAudioErrorFileOpen, kAudioErrorFileForm, kAudioErrorDecoder,
// kAudioErrorMemory or kAudioErrorNoChannel.
uint32_t audioStreamCreateFile(bool fromMemory, const void* file, uint64_t offset, uint64_t length,
                               uint32_t flags);

// Releases one stream (audioFree releases them all).
bool audioStreamFree(uint32_t stream);

// Starts or resumes a stream where it stopped; with restart, from its first
// sample. Playing a stream that has played to its end leaves it stopped.
bool audioChannelPlay(uint32_t stream, bool restart);

// Stops a stream; its position holds until it plays again.
bool audioChannelStop(uint32_t stream);

// The stream's playback state (kAudioActive...); kAudioActiveStopped with
// kAudioErrorHandle for an unknown handle.
uint32_t audioChannelIsActive(uint32_t stream);

// Position of what is being heard, in bytes from the first sample: it grows
// smoothly while playing and never goes backwards between a restart, a seek or
// a loop's wrap. It is never beyond what was handed to the device and trails
// that by about a device buffer. With kAudioPosDecode, the position of the
// next frame to be handed instead, which wraps as soon as decoding does.
// Returns UINT64_MAX (-1) on failure: kAudioErrorHandle, or
// kAudioErrorNotAvailable for another mode.
uint64_t audioChannelGetPosition(uint32_t stream, uint32_t mode);

// Moves a playing or stopped stream to a byte position (kAudioPosByte only),
// rounded down to a whole frame and clamped to the length: what is handed to
// the device next is the decoded music from exactly that frame, and the
// position reads exactly that until it grows again from there. A stream moved
// to its end reports stopped once played; moved back from it, it plays again.
// Fails with kAudioErrorHandle, kAudioErrorNotAvailable, or kAudioErrorFileForm
// when the data cannot be decoded from there (the stream then stands ended).
bool audioChannelSetPosition(uint32_t stream, uint64_t position, uint32_t mode);

// Loops the stream between two byte positions, both rounded down to a frame;
// an end of 0 clears the loop. Whenever decoding reaches `end` from below it
// goes on at `start` without a gap: the frame before `end` is followed by the
// frame at `start`. The heard position wraps when the wrap is heard. A stream
// already past `end` is not pulled back: it plays on (and ends) unless a seek
// brings it before `end`. The loop stays across seeks and restarts. Fails with
// kAudioErrorHandle, or kAudioErrorIllegalParam unless start < end <= length.
bool audioChannelSetLoop(uint32_t stream, uint64_t start, uint64_t end);

// The stream's length in bytes (kAudioPosByte only), exact for a well-formed
// file; for a damaged one, an estimate from its frames until decoding has met
// its real end. Returns UINT64_MAX (-1) on failure: kAudioErrorHandle or
// kAudioErrorNotAvailable.
uint64_t audioChannelGetLength(uint32_t stream, uint32_t mode);

// Converts a byte position of the stream to seconds; negative on failure.
double audioChannelBytes2Seconds(uint32_t stream, uint64_t position);

// The error code of the last call.
int audioErrorGetCode();

// Closes the device and releases every stream.
bool audioFree();
