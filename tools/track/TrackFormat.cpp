#include "TrackFormat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "ReplaceFiles.h"
#include "engine/FileAccess.h"
#include "sync/SyncTrackNames.h"
#include "sync/SyncTrackStore.h"

std::string trackFileName(const std::string& name)
{
    return "_" + name + ".track";
}

std::string trackNameFromPath(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string suffix = ".track";
    if (base.size() <= 1 + suffix.size() || base[0] != '_' ||
        base.compare(base.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::string();
    return base.substr(1, base.size() - 1 - suffix.size());
}

bool isKnownTrackName(const std::string& name)
{
    for (const char* known : syncTrackNames) {
        if (name == known)
            return true;
    }
    return false;
}

bool isValidTrackName(const std::string& name)
{
    size_t dot = name.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() || name.find('.', dot + 1) != std::string::npos)
        return false;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

std::string closestTrackName(const std::string& name)
{
    std::string best;
    size_t bestDistance = 4;
    for (const char* known : syncTrackNames) {
        // Edit distance, letter case ignored.
        std::string other = known;
        std::vector<size_t> row(other.size() + 1);
        for (size_t j = 0; j <= other.size(); ++j)
            row[j] = j;
        for (size_t i = 1; i <= name.size(); ++i) {
            size_t diagonal = row[0];
            row[0] = i;
            for (size_t j = 1; j <= other.size(); ++j) {
                size_t above = row[j];
                bool same = tolower((unsigned char)name[i - 1]) == tolower((unsigned char)other[j - 1]);
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row[other.size()] < bestDistance) {
            bestDistance = row[other.size()];
            best = other;
        }
    }
    return best;
}

const char* const kAnyNameAdvice = "--any-name allows it";

static void putU32(std::vector<uint8_t>* out, uint32_t v)
{
    out->push_back((uint8_t)(v & 0xFF));
    out->push_back((uint8_t)((v >> 8) & 0xFF));
    out->push_back((uint8_t)((v >> 16) & 0xFF));
    out->push_back((uint8_t)((v >> 24) & 0xFF));
}

static uint32_t getU32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

std::vector<uint8_t> encodeTrack(const std::vector<TrackRecord>& keys)
{
    std::vector<uint8_t> out;
    out.reserve(4 + 9 * keys.size());
    putU32(&out, (uint32_t)keys.size());
    for (const TrackRecord& key : keys) {
        putU32(&out, (uint32_t)key.row);
        putU32(&out, key.valueBits);
        out.push_back(key.type);
    }
    return out;
}

bool decodeTrack(const std::vector<uint8_t>& bytes, std::vector<TrackRecord>* keys, std::vector<std::string>* problems,
                 uint64_t unreadBytes)
{
    keys->clear();
    size_t before = problems->size();
    if (bytes.size() < 4) {
        problems->push_back("truncated: " + std::to_string(bytes.size()) + " bytes, too short for the key count");
        return false;
    }
    int32_t count = (int32_t)getU32(bytes.data());
    if (count < 0) {
        problems->push_back("negative key count " + std::to_string(count));
        return false;
    }
    size_t room = (bytes.size() - 4) / 9;
    if ((size_t)count > room) {
        problems->push_back("truncated: key count " + std::to_string(count) + " but room for " + std::to_string(room) +
                            " keys in " + std::to_string(bytes.size()) + " bytes");
    } else if (bytes.size() + unreadBytes != 4 + 9 * (uint64_t)count) {
        problems->push_back(std::to_string(bytes.size() + unreadBytes - 4 - 9 * (uint64_t)count) +
                            " trailing bytes after key " + std::to_string(count));
    }
    size_t readable = (size_t)count < room ? (size_t)count : room;
    for (size_t i = 0; i < readable; ++i) {
        const uint8_t* p = bytes.data() + 4 + 9 * i;
        TrackRecord key;
        key.row = (int32_t)getU32(p);
        key.valueBits = getU32(p + 4);
        key.type = p[8];
        if (!typeName(key.type))
            problems->push_back("key " + std::to_string(i) + " at row " + std::to_string(key.row) +
                                ": unknown type " + std::to_string(key.type));
        if (i > 0 && key.row <= keys->back().row)
            problems->push_back("key " + std::to_string(i) + ": row " + std::to_string(key.row) +
                                " does not follow row " + std::to_string(keys->back().row));
        keys->push_back(key);
    }
    return problems->size() == before;
}

const char* typeName(uint8_t type)
{
    switch (type) {
    case 0: return "step";
    case 1: return "linear";
    case 2: return "smooth";
    case 3: return "ramp";
    default: return nullptr;
    }
}

std::string formatType(uint8_t type)
{
    const char* name = typeName(type);
    return name ? std::string(name) : std::to_string(type);
}

static std::string lowerCase(const std::string& text)
{
    std::string lower;
    for (char c : text)
        lower += (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    return lower;
}

// True when the digits before any exponent include one that is not 0.
static bool hasNonZeroDigit(const std::string& text)
{
    for (char c : text) {
        if (c == 'e' || c == 'E')
            break;
        if (c >= '1' && c <= '9')
            return true;
    }
    return false;
}

static bool parseInteger(const std::string& text, long long* out)
{
    if (text.empty())
        return false;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size() || text.size() - i > 12)
        return false;
    for (size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            return false;
    }
    *out = strtoll(text.c_str(), nullptr, 10);
    return true;
}

bool parseType(const std::string& text, uint8_t* type, std::string* error)
{
    std::string lower = lowerCase(text);
    for (uint8_t t = 0; t < 4; ++t) {
        if (lower == typeName(t)) {
            *type = t;
            return true;
        }
    }
    long long number;
    if (parseInteger(text, &number) && number >= -128 && number <= 255) {
        *type = (uint8_t)(number & 0xFF);
        return true;
    }
    *error = "unknown interpolation '" + text + "' (step, linear, smooth, ramp or a byte 0..255)";
    return false;
}

static float bitsToFloat(uint32_t bits)
{
    float f;
    memcpy(&f, &bits, sizeof(f));
    return f;
}

static uint32_t floatToBits(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, sizeof(bits));
    return bits;
}

std::string formatValue(uint32_t bits)
{
    float f = bitsToFloat(bits);
    char text[64];
    if (std::isnan(f)) {
        snprintf(text, sizeof(text), "raw:0x%08X", bits);
        return text;
    }
    if (std::isinf(f))
        return f > 0 ? "inf" : "-inf";
    // The shortest decimal that reads back to the same bits, in plain notation
    // where that stays readable.
    double magnitude = std::fabs((double)f);
    if (magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e9)) {
        for (int decimals = 0; decimals <= 20; ++decimals) {
            snprintf(text, sizeof(text), "%.*f", decimals, (double)f);
            if (floatToBits(strtof(text, nullptr)) == bits)
                return text;
        }
    }
    for (int digits = 1; digits <= 9; ++digits) {
        snprintf(text, sizeof(text), "%.*g", digits, (double)f);
        if (floatToBits(strtof(text, nullptr)) == bits)
            return text;
    }
    snprintf(text, sizeof(text), "raw:0x%08X", bits);
    return text;
}

bool parseValue(const std::string& text, uint32_t* bits, std::string* error)
{
    if (text.compare(0, 4, "raw:") == 0) {
        std::string hex = text.substr(4);
        if (hex.compare(0, 2, "0x") == 0 || hex.compare(0, 2, "0X") == 0)
            hex = hex.substr(2);
        bool ok = !hex.empty() && hex.size() <= 8;
        for (char c : hex)
            ok = ok && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
        if (!ok) {
            *error = "bad raw value '" + text + "' (raw:0x followed by up to 8 hex digits)";
            return false;
        }
        *bits = (uint32_t)strtoul(hex.c_str(), nullptr, 16);
        return true;
    }
    // A bare NaN is the quiet NaN with the sign as written; any payload needs
    // raw: so that the bits are the ones the text shows.
    std::string lower = lowerCase(text);
    if (lower == "nan" || lower == "+nan" || lower == "-nan") {
        *bits = text[0] == '-' ? 0xFFC00000u : 0x7FC00000u;
        return true;
    }
    // Decimal only: hexadecimal floats are refused so that "0x10" is not taken
    // for 16, and "nan(...)" so that strtof's payload rules never decide bits.
    bool ok = !text.empty() && text.find_first_of("xXpP(") == std::string::npos &&
              lower.find("nan") == std::string::npos;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    float f = ok ? strtof(begin, &end) : 0.0f;
    if (!ok || end != begin + text.size()) {
        *error = "bad value '" + text + "' (a decimal number, inf, -inf, nan or raw:0xXXXXXXXX)";
        return false;
    }
    if (errno == ERANGE && std::isinf(f)) {
        *error = "value '" + text + "' is beyond single precision (largest 3.4028235e38)";
        return false;
    }
    // A number too small for single precision reads as zero; that is not the
    // number written, so it is refused like one too large.
    if (f == 0.0f && hasNonZeroDigit(text)) {
        *error = "value '" + text + "' is too small for single precision (smallest 1e-45); write 0 for zero";
        return false;
    }
    *bits = floatToBits(f);
    return true;
}

static std::vector<std::string> splitWords(const std::string& line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::string escapeControlBytes(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char byte = (unsigned char)c;
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
            continue;
        }
        char escaped[8];
        snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
        out += escaped;
    }
    return out;
}

