#include "nwtext/nwtext.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <optional>
#include <sstream>

#include "nwread/record.hpp"

namespace qm::nwtext {

namespace {

// ---------------------------------------------------------------------------------------------
// Record forms: a keyword, the record type it writes, and the named fields it knows.

enum class FieldType { U8, S8, Pos16, Text, Digit, BarStyle };

// The bar-line styles of the NW file by name, in the order of their bytes: style=final rather
// than style=7 (the byte 3 draws a repeat's close, not a closing bar).
constexpr std::array<std::string_view, 8> BarStyleNames = {"single",
                                                           "double",
                                                           "repeat-open",
                                                           "repeat-close",
                                                           "master-repeat-open",
                                                           "master-repeat-close",
                                                           "section-open",
                                                           "final"};

struct Field {
    std::string_view name;
    int offset;
    FieldType type;
};

enum class Phase { Header, StaveHeader, Element, Trailer };

struct RecordForm {
    std::string_view keyword;
    Phase phase;
    int type;       // byte 7 for element forms, -1 when the form sets no type
    int defaultSub; // byte 6 default for element forms
    std::vector<Field> fields;
};

const std::vector<Field> NoteFields = {
    {"dur", 8, FieldType::U8},        {"pos", 9, FieldType::S8},
    {"dots", 10, FieldType::U8},      {"stem", 11, FieldType::U8},
    {"beam_from", 12, FieldType::U8}, {"beam_to", 13, FieldType::U8},
    {"slur_from", 15, FieldType::U8}, {"slur_to", 16, FieldType::U8},
    {"art", 16, FieldType::U8},       {"tie_from", 17, FieldType::U8},
    {"tie_to", 18, FieldType::U8},    {"grace", 20, FieldType::U8},
};

const std::vector<RecordForm> &forms() {
    static const std::vector<RecordForm> all = {
        {"header",
         Phase::Header,
         -1,
         0,
         {{"staves", 0, FieldType::U8}, {"version", 8, FieldType::U8}}},
        {"stave",
         Phase::StaveHeader,
         -1,
         0,
         {{"y", 0, FieldType::Pos16},
          {"count", 7, FieldType::U8},
          {"pair", 6, FieldType::U8},
          {"join", 12, FieldType::U8},
          {"style", 13, FieldType::U8}}},
        {"newstave", Phase::Element, 0, 0, {{"clef", 8, FieldType::U8}}},
        {"clef", Phase::Element, 0, 4, {{"clef", 8, FieldType::U8}}},
        {"keysig", Phase::Element, 1, 0, {{"n", 8, FieldType::U8}}},
        {"timedigit", Phase::Element, 2, 0, {{"digit", 6, FieldType::Digit}}},
        {"timesym", Phase::Element, 3, 19, {}},
        {"bar", Phase::Element, 4, 0, {{"style", 8, FieldType::BarStyle}}},
        {"note", Phase::Element, 5, 25, NoteFields},
        {"rest", Phase::Element, 5, 39, NoteFields},
        {"accidental",
         Phase::Element,
         7,
         0,
         {{"pos", 8, FieldType::S8}, {"alt", 9, FieldType::S8}}},
        {"text",
         Phase::Element,
         9,
         0,
         {{"style", 8, FieldType::U8}, {"text", 10, FieldType::Text}, {"len", 9, FieldType::U8}}},
        {"line", Phase::Element, 11, 157, {}},
        {"slurpoint", Phase::Element, 12, 0, {{"next", 9, FieldType::U8}}},
        {"sign", Phase::Element, 13, 0, {}},
        {"arpeggio", Phase::Element, 14, 0, {}},
        {"record", Phase::Element, -1, 0, {{"type", 7, FieldType::U8}}},
        {"trailer",
         Phase::Trailer,
         -1,
         0,
         {{"part", 1, FieldType::U8}, {"text", 10, FieldType::Text}, {"len", 9, FieldType::U8}}},
    };
    return all;
}

const std::vector<Field> ElementCommonFields = {
    {"s", 0, FieldType::U8},    {"e", 1, FieldType::U8},   {"x", 2, FieldType::Pos16},
    {"y", 4, FieldType::Pos16}, {"sub", 6, FieldType::U8},
};

const RecordForm *findForm(std::string_view keyword) {
    for (const RecordForm &form : forms())
        if (form.keyword == keyword) return &form;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Where the next record stands in the file: header, stave headers, elements, trailer.

class LayoutTracker {
public:
    Phase phase() const { return Current; }
    int staveNo() const { return StaveIndex + 1; }
    int elementNo() const { return ElementIndex + 1; }

    void advance(const Record &record) {
        switch (Current) {
        case Phase::Header:
            StaveTotal = record[0];
            Current = StaveTotal > 0 ? Phase::StaveHeader : Phase::Trailer;
            break;
        case Phase::StaveHeader:
            Counts.push_back(record[7]);
            if (static_cast<int>(Counts.size()) == StaveTotal) enterElements();
            break;
        case Phase::Element:
            ++ElementIndex;
            skipFinishedStaves();
            break;
        case Phase::Trailer: break;
        }
    }

private:
    void enterElements() {
        Current = Phase::Element;
        StaveIndex = 0;
        ElementIndex = 0;
        skipFinishedStaves();
    }
    void skipFinishedStaves() {
        while (StaveIndex < StaveTotal &&
               ElementIndex >= Counts[static_cast<std::size_t>(StaveIndex)]) {
            ++StaveIndex;
            ElementIndex = 0;
        }
        if (StaveIndex >= StaveTotal) Current = Phase::Trailer;
    }

    Phase Current = Phase::Header;
    int StaveTotal = 0;
    std::vector<int> Counts;
    int StaveIndex = 0;
    int ElementIndex = 0;
};

// ---------------------------------------------------------------------------------------------
// Values.

void setPos16(Record &r, int offset, long value) {
    const auto bits = static_cast<std::uint16_t>(value & 0xFFFF);
    r[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(bits & 0xFF);
    r[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>(bits >> 8);
}

std::string escapeText(const std::uint8_t *chars, std::size_t n) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = chars[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

struct ParseError {
    std::string message;
};

long parseNumber(std::string_view text) {
    int base = 10;
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty())
        throw ParseError{"not a number: '" + std::string(text) + "'"};
    if (value > 100000) throw ParseError{"number out of range"};
    return negative ? -value : value;
}

std::string unescapeText(std::string_view quoted) {
    std::string out;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        char c = quoted[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= quoted.size()) throw ParseError{"text ends in a backslash"};
        c = quoted[i];
        if (c == 'x') {
            if (i + 2 >= quoted.size()) throw ParseError{"bad \\x escape"};
            const std::string hex(quoted.substr(i + 1, 2));
            out += static_cast<char>(parseNumber("0x" + hex));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// Splits "key=value key2="quoted text"" into pairs, in order.
std::vector<std::pair<std::string, std::string>> splitFields(std::string_view rest) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t'))
            ++i;
        if (i >= rest.size() || rest[i] == '#') break;
        const std::size_t eq = rest.find('=', i);
        if (eq == std::string_view::npos) throw ParseError{"expected key=value"};
        std::string key(rest.substr(i, eq - i));
        i = eq + 1;
        std::string value;
        if (i < rest.size() && rest[i] == '"') {
            std::size_t j = i + 1;
            while (j < rest.size() && rest[j] != '"')
                j += rest[j] == '\\' ? 2 : 1;
            if (j >= rest.size()) throw ParseError{"unterminated text"};
            value = unescapeText(rest.substr(i + 1, j - i - 1));
            i = j + 1;
        } else {
            const std::size_t end = rest.find_first_of(" \t", i);
            value = std::string(rest.substr(i, end == std::string_view::npos ? end : end - i));
            i = end == std::string_view::npos ? rest.size() : end;
        }
        fields.emplace_back(std::move(key), std::move(value));
    }
    return fields;
}

void applyField(Record &r, const Field &field, const std::string &value) {
    const auto at = static_cast<std::size_t>(field.offset);
    switch (field.type) {
    case FieldType::U8: {
        const long v = parseNumber(value);
        if (v < 0 || v > 255) throw ParseError{std::string(field.name) + " must be 0..255"};
        r[at] = static_cast<std::uint8_t>(v);
        break;
    }
    case FieldType::S8: {
        const long v = parseNumber(value);
        if (v < -127 || v > 128) throw ParseError{std::string(field.name) + " must be -127..128"};
        r[at] = static_cast<std::uint8_t>(v & 0xFF);
        break;
    }
    case FieldType::Pos16: {
        const long v = parseNumber(value);
        if (v < -32512 || v > 33023) throw ParseError{std::string(field.name) + " out of range"};
        setPos16(r, field.offset, v);
        break;
    }
    case FieldType::BarStyle: {
        const auto named = std::find(BarStyleNames.begin(), BarStyleNames.end(), value);
        const long v = named != BarStyleNames.end()
                           ? static_cast<long>(named - BarStyleNames.begin())
                           : parseNumber(value);
        if (v < 0 || v > 255) throw ParseError{"style must be a bar style's name or 0..255"};
        r[at] = static_cast<std::uint8_t>(v);
        break;
    }
    case FieldType::Digit: {
        const long v = parseNumber(value);
        if (v < 0 || v > 9) throw ParseError{"digit must be 0..9"};
        r[at] = static_cast<std::uint8_t>(v + 8);
        break;
    }
    case FieldType::Text: {
        if (value.size() > 12) throw ParseError{"a record holds at most 12 characters"};
        for (std::size_t i = 0; i < value.size(); ++i)
            r[at + i] = static_cast<std::uint8_t>(value[i]);
        r[9] = static_cast<std::uint8_t>(value.size());
        break;
    }
    }
}

const Field *findField(const RecordForm &form, std::string_view key) {
    for (const Field &field : form.fields)
        if (field.name == key) return &field;
    if (form.phase == Phase::Element)
        for (const Field &field : ElementCommonFields)
            if (field.name == key) return &field;
    return nullptr;
}

std::optional<int> rawByteIndex(std::string_view key) {
    if (key.size() < 2 || key[0] != 'b') return std::nullopt;
    int index = 0;
    auto [end, ec] = std::from_chars(key.data() + 1, key.data() + key.size(), index);
    if (ec != std::errc{} || end != key.data() + key.size() || index < 0 || index > 21)
        return std::nullopt;
    return index;
}

// Encodes one record line. Named fields apply in the form's order (so len= follows text=),
// raw bytes last.
Record encodeRecord(const RecordForm &form, std::string_view rest, const LayoutTracker &layout) {
    Record r{};
    if (form.phase == Phase::Element) {
        if (layout.phase() == Phase::Element) {
            r[0] = static_cast<std::uint8_t>(layout.staveNo() & 0xFF);
            r[1] = static_cast<std::uint8_t>(layout.elementNo() & 0xFF);
        }
        if (form.type >= 0) r[7] = static_cast<std::uint8_t>(form.type);
        r[6] = static_cast<std::uint8_t>(form.defaultSub);
    }
    const auto pairs = splitFields(rest);
    std::map<std::string, std::string> named;
    std::vector<std::pair<int, long>> raw;
    for (const auto &[key, value] : pairs) {
        if (auto index = rawByteIndex(key)) {
            const long v = parseNumber(value);
            if (v < 0 || v > 255) throw ParseError{key + " must be 0..255"};
            raw.emplace_back(*index, v);
        } else if (findField(form, key)) {
            named[key] = value;
        } else {
            throw ParseError{"unknown field '" + key + "' for " + std::string(form.keyword)};
        }
    }
    if (form.phase == Phase::Element)
        for (const Field &field : ElementCommonFields)
            if (auto it = named.find(std::string(field.name)); it != named.end())
                applyField(r, field, it->second);
    for (const Field &field : form.fields)
        if (auto it = named.find(std::string(field.name)); it != named.end())
            applyField(r, field, it->second);
    for (auto [index, value] : raw)
        r[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
    return r;
}

std::vector<std::uint8_t> parseRaw(std::string_view rest) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in{std::string(rest)};
    std::string word;
    while (in >> word) {
        if (word[0] == '#') break;
        const long v = parseNumber("0x" + word);
        if (v < 0 || v > 255) throw ParseError{"raw bytes are two hex digits each"};
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Dumping.

bool isNoteSubcode(std::uint8_t sub) {
    static constexpr std::uint8_t Notes[] = {12, 25, 31, 33, 35, 44, 46, 48};
    return std::find(std::begin(Notes), std::end(Notes), sub) != std::end(Notes);
}

const RecordForm &formForRecord(Phase phase, const Record &r) {
    switch (phase) {
    case Phase::Header: return *findForm("header");
    case Phase::StaveHeader: return *findForm("stave");
    case Phase::Trailer: return *findForm("trailer");
    case Phase::Element: break;
    }
    switch (r[7]) {
    case 0: return *findForm(r[6] <= 3 ? "newstave" : "clef");
    case 1: return *findForm("keysig");
    case 2: return *findForm("timedigit");
    case 3: return *findForm("timesym");
    case 4: return *findForm("bar");
    case 5: return *findForm(isNoteSubcode(r[6]) ? "note" : "rest");
    case 7: return *findForm("accidental");
    case 9: return *findForm("text");
    case 11: return *findForm("line");
    case 12: return *findForm("slurpoint");
    case 13: return *findForm("sign");
    case 14: return *findForm("arpeggio");
    default: return *findForm("record");
    }
}

std::string fieldText(const Field &field, const Record &r) {
    const auto at = static_cast<std::size_t>(field.offset);
    switch (field.type) {
    case FieldType::U8: return std::to_string(r[at]);
    case FieldType::BarStyle:
        return r[at] < BarStyleNames.size() ? std::string(BarStyleNames[r[at]])
                                            : std::to_string(r[at]);
    case FieldType::S8: return std::to_string(decodeSignedByte(r[at]));
    case FieldType::Pos16: return std::to_string(decodePosition(r[at], r[at + 1]));
    case FieldType::Digit: return std::to_string(int{r[at]} - 8);
    case FieldType::Text: return escapeText(&r[at], std::min<std::size_t>(r[9], 12));
    }
    return {};
}

// The fields worth showing: positions always on elements, the rest when not at their default.
bool showField(const RecordForm &form, const Field &field, const Record &r, int nwVersion) {
    const auto at = static_cast<std::size_t>(field.offset);
    if (form.phase == Phase::Element && (field.name == "x" || field.name == "y")) return true;
    if (field.name == "sub") return r[6] != form.defaultSub;
    if (field.name == "s" || field.name == "e") return false; // raw-byte fixing shows a mismatch
    if (field.name == "len") return r[9] > 12;
    if (field.type == FieldType::Text) return r[9] > 0;
    if (field.type == FieldType::Digit) return r[6] >= 8 && r[6] <= 17;
    if (field.name == "slur_to") return nwVersion < 200 && r[at] != 0;
    if (field.name == "art") return nwVersion >= 200 && r[at] != 0;
    if (field.type == FieldType::Pos16) return r[at] != 0 || r[at + 1] != 0;
    return r[at] != 0;
}

std::string dumpRecord(const Record &r, const LayoutTracker &layout, int nwVersion) {
    const RecordForm &form = formForRecord(layout.phase(), r);
    std::string line(form.keyword);
    std::vector<const Field *> shown;
    if (form.phase == Phase::Element)
        for (const Field &field : ElementCommonFields)
            shown.push_back(&field);
    for (const Field &field : form.fields)
        shown.push_back(&field);
    for (const Field *field : shown) {
        if (!showField(form, *field, r, nwVersion)) continue;
        line += ' ';
        line += field->name;
        line += '=';
        line += fieldText(*field, r);
    }
    // Whatever the named fields do not reproduce is written as raw bytes.
    const Record encoded =
        encodeRecord(form, std::string_view(line).substr(form.keyword.size()), layout);
    for (std::size_t i = 0; i < RecordSize; ++i)
        if (encoded[i] != r[i]) line += " b" + std::to_string(i) + "=" + std::to_string(r[i]);
    return line;
}

} // namespace

std::vector<std::uint8_t> build(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    LayoutTracker layout;
    std::size_t lineNo = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        line.remove_prefix(first);
        const std::size_t space = line.find_first_of(" \t");
        const std::string_view keyword = line.substr(0, space);
        const std::string_view rest = space == std::string_view::npos ? "" : line.substr(space);
        try {
            if (keyword == "raw") {
                const auto raw = parseRaw(rest);
                bytes.insert(bytes.end(), raw.begin(), raw.end());
                continue;
            }
            const RecordForm *form = findForm(keyword);
            if (!form) throw ParseError{"unknown record '" + std::string(keyword) + "'"};
            const Record record = encodeRecord(*form, rest, layout);
            bytes.insert(bytes.end(), record.begin(), record.end());
            layout.advance(record);
        } catch (const ParseError &error) {
            throw SyntaxError("line " + std::to_string(lineNo) + ": " + error.message);
        }
    }
    return bytes;
}

std::string dump(std::span<const std::uint8_t> bytes) {
    std::string out;
    LayoutTracker layout;
    int nwVersion = 0;
    std::size_t offset = 0;
    while (bytes.size() - offset >= RecordSize) {
        Record r;
        std::copy_n(bytes.begin() + static_cast<long>(offset), RecordSize, r.begin());
        if (layout.phase() == Phase::Header) nwVersion = r[8];
        out += dumpRecord(r, layout, nwVersion);
        out += '\n';
        layout.advance(r);
        offset += RecordSize;
    }
    if (offset < bytes.size()) {
        static constexpr char Hex[] = "0123456789ABCDEF";
        out += "raw";
        for (; offset < bytes.size(); ++offset) {
            out += ' ';
            out += Hex[bytes[offset] >> 4];
            out += Hex[bytes[offset] & 15];
        }
        out += '\n';
    }
    return out;
}

} // namespace qm::nwtext
