#include "nwcdump/nwcdump.hpp"

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

// Lines of the listing:
//   file / info / setup / layout / font / staves   the file header, field by field
//   staff K name=... objects=N                      a staff header
//   clef, keysig, bar, timesig, volume, note, rest, chord, restchord, pedal, flow, tempo_var,
//   dynamic_var, performance_style, text            one record each
// Records with a placement show it as place= (the signed byte; negative is above the staff).
// Notes show pos= as the staff position (up is positive), undoing the record's negation.
// A byte that differs from the constant our writer puts in its place is shown as @0xOFF=HH,
// so files from elsewhere can be compared field by field.

namespace qm {

namespace {

constexpr std::size_t StaffTailSize = 35;

std::string hexByte(std::uint8_t b) {
    std::array<char, 3> text{};
    std::snprintf(text.data(), text.size(), "%02X", b);
    return text.data();
}

std::string hexOffset(std::size_t offset) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "0x%zX", offset);
    return text.data();
}

std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        const auto b = static_cast<std::uint8_t>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (b < 0x20 || b >= 0x7F) {
            result += "\\x" + hexByte(b);
        } else {
            result += c;
        }
    }
    return result + "\"";
}

// Reads the file front to back; every read checks the bounds first.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : Bytes(bytes) {}

    std::size_t offset() const { return Pos; }
    bool atEnd() const { return Pos >= Bytes.size(); }
    std::uint8_t peek() const { return Bytes[Pos]; }

    std::uint8_t byte(std::string_view what) {
        need(1, what);
        return Bytes[Pos++];
    }
    std::uint16_t word(std::string_view what) {
        need(2, what);
        const auto w = static_cast<std::uint16_t>(Bytes[Pos] | Bytes[Pos + 1] << 8);
        Pos += 2;
        return w;
    }
    std::span<const std::uint8_t> take(std::size_t n, std::string_view what) {
        need(n, what);
        const std::span<const std::uint8_t> part = Bytes.subspan(Pos, n);
        Pos += n;
        return part;
    }
    std::string string(std::string_view what) {
        std::size_t end = Pos;
        while (end < Bytes.size() && Bytes[end] != 0)
            ++end;
        if (end == Bytes.size()) fail(Pos, "the file ends inside " + std::string(what));
        std::string text(Bytes.begin() + static_cast<std::ptrdiff_t>(Pos),
                         Bytes.begin() + static_cast<std::ptrdiff_t>(end));
        Pos = end + 1;
        return text;
    }

    [[noreturn]] static void fail(std::size_t offset, const std::string &why) {
        throw NwcDumpError(
            "offset " + std::to_string(offset) + " (" + hexOffset(offset) + "): " + why, offset);
    }

private:
    void need(std::size_t n, std::string_view what) const {
        if (Bytes.size() - Pos < n) fail(Pos, "the file ends inside " + std::string(what));
    }

    std::span<const std::uint8_t> Bytes;
    std::size_t Pos = 0;
};

// Appends " @0xOFF=HH" for every byte of a field that differs from our writer's constant.
void addDifferences(std::string &line, std::size_t start, std::span<const std::uint8_t> actual,
                    std::span<const std::uint8_t> expected) {
    for (std::size_t i = 0; i < actual.size() && i < expected.size(); ++i)
        if (actual[i] != expected[i])
            line += " @" + hexOffset(start + i) + "=" + hexByte(actual[i]);
}

// Like addDifferences, for a field whose constant is all zeros.
void addNonZero(std::string &line, std::size_t start, std::span<const std::uint8_t> actual) {
    const std::vector<std::uint8_t> zeros(actual.size(), 0);
    addDifferences(line, start, actual, zeros);
}

// Checks a run of constant bytes, reporting those that differ.
void expectBytes(Cursor &in, std::string &line, std::span<const std::uint8_t> expected,
                 std::string_view what) {
    const std::size_t start = in.offset();
    addDifferences(line, start, in.take(expected.size(), what), expected);
}

void expectZeros(Cursor &in, std::string &line, std::size_t n, std::string_view what) {
    const std::size_t start = in.offset();
    addNonZero(line, start, in.take(n, what));
}

std::string signedText(std::uint8_t b) { return std::to_string(static_cast<std::int8_t>(b)); }

// The listing under construction; each dump step appends whole lines.
class Dumper {
public:
    explicit Dumper(std::span<const std::uint8_t> bytes) : In(bytes) {}