bool parseTrackSource(const std::string& text, const std::string& origin, std::vector<TrackSource>* tracks,
                      std::vector<std::string>* errors)
{
    size_t errorsBefore = errors->size();
    TrackSource* current = nullptr;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (start > text.size() && line.empty())
            break;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::vector<std::string> words = splitWords(line);
        if (words.empty())
            continue;
        std::string where = origin + ":" + std::to_string(lineNumber) + ": ";

        if (words[0] == "track") {
            if (words.size() != 2) {
                errors->push_back(where + "expected 'track Group.Name'");
                current = nullptr;
                continue;
            }
            if (!isValidTrackName(words[1])) {
                errors->push_back(where + "bad track name '" + words[1] +
                                  "' (Group.Name from letters, digits and underscores)");
                current = nullptr;
                continue;
            }
            tracks->push_back(TrackSource());
            current = &tracks->back();
            current->name = words[1];
            current->origin = origin + ":" + std::to_string(lineNumber);
            continue;
        }

        if (!current) {
            errors->push_back(where + "key outside a track (start one with 'track Group.Name')");
            continue;
        }
        if (words.size() < 2 || words.size() > 3) {
            errors->push_back(where + "expected 'position value [interpolation]'");
            continue;
        }
        TrackRecord key;
        std::string error;
        if (!parsePosition(words[0], &key.row, &error) || !parseValue(words[1], &key.valueBits, &error) ||
            (words.size() == 3 && !parseType(words[2], &key.type, &error))) {
            errors->push_back(where + error);
            continue;
        }
        if (!current->keys.empty() && key.row <= current->keys.back().row) {
            errors->push_back(where + "row " + std::to_string(key.row) + " (" + words[0] +
                              ") does not follow the previous key's row " + std::to_string(current->keys.back().row));
            continue;
        }
        current->keys.push_back(key);
        current->keyLines.push_back((int32_t)lineNumber);
    }
    // The words quoted in messages are the source's own bytes; a NUL or a
    // control byte among them would cut the line short or garble a terminal.
    for (size_t i = errorsBefore; i < errors->size(); ++i)
        (*errors)[i] = escapeControlBytes((*errors)[i]);
    return errors->size() == errorsBefore;
}

