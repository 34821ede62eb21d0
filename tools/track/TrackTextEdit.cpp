#include "TrackTextEdit.h"

namespace {

const size_t kNone = std::string::npos;

// Where a line's words and its comment stand, as offsets into the line.
struct Fields {
    size_t start[3] = {0, 0, 0};
    size_t stop[3] = {0, 0, 0};
    int count = 0;  // words before the comment; more than 3 count as 4
    size_t comment = kNone;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

Fields FieldsOf(const std::string& line)
{
    Fields fields;
    fields.comment = line.find('#');
    size_t limit = fields.comment == kNone ? line.size() : fields.comment;
    size_t i = 0;
    while (i < limit) {
        while (i < limit && IsBlank(line[i])) ++i;
        if (i >= limit) break;
        size_t start = i;
        while (i < limit && !IsBlank(line[i])) ++i;
        if (fields.count < 3) {
            fields.start[fields.count] = start;
            fields.stop[fields.count] = i;
        }
        ++fields.count;
    }
    return fields;
}

std::string Word(const std::string& line, const Fields& fields, int i)
{
    return line.substr(fields.start[i], fields.stop[i] - fields.start[i]);
}

struct Line {
    size_t begin;
    size_t end;       // the end of line excluded, "\r" included in it
    size_t next;      // the start of the following line
    std::string text; // begin..end
};

// Every line of text; the last one may lack an end of line.
std::vector<Line> LinesOf(const std::string& text)
{
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        size_t end = newline == kNone ? text.size() : newline;
        size_t content = end > start && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(Line{start, content, newline == kNone ? text.size() : newline + 1,
                             text.substr(start, content - start)});
        start = newline == kNone ? text.size() : newline + 1;
    }
    return lines;
}

std::string EndOfLine(const std::string& text, const Line& line)
{
    return text.substr(line.end, line.next - line.end);
}

// Appends spaces up to column, or one blank when the text already reaches it.
void PadTo(std::string& out, size_t column)
{
    if (out.size() < column)
        out.append(column - out.size(), ' ');
    else if (!out.empty() && !IsBlank(out.back()))
        out += ' ';
}

// Lays words out over the columns of a model line: a separator that holds a
// tab is kept as it stands, spaces pad to the model's column. A word the model
// lacks (an interpolation) starts at extraColumn.
std::string LayOut(const std::string& model, const Fields& fields, const std::vector<std::string>& words,
                   size_t extraColumn, bool keepTail)
{
    std::string out = model.substr(0, fields.count > 0 ? fields.start[0] : 0);
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            int k = (int)i;
            if (k < fields.count && k < 3) {
                std::string separator = model.substr(fields.stop[k - 1], fields.start[k] - fields.stop[k - 1]);
                if (separator.find('\t') != kNone)
                    out += separator;
                else
                    PadTo(out, fields.start[k]);
            } else {
                PadTo(out, extraColumn);
            }
        }
        out += words[i];
    }
    if (!keepTail) return out;
    int last = fields.count < 3 ? fields.count - 1 : 2;
    if (fields.comment != kNone) {
        std::string separator = model.substr(fields.stop[last], fields.comment - fields.stop[last]);
        if (separator.find('\t') != kNone)
            out += separator;
        else
            PadTo(out, fields.comment);
        out += model.substr(fields.comment);
    } else {
        out += model.substr(fields.stop[last]);
    }
    return out;
}

bool ReadKey(const std::string& line, const Fields& fields, KeyLine* key)
{
    if (fields.count < 2 || fields.count > 3) return false;
    std::string ignored;
    if (!parsePosition(Word(line, fields, 0), &key->key.row, &ignored) ||
        !parseValue(Word(line, fields, 1), &key->key.valueBits, &ignored))
        return false;
    key->key.type = 0;
    key->typeWritten = fields.count == 3;
    return !key->typeWritten || parseType(Word(line, fields, 2), &key->key.type, &ignored);
}

// The column where interpolations start: the first key line of the block that
// writes one, else of the whole text; kNone when no line does.
size_t TypeColumn(const std::string& text, const TrackBlock& block)
{
    for (const KeyLine& key : block.keys) {
        if (!key.typeWritten) continue;
        Fields fields = FieldsOf(text.substr(key.begin, key.end - key.begin));
        return fields.start[2];
    }
    for (const Line& line : LinesOf(text)) {
        Fields fields = FieldsOf(line.text);
        KeyLine key;
        if (fields.count == 3 && ReadKey(line.text, fields, &key)) return fields.start[2];
    }
    return kNone;
}

const KeyLine* KeyAt(const TrackBlock& block, int32_t row)
{
    for (const KeyLine& key : block.keys)
        if (key.key.row == row) return &key;
    return nullptr;
}

bool FindBlock(const std::string& text, const std::string& track, TrackBlock* block, std::string* error)
{
    *block = findTrackBlock(text, track);
    if (!block->found) *error = "no block for " + track;
    return block->found;
}

std::string NoKey(const std::string& track, int32_t row)
{
    return track + " has no key at " + formatPosition(row);
}

}  // namespace