    void run();
    std::string &text() { return Text; }

private:
    void dumpIdentification();
    void dumpInformation();
    void dumpSetup();
    void dumpLayout();
    void dumpFonts();
    std::uint16_t dumpStaffCount();
    void dumpStaff(std::uint16_t staffNumber, bool lastStaff);
    std::uint16_t dumpStaffHeader(std::uint16_t staffNumber);
    std::int64_t dumpRecord(std::uint8_t type);
    std::int64_t dumpNoteRecord(std::uint8_t type);
    void dumpKeySig();
    void dumpTimeSig();
    void dumpHeadRecord(std::uint8_t type);
    void emit(const std::string &line) { Text += line + "\n"; }

    Cursor In;
    std::string Text;
};

void Dumper::dumpIdentification() {
    std::string line = "file id=" + quoted(In.string("the identification"));
    expectZeros(In, line, 2, "the identification");
    line += " product=" + quoted(In.string("the product name"));
    const std::uint8_t minor = In.byte("the version");
    const std::uint8_t major = In.byte("the version");
    std::array<char, 16> version{};
    std::snprintf(version.data(), version.size(), "%u.%02u", major, minor);
    line += " version=" + std::string(version.data());
    constexpr std::array<std::uint8_t, 4> afterVersion = {2, 0, 0, 0};
    expectBytes(In, line, afterVersion, "the identification");
    line += " user=" + quoted(In.string("the user name"));
    line += " serial=" + quoted(In.string("the serial"));
    constexpr std::array<std::uint8_t, 10> tail = {0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0};
    expectBytes(In, line, tail, "the identification");
    emit(line);
}

void Dumper::dumpInformation() {
    std::string line = "info title=" + quoted(In.string("the title"));
    line += " author=" + quoted(In.string("the author"));
    line += " copyright1=" + quoted(In.string("the first copyright notice"));
    line += " copyright2=" + quoted(In.string("the second copyright notice"));
    line += " comment=" + quoted(In.string("the comment"));
    emit(line);
}

void Dumper::dumpSetup() {
    std::string line = "setup " + quoted(In.string("the setup"));
    line += " " + quoted(In.string("the setup"));
    constexpr std::array<std::uint8_t, 4> words = {0, 0, 1, 0};
    expectBytes(In, line, words, "the setup");
    line += " margins=" + quoted(In.string("the margins"));
    constexpr std::array<std::uint8_t, 3> tail = {0, 8, 0};
    expectBytes(In, line, tail, "the setup");
    emit(line);
}

void Dumper::dumpLayout() {
    std::string line = "layout staff_mask=" + hexByte(In.byte("the layout"));
    expectZeros(In, line, 32, "the layout");
    constexpr std::array<std::uint8_t, 2> tail = {24, 0};
    expectBytes(In, line, tail, "the layout");
    emit(line);
}

void Dumper::dumpFonts() {
    for (int font = 1; font <= 12; ++font) {
        std::string line = "font " + std::to_string(font) + " " + quoted(In.string("a font name"));
        line += " style=" + std::to_string(In.byte("a font record"));
        line += " size=" + std::to_string(In.byte("a font record"));
        expectZeros(In, line, 2, "a font record");
        emit(line);
    }
}

std::uint16_t Dumper::dumpStaffCount() {
    std::string line;
    constexpr std::array<std::uint8_t, 4> marker = {0xFF, 0, 0, 0};
    expectBytes(In, line, marker, "the staff count");
    const std::uint16_t count = In.word("the staff count");
    emit("staves count=" + std::to_string(count) + line);
    return count;
}

// Fills the staff header's variable bytes into a copy of the constant tail, so the rest can be
// compared with what our writer puts there.
std::uint16_t Dumper::dumpStaffHeader(std::uint16_t staffNumber) {
    std::string line = "staff " + std::to_string(staffNumber);
    line += " name=" + quoted(In.string("a staff name"));
    line += " group=" + quoted(In.string("a staff group"));
    const std::size_t start = In.offset();
    const std::span<const std::uint8_t> tail = In.take(StaffTailSize, "a staff header");
    const std::uint16_t objects = In.word("a staff header");
    line += " final_bar=" + std::to_string(tail[0]);
    line += " style=" + std::to_string(tail[13]);
    line += " top_extent=" + std::to_string(-static_cast<int>(static_cast<std::int8_t>(tail[15])));
    line += " objects=" + std::to_string(objects);
    std::array<std::uint8_t, StaffTailSize> expected = {
        0, 0, 0, 0, 0, 0, 0,    0, 0,    0, 0, 0, 0, 0, 0, 0, 0xFF, 0x0C,
        0, 5, 0, 0, 0, 0, 0x7F, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0};
    expected[0] = tail[0];
    expected[13] = tail[13];
    expected[15] = tail[15];
    addDifferences(line, start, tail, expected);
    emit(line);
    constexpr std::size_t lyricsByte = 29;
    for (std::size_t i = lyricsByte; i < lyricsByte + 4; ++i)
        if (tail[i] != 0)
            Cursor::fail(start + lyricsByte, "staff " + std::to_string(staffNumber) +
                                                 " has lyrics, which the dump cannot follow");
    return objects;
}