// Appends an error for each name defined twice and, unless anyName, each name
// the production never reads; on any error so far the tracks are dropped.
static bool checkAcrossSources(bool anyName, size_t errorsBefore, std::vector<TrackSource>* tracks,
                               std::vector<std::string>* errors)
{
    std::map<std::string, std::string> seen;
    for (const TrackSource& track : *tracks) {
        auto previous = seen.find(track.name);
        if (previous != seen.end())
            errors->push_back(track.origin + ": track " + track.name + " already defined at " + previous->second);
        else
            seen[track.name] = track.origin;
        if (!anyName && !isKnownTrackName(track.name))
            errors->push_back(track.origin + ": unknown track name " + track.name +
                              " (the production never reads it; " + kAnyNameAdvice + ")");
    }
    if (errors->size() == errorsBefore)
        return true;
    tracks->clear();
    return false;
}

bool compileTrackSources(const std::vector<std::string>& sourcePaths, bool anyName, std::vector<TrackSource>* tracks,
                         std::vector<std::string>* errors)
{
    size_t errorsBefore = errors->size();
    tracks->clear();
    for (const std::string& path : sourcePaths) {
        std::vector<uint8_t> bytes;
        std::string why;
        if (!readWholeFile(path, &bytes, kMaxSourceBytes, &why)) {
            errors->push_back(path + ": cannot read (" + why + ")");
            continue;
        }
        parseTrackSource(std::string(bytes.begin(), bytes.end()), path, tracks, errors);
    }
    return checkAcrossSources(anyName, errorsBefore, tracks, errors);
}

