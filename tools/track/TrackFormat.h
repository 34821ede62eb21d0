#pragma once

// The binary track file and its text source form, kept exact to the bit so
// that a file dumped to text compiles back to the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "sync/Timeline.h"

struct SyncTrackStore;

struct TrackRecord {
    int32_t row = 0;
    uint32_t valueBits = 0;  // IEEE single, kept as bits so NaN payloads and -0 survive
    uint8_t type = 0;        // the file's byte, known or not
};

struct TrackSource {
    std::string name;
    std::vector<TrackRecord> keys;
    std::string origin;  // "file:line" of its "track" line
    std::vector<int32_t> keyLines;  // the line of each key in origin's file
};

// "Camera.X" -> "_Camera.X.track"
std::string trackFileName(const std::string& name);
// "path/_Camera.X.track" -> "Camera.X"; empty when the file name has another shape.
std::string trackNameFromPath(const std::string& path);
bool isKnownTrackName(const std::string& name);
// Group.Name from letters, digits and underscores.
bool isValidTrackName(const std::string& name);
// The production's name nearest to name (letter case and up to three typed
// letters apart), or empty when none is that near.
std::string closestTrackName(const std::string& name);
// The compiler's advice on a name the production never reads; a program that
// has no --any-name puts its own advice in its place.
extern const char* const kAnyNameAdvice;

std::vector<uint8_t> encodeTrack(const std::vector<TrackRecord>& keys);
// Strict reading: adds one line per problem (truncation, trailing bytes,
// negative count, unknown types, rows not increasing). The keys that could be
// read are returned either way. unreadBytes are bytes of the file beyond
// `bytes` that were not read (see readTrackFile); they count as trailing.
bool decodeTrack(const std::vector<uint8_t>& bytes, std::vector<TrackRecord>* keys,
                 std::vector<std::string>* problems, uint64_t unreadBytes = 0);

// Control bytes (NUL among them) as \xNN, so that a message shows whole.
std::string escapeControlBytes(const std::string& text);

// Parses one source text; errors are "origin:line: message", with control
// bytes escaped.
bool parseTrackSource(const std::string& text, const std::string& origin,
                      std::vector<TrackSource>* tracks, std::vector<std::string>* errors);

// One source text held in memory, named in errors by its origin.
struct TrackText {
    std::string origin;
    std::string text;
};

// Compiles sources as `ostrel-track compile` does: parses each in turn, then
// checks across them that no name is defined twice and, unless anyName, that
// every name is one the production reads. Errors are appended as
// "file:line: message" ("file: cannot read" for an unreadable source); tracks
// receives every track in source order, or nothing when there is an error.
bool compileTrackSources(const std::vector<std::string>& sourcePaths, bool anyName, std::vector<TrackSource>* tracks,
                         std::vector<std::string>* errors);
bool compileTrackTexts(const std::vector<TrackText>& texts, bool anyName, std::vector<TrackSource>* tracks,
                       std::vector<std::string>* errors);

// Writes dir/_<name>.track for each track, in order; on failure error is
// "path: cannot write" and the tracks before it are already written.
bool writeCompiledTracks(const std::string& dir, const std::vector<TrackSource>& tracks, std::string* error);

// A store holding the tracks' keys exactly as it would read them from the
// compiled files. The production's names that the tracks leave out are read
// from basePath now, so the store touches no file once it is in use. Null when
// memory fails or a name comes twice; free it with syncStoreDestroy.
SyncTrackStore* buildStoreFromTracks(const std::vector<TrackSource>& tracks, const char* basePath);

// Text for one track, one key per line.
std::string formatTrack(const std::string& name, const std::vector<TrackRecord>& keys, bool plainRows);
// A track that decodeTrack found damaged, all as comments so that a compile
// leaves it out: the problems, then the track with the readable keys. Removing
// one '#' from each line gives a track that compiles: keys out of row order
// carry a second '#' and stay comments.
std::string formatDamagedTrack(const std::string& name, const std::vector<TrackRecord>& keys,
                               const std::vector<std::string>& problems, bool plainRows);

// A key's position as the text writes it: the timeline's bar:beat:row.
inline std::string formatPosition(int32_t row)
{
    return formatBarBeatRow(row);
}
inline bool parsePosition(const std::string& text, int32_t* row, std::string* error)
{
    return parseBarBeatRow(text, row, error);
}
std::string formatValue(uint32_t bits);
bool parseValue(const std::string& text, uint32_t* bits, std::string* error);
std::string formatType(uint8_t type);
bool parseType(const std::string& text, uint8_t* type, std::string* error);
const char* typeName(uint8_t type);  // null for unknown bytes

// dir and name with one slash between them; an empty dir leaves the name as it is.
std::string joinPath(const std::string& dir, const std::string& name);
// Text sources and other whole files: at most this much is read.
constexpr uint64_t kMaxSourceBytes = 64ull << 20;
// Reads a regular file whole; false, with the reason in why when given, for
// anything else (a FIFO, a device, a directory), a missing file or one larger
// than maxBytes.
bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes, uint64_t maxBytes = kMaxSourceBytes,
                   std::string* why = nullptr);
// Reads a track file only as far as its key count reaches, so a huge file costs
// no more than the keys it claims; *unreadBytes gets what lies beyond.
bool readTrackFile(const std::string& path, std::vector<uint8_t>* bytes, uint64_t* unreadBytes,
                   std::string* why = nullptr);
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