bool isRecordType(std::uint8_t type) {
    switch (type) {
    case 0:
    case 1:
    case 2:
    case 5:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18: return true;
    default: return false;
    }
}

std::string letters(std::uint16_t mask) {
    std::string text;
    for (int bit = 0; bit < 7; ++bit)
        if (mask & (1u << bit)) text += static_cast<char>('A' + bit);
    if (mask & ~0x7Fu)
        text += "+0x" + hexByte(static_cast<std::uint8_t>(mask >> 8)) +
                hexByte(static_cast<std::uint8_t>(mask & 0xFF));
    return text.empty() ? "-" : text;
}

void Dumper::dumpKeySig() {
    std::string rest;
    expectBytes(In, rest, std::array<std::uint8_t, 3>{1, 0, 0}, "a key signature");
    const std::uint16_t flats = In.word("a key signature");
    const std::uint16_t sharps = In.word("a key signature");
    expectZeros(In, rest, 2, "a key signature");
    const std::uint16_t previousFlats = In.word("a key signature");
    const std::uint16_t previousSharps = In.word("a key signature");
    emit("keysig flats=" + letters(flats) + " sharps=" + letters(sharps) + " prev_flats=" +
         letters(previousFlats) + " prev_sharps=" + letters(previousSharps) + rest);
}

void Dumper::dumpTimeSig() {
    std::string line;
    expectBytes(In, line, std::array<std::uint8_t, 3>{5, 0, 0}, "a time signature");
    const std::uint16_t numerator = In.word("a time signature");
    const std::uint16_t exponent = In.word("a time signature");
    const std::uint16_t symbol = In.word("a time signature");
    const std::string denominator =
        exponent < 16 ? std::to_string(1u << exponent) : "2^" + std::to_string(exponent);
    const std::string symbolName =
        symbol == 0 ? "none" : (symbol == 1 ? "common" : (symbol == 2 ? "cut" : "?"));
    emit("timesig num=" + std::to_string(numerator) + " den=" + denominator + " sym=" + symbolName +
         line);
}

std::string_view headRecordName(std::uint8_t type) {
    switch (type) {
    case 7: return "volume";
    case 11: return "pedal";
    case 12: return "flow";
    case 14: return "tempo_var";
    case 15: return "dynamic_var";
    case 16: return "performance_style";
    default: return "text";
    }
}

// Records that open with the element head: type, 00 00, placement, 00.
void Dumper::dumpHeadRecord(std::uint8_t type) {
    const std::string what = "a " + std::string(headRecordName(type)) + " record";
    std::string rest;
    const std::size_t start = In.offset();
    const std::span<const std::uint8_t> head = In.take(5, what);
    addDifferences(rest, start, head, std::array<std::uint8_t, 5>{type, 0, 0, head[3], 0});
    std::string line = std::string(headRecordName(type)) + " place=" + signedText(head[3]);
    if (type == 17) {
        line += " font=" + std::to_string(In.byte(what));
        line += " " + quoted(In.string(what));
    } else {
        line += " code=" + std::to_string(In.byte(what));
    }
    if (type == 7) {
        line += " velocity=" + std::to_string(In.byte(what));
        expectBytes(In, rest, std::array<std::uint8_t, 3>{0, 0xFF, 0xFF}, what);
    }
    if (type == 12 || type == 14) expectZeros(In, rest, 1, what);
    emit(line + rest);
}

std::string_view noteRecordName(std::uint8_t type) {
    switch (type) {
    case 8: return "note";
    case 9: return "rest";
    case 10: return "chord";
    default: return "restchord";
    }
}

std::string linkName(unsigned code) {
    constexpr std::array<std::string_view, 4> names = {"none", "start", "inner", "end"};
    return std::string(names[code & 3]);
}

std::string flagWords(std::uint8_t flags, const std::array<std::string_view, 8> &names) {
    std::string text;
    for (unsigned bit = 0; bit < 8; ++bit)
        if ((flags & (1u << bit)) && !names[bit].empty()) text += " " + std::string(names[bit]);
    return text;
}