TrackBlock findTrackBlock(const std::string& text, const std::string& name)
{
    TrackBlock block;
    size_t number = 0;
    for (const Line& line : LinesOf(text)) {
        ++number;
        Fields fields = FieldsOf(line.text);
        if (fields.count == 0) continue;
        bool trackLine = Word(line.text, fields, 0) == "track";
        if (block.found && trackLine) break;
        if (!block.found) {
            if (trackLine && fields.count == 2 && Word(line.text, fields, 1) == name) {
                block.found = true;
                block.line = number;
                block.headerEnd = line.next;
            }
            continue;
        }
        KeyLine key;
        if (!ReadKey(line.text, fields, &key)) continue;
        key.line = number;
        key.begin = line.begin;
        key.end = line.end;
        block.keys.push_back(key);
    }
    return block;
}

bool replaceKeyInText(const std::string& text, const std::string& track, int32_t row, const TrackRecord& key,
                      std::string* out, std::string* error)
{
    TrackBlock block;
    if (!FindBlock(text, track, &block, error)) return false;
    const KeyLine* old = KeyAt(block, row);
    if (old == nullptr) {
        *error = NoKey(track, row);
        return false;
    }
    size_t index = (size_t)(old - block.keys.data());
    if ((index > 0 && key.row <= block.keys[index - 1].key.row) ||
        (index + 1 < block.keys.size() && key.row >= block.keys[index + 1].key.row)) {
        *error = "a key of " + track + " cannot pass its neighbours (" + formatPosition(row) + " to " +
                 formatPosition(key.row) + ")";
        return false;
    }
    std::string line = text.substr(old->begin, old->end - old->begin);
    Fields fields = FieldsOf(line);
    // Unchanged fields keep their text as written (a plain row, "1.0").
    std::vector<std::string> words = {key.row == row ? Word(line, fields, 0) : formatPosition(key.row),
                                      key.valueBits == old->key.valueBits ? Word(line, fields, 1)
                                                                          : formatValue(key.valueBits)};
    if (old->typeWritten && key.type == old->key.type)
        words.push_back(Word(line, fields, 2));
    else if (old->typeWritten || key.type != old->key.type)
        words.push_back(formatType(key.type));
    size_t typeColumn = TypeColumn(text, block);
    if (typeColumn == kNone) typeColumn = 0;
    *out = text.substr(0, old->begin) + LayOut(line, fields, words, typeColumn, true) + text.substr(old->end);
    return true;
}

bool insertKeyInText(const std::string& text, const std::string& track, const TrackRecord& key, std::string* out,
                     std::string* error)
{
    TrackBlock block;
    if (!FindBlock(text, track, &block, error)) return false;
    if (KeyAt(block, key.row) != nullptr) {
        *error = track + " already has a key at " + formatPosition(key.row);
        return false;
    }
    size_t after = 0;  // keys before the new one
    while (after < block.keys.size() && block.keys[after].key.row < key.row) ++after;

    // The layout comes from the key before, else the one after, else any key
    // line of the text; a text without one gets the track tool's own layout.
    std::string model;
    std::string ending = "\n";
    std::vector<Line> lines = LinesOf(text);
    const KeyLine* neighbour = after > 0 ? &block.keys[after - 1] : block.keys.empty() ? nullptr : &block.keys[0];
    for (const Line& line : lines) {
        Fields fields = FieldsOf(line.text);
        KeyLine any;
        bool isModel = neighbour != nullptr ? line.begin == neighbour->begin
                                            : ReadKey(line.text, fields, &any);
        if (!isModel) continue;
        model = line.text;
        if (line.next > line.end) ending = EndOfLine(text, line);
        break;
    }
    if (model.empty()) model = "    0:0:0      0              step";
    Fields fields = FieldsOf(model);
    size_t typeColumn = TypeColumn(text, block);
    if (typeColumn == kNone) typeColumn = TypeColumn(model, TrackBlock());
    if (typeColumn == kNone) typeColumn = 0;
    std::string line =
        LayOut(model, fields, {formatPosition(key.row), formatValue(key.valueBits), formatType(key.type)}, typeColumn,
               false) + ending;

    size_t at;
    if (after < block.keys.size()) {
        at = block.keys[after].begin;
    } else {
        // After the block's last key line, or its "track" line.
        at = block.keys.empty() ? block.headerEnd : block.keys.back().end;
        if (!block.keys.empty()) {
            for (const Line& candidate : lines)
                if (candidate.begin == block.keys.back().begin) at = candidate.next;
        }
        if (at > 0 && text[at - 1] != '\n') {
            // The text ends without an end of line: the new line takes it over.
            *out = text + ending + line.substr(0, line.size() - ending.size());
            return true;
        }
    }
    *out = text.substr(0, at) + line + text.substr(at);
    return true;
}

bool deleteKeyInText(const std::string& text, const std::string& track, int32_t row, std::string* out,
                     std::string* error)
{
    TrackBlock block;
    if (!FindBlock(text, track, &block, error)) return false;
    const KeyLine* old = KeyAt(block, row);
    if (old == nullptr) {
        *error = NoKey(track, row);
        return false;
    }
    size_t next = text.find('\n', old->end);
    next = next == kNone ? text.size() : next + 1;
    *out = text.substr(0, old->begin) + text.substr(next);
    return true;
}