bool compileTrackTexts(const std::vector<TrackText>& texts, bool anyName, std::vector<TrackSource>* tracks,
                       std::vector<std::string>* errors)
{
    size_t errorsBefore = errors->size();
    tracks->clear();
    for (const TrackText& source : texts)
        parseTrackSource(source.text, source.origin, tracks, errors);
    return checkAcrossSources(anyName, errorsBefore, tracks, errors);
}

bool writeCompiledTracks(const std::string& dir, const std::vector<TrackSource>& tracks, std::string* error)
{
    std::vector<std::string> paths;
    std::vector<std::vector<uint8_t>> contents;
    for (const TrackSource& track : tracks) {
        paths.push_back(joinPath(dir, trackFileName(track.name)));
        contents.push_back(encodeTrack(track.keys));
    }
    return writeFilesReplacing(paths, contents, error);
}

SyncTrackStore* buildStoreFromTracks(const std::vector<TrackSource>& tracks, const char* basePath)
{
    SyncTrackStore* store = syncStoreCreate(basePath);
    if (!store)
        return nullptr;
    std::vector<SyncKey> keys;
    for (const TrackSource& track : tracks) {
        keys.resize(track.keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            const TrackRecord& record = track.keys[i];
            keys[i].row = record.row;
            memcpy(&keys[i].value, &record.valueBits, sizeof(keys[i].value));
            // The loader reads the type byte as a signed char.
            keys[i].type = (int32_t)(signed char)record.type;
        }
        if (syncStoreAddTrack(store, track.name.c_str(), keys.data(), (int32_t)keys.size()) != 0) {
            syncStoreDestroy(store);
            return nullptr;
        }
    }
    if (syncStoreLoadAll(store, syncTrackNames, SYNC_TRACK_NAME_COUNT) != 0) {
        syncStoreDestroy(store);
        return nullptr;
    }
    return store;
}

static std::string formatKey(const TrackRecord& key, bool plainRows)
{
    std::string position = plainRows ? std::to_string(key.row) : formatPosition(key.row);
    std::string value = formatValue(key.valueBits);
    char line[160];
    snprintf(line, sizeof(line), "    %-10s %-14s %s\n", position.c_str(), value.c_str(), formatType(key.type).c_str());
    return line;
}

std::string formatTrack(const std::string& name, const std::vector<TrackRecord>& keys, bool plainRows)
{
    std::string text = "track " + name + "\n";
    for (const TrackRecord& key : keys)
        text += formatKey(key, plainRows);
    return text;
}