// Returns what the record adds to the staff's object count.
std::int64_t Dumper::dumpNoteRecord(std::uint8_t type) {
    const std::string what = "a " + std::string(noteRecordName(type)) + " record";
    const std::size_t start = In.offset();
    const std::span<const std::uint8_t> r = In.take(11, what);
    std::string line = std::string(noteRecordName(type)) + " dur=" + std::to_string(r[3]);
    const std::uint8_t a = r[5], b = r[7], c = r[8], d = r[10];
    line += " pos=" + std::to_string(-static_cast<int>(static_cast<std::int8_t>(r[9])));
    const unsigned stem = (a >> 4) & 3u;
    line += std::string(" stem=") + (stem == 1 ? "up" : (stem == 2 ? "down" : "none"));
    if (a & 3u) line += " beam=" + linkName(a);
    if (a & 0xCu) line += " aux=" + linkName(a >> 2);
    line += flagWords(b, {"double_dotted", "staccato", "dotted", "tie_from", "tie_to", "accent",
                          "in_chord", "chord_flag"});
    if (c & 3u) line += " slur=" + std::to_string(c & 3u);
    line += flagWords(c, {"", "", "tenuto", "", "", "grace", "", ""});
    line += " accidental=" + std::to_string(d & 7u);
    if (d & 8u) line += " low";
    std::int64_t contribution = 1;
    if (type == 10 || type == 18) {
        const std::uint16_t members = In.word(what);
        line += " members=" + std::to_string(members);
        contribution = type == 10 ? 1 - static_cast<std::int64_t>(members) : 0;
    }
    // Bits that no field above names are shown as differences.
    const std::array<std::uint8_t, 11> expected = {type,
                                                   0,
                                                   0,
                                                   r[3],
                                                   0,
                                                   static_cast<std::uint8_t>(a & 0x3Fu),
                                                   0,
                                                   b,
                                                   static_cast<std::uint8_t>(c & 0x27u),
                                                   r[9],
                                                   static_cast<std::uint8_t>(d & 0x0Fu)};
    addDifferences(line, start, r, expected);
    emit(line);
    return contribution;
}

// Returns what the record adds to the staff's object count.
std::int64_t Dumper::dumpRecord(std::uint8_t type) {
    switch (type) {
    case 0: {
        std::string line;
        const std::size_t start = In.offset();
        const std::span<const std::uint8_t> r = In.take(7, "a clef record");
        addNonZero(line, start, r.subspan(0, 3));
        addNonZero(line, start + 4, r.subspan(4));
        emit("clef code=" + std::to_string(r[3]) + line);
        return 1;
    }
    case 1: dumpKeySig(); return 1;
    case 2: {
        std::string line;
        expectBytes(In, line, std::array<std::uint8_t, 3>{2, 0, 0}, "a bar line record");
        const std::uint8_t style = In.byte("a bar line record");
        const std::uint8_t repeat = In.byte("a bar line record");
        emit("bar style=" + std::to_string(style) + " r=" + std::to_string(repeat) + line);
        return 1;
    }
    case 5: dumpTimeSig(); return 1;
    case 8:
    case 9:
    case 10:
    case 18: return dumpNoteRecord(type);
    default: dumpHeadRecord(type); return 1;
    }
}

void Dumper::dumpStaff(std::uint16_t staffNumber, bool lastStaff) {
    const std::uint16_t objects = dumpStaffHeader(staffNumber);
    std::int64_t counted = 2;
    while (!In.atEnd()) {
        const std::uint8_t next = In.peek();
        if (isRecordType(next)) {
            counted += dumpRecord(next);
            continue;
        }
        // A staff name is text; a control byte here is a record type this listing does not know.
        if (next < 0x20) Cursor::fail(In.offset(), "unknown record type " + std::to_string(next));
        if (lastStaff)
            Cursor::fail(In.offset(),
                         "byte 0x" + hexByte(next) + " after the last staff is not a record type");
        break;
    }
    if (counted != objects)
        emit("# staff " + std::to_string(staffNumber) + ": the header counts " +
             std::to_string(objects) + " objects, the records add up to " +
             std::to_string(counted));
}

void Dumper::run() {
    dumpIdentification();
    dumpInformation();
    dumpSetup();
    dumpLayout();
    dumpFonts();
    const std::uint16_t staffCount = dumpStaffCount();
    for (std::uint32_t staff = 1; staff <= staffCount; ++staff)
        dumpStaff(static_cast<std::uint16_t>(staff), staff == staffCount);
    if (!In.atEnd()) Cursor::fail(In.offset(), "data after the file header, which has no staves");
}

} // namespace

std::string dumpNwc(std::span<const std::uint8_t> bytes) {
    Dumper dumper(bytes);
    try {
        dumper.run();
    } catch (const NwcDumpError &error) {
        throw NwcDumpError(error.what(), error.Offset, std::move(dumper.text()));
    }
    return std::move(dumper.text());
}

} // namespace qm