std::string formatDamagedTrack(const std::string& name, const std::vector<TrackRecord>& keys,
                               const std::vector<std::string>& problems, bool plainRows)
{
    // Notes carry two marks so that they stay comments when one is taken off.
    std::string text = "## _" + name + ".track is damaged; compiling this text leaves it out:\n";
    for (const std::string& problem : problems)
        text += "##   " + problem + "\n";
    text += "## Taking one '#' off each line rebuilds it from the keys that could be read.\n";
    text += "#track " + name + "\n";
    // Of keys that share a row the last is kept, since that is the one the
    // store reads there; a key below the kept ones is left out.
    std::vector<std::string> lines;
    int lastKept = -1;  // index into lines
    int32_t lastRow = 0;
    for (const TrackRecord& key : keys) {
        std::string line = formatKey(key, plainRows);
        line.pop_back();
        if (lastKept >= 0 && key.row < lastRow) {
            lines.push_back("##" + line + "   # row does not follow " + std::to_string(lastRow));
            continue;
        }
        if (lastKept >= 0 && key.row == lastRow)
            lines[lastKept] = "#" + lines[lastKept] + "   # row " + std::to_string(key.row) + " again below";
        lastKept = (int)lines.size();
        lastRow = key.row;
        lines.push_back("#" + line);
    }
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

// "70.0 MB" style sizes for messages, in binary units where they are whole.
static std::string byteCount(uint64_t bytes)
{
    char text[48];
    if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0)
        snprintf(text, sizeof(text), "%llu MiB", (unsigned long long)(bytes >> 20));
    else if (bytes >= 1000000)
        snprintf(text, sizeof(text), "%.1f MB", (double)bytes / 1e6);
    else
        snprintf(text, sizeof(text), "%llu bytes", (unsigned long long)bytes);
    return text;
}

static FILE* openForReading(const std::string& path, uint64_t* size, std::string* why)
{
    FILE* file = openRegularFile(path.c_str(), size);
    if (!file && why)
        *why = errno == EISDIR ? "not a regular file" : std::strerror(errno);
    return file;
}

// Reads up to `limit` bytes; the file may have shrunk since it was measured.
static bool readUpTo(FILE* file, uint64_t limit, std::vector<uint8_t>* bytes)
{
    uint8_t buffer[65536];
    while (bytes->size() < limit) {
        size_t want = (size_t)std::min<uint64_t>(sizeof(buffer), limit - bytes->size());
        size_t got = fread(buffer, 1, want, file);
        bytes->insert(bytes->end(), buffer, buffer + got);
        if (got < want)
            break;
    }
    return !ferror(file);
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes, uint64_t maxBytes, std::string* why)
{
    bytes->clear();
    uint64_t size = 0;
    FILE* file = openForReading(path, &size, why);
    if (!file)
        return false;
    if (size > maxBytes) {
        fclose(file);
        if (why)
            *why = byteCount(size) + ", over the limit of " + byteCount(maxBytes);
        return false;
    }
    bool ok = readUpTo(file, maxBytes, bytes);
    fclose(file);
    if (!ok && why)
        *why = "read error";
    return ok;
}

bool readTrackFile(const std::string& path, std::vector<uint8_t>* bytes, uint64_t* unreadBytes, std::string* why)
{
    bytes->clear();
    *unreadBytes = 0;
    uint64_t size = 0;
    FILE* file = openForReading(path, &size, why);
    if (!file)
        return false;
    bool ok = readUpTo(file, 4, bytes);
    if (ok && bytes->size() == 4) {
        int32_t count = (int32_t)getU32(bytes->data());
        uint64_t wanted = count < 0 ? 4 : 4 + 9 * (uint64_t)count;
        ok = readUpTo(file, std::min(wanted, size), bytes);
        if (size > bytes->size())
            *unreadBytes = size - bytes->size();
    }
    fclose(file);
    if (!ok && why)
        *why = "read error";
    return ok;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = (fclose(file) == 0) && ok;
    return ok;
}
