#include "nwcwrite/staff.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>

#include "core/symbols.hpp"

namespace qm {

namespace {

// None codes: an element holding one of these stands for nothing and writes no record.
constexpr std::uint8_t NoDynamicVar = 5;
constexpr std::uint8_t NoPerformanceStyle = 23;
constexpr std::uint8_t NoTempoVar = 9;
constexpr std::uint8_t NoFlowControl = 10;

// Placements of the marks that the format shows at a fixed height (-8 and -12 as bytes).
constexpr std::int32_t FlowControlPlacement = 248;
constexpr std::int32_t FixedSymbolPlacement = 244;
constexpr std::uint8_t SymbolFont = 6;

constexpr std::array<std::uint8_t, 8> VolumeVelocity = {10, 30, 45, 60, 75, 92, 108, 127};
constexpr std::uint8_t DefaultVelocity = 75;

constexpr std::array<std::uint8_t, 6> TextFont = {4, 5, 4, 2, 0, 3};
constexpr std::uint8_t DefaultTextFont = 4;

// NWC accidental code by model accidental: double flat, flat, natural, sharp, double sharp.
constexpr std::array<std::uint8_t, 5> NwcAccidental = {4, 1, 2, 0, 3};
constexpr std::uint8_t NoNwcAccidental = 5;

// Key letters as mask bits (A = bit 0 ... G = bit 6), in the order the signs are added.
constexpr std::array<std::uint8_t, 7> FlatOrder = {1, 4, 0, 3, 6, 2, 5};  // B E A D G C F
constexpr std::array<std::uint8_t, 7> SharpOrder = {5, 2, 6, 3, 0, 4, 1}; // F C G D A E B

// Staff header bytes between the two strings and the object count, as a new file holds them;
// the final-bar flag, the staff style and the top extent are filled in per stave.
constexpr std::size_t FinalBarByte = 0;
constexpr std::size_t StyleByte = 13;
constexpr std::size_t TopExtentByte = 15;
constexpr std::size_t ObjectCountWord = 35;
constexpr std::array<std::uint8_t, 35> StaffHeaderTail = {
    0, 0,    0, 0, 0, 0, 0,    0, 0,    0, 0, 0, 0, 0, 0, 0, 0xFF, 0x0C,
    0, 0x05, 0, 0, 0, 0, 0x7F, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0};

// The top extent fits the header byte as a negative signed byte, so at most 128.
constexpr std::int64_t MaxStoredTopExtent = 128;

bool countsAsMark(Kind kind) {
    switch (kind) {
    case Kind::Text:
    case Kind::Volume:
    case Kind::DynamicVar:
    case Kind::Pedal:
    case Kind::TempoVar:
    case Kind::FlowControl:
    case Kind::Symbol:
    case Kind::Accent: return true;
    default: return false;
    }
}

// What an element adds to the staff's object count. A chord's members follow it as notes that
// each add one, so the chord takes back all but one of them.
std::int64_t objectContribution(const Element &element) {
    switch (element.Kind) {
    case Kind::Clef:
    case Kind::BarLine:
    case Kind::Note:
    case Kind::Rest:
    case Kind::TimeSig:
    case Kind::KeySig:
    case Kind::Text:
    case Kind::Volume:
    case Kind::DynamicVar:
    case Kind::PerformanceStyle:
    case Kind::Pedal:
    case Kind::TempoVar:
    case Kind::FlowControl:
    case Kind::Symbol: return 1;
    case Kind::Chord: return 1 - static_cast<std::int64_t>(element.Note.MemberCount);
    default: return 0;
    }
}

std::int32_t clampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::string_view tableText(const Score &score, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= score.TextTable.size()) return {};
    return score.TextTable[static_cast<std::size_t>(index)];
}

// What the staff header says of the records after it, gathered in the walk that writes them.
class StaffTally {
public:
    // Taken before the element's record is written, as the writer moves some marks.
    void add(const Element &element) {
        Objects += objectContribution(element);
        if (!countsAsMark(element.Kind)) return;
        // Marks with YPos above 128 stand for negative byte placements.
        std::int64_t y = element.YPos;
        if (y > 128) y -= 256;
        Topmost = std::min(Topmost, y);
    }
    // Counts beyond a word cannot be stored; the largest word is written instead.
    std::uint16_t objectCountWord() const { return clampToWord(Objects); }
    // The topmost mark m (starting from 128) gives the extent 4 - m, at least 12; the byte
    // holds it negated, so at most 128 of it.
    std::uint8_t topExtentByte() const {
        const std::int64_t extent = std::clamp<std::int64_t>(4 - Topmost, 12, MaxStoredTopExtent);
        return static_cast<std::uint8_t>(256 - extent);
    }

private:
    std::int64_t Objects = 2;
    std::int64_t Topmost = 128;
};

// The header with room for the figures of the tally; returns where its tail starts.
std::size_t writeStaffHeader(NwcOutput &out, const Stave &stave) {
    out.writeString("Staff-" + std::to_string(stave.StaveNo));
    out.writeString("Standard");
    const std::size_t tailAt = out.size();
    std::array<std::uint8_t, 37> tail{};
    std::copy(StaffHeaderTail.begin(), StaffHeaderTail.end(), tail.begin());
    tail[FinalBarByte] = (stave.FinalBarStyle == 5 || stave.FinalBarStyle == 7) ? 1 : 0;
    tail[StyleByte] = stave.StaffStyle;
    out.writeBytes(tail);
    return tailAt;
}

void completeStaffHeader(NwcOutput &out, std::size_t tailAt, const StaffTally &tally) {
    out.overwriteByte(tailAt + TopExtentByte, tally.topExtentByte());
    out.overwriteWord(tailAt + ObjectCountWord, tally.objectCountWord());
}

std::uint16_t letterMask(const std::array<std::uint8_t, 7> &order, std::int32_t count) {
    std::uint16_t mask = 0;
    for (std::size_t i = 0; i < order.size() && static_cast<std::int32_t>(i) < count; ++i)
        mask = static_cast<std::uint16_t>(mask | (1u << order[i]));
    return mask;
}

std::uint16_t flatMask(const Element *keySig) {
    if (keySig == nullptr || !keySig->KeySig.Flats) return 0;
    return letterMask(FlatOrder, keySig->KeySig.SignCount);
}

std::uint16_t sharpMask(const Element *keySig) {
    if (keySig == nullptr || !keySig->KeySig.Sharps) return 0;
    return letterMask(SharpOrder, keySig->KeySig.SignCount);
}

// The last key signature before the element in its stave, or null (also when the element is
// not in the stave at all).
const Element *findPreviousKeySig(const Stave &stave, const Element &element) {
    const Element *previous = nullptr;
    for (const Element &e : stave.Elements) {
        if (&e == &element) return previous;
        if (e.Kind == Kind::KeySig) previous = &e;
    }
    return nullptr;
}

std::uint8_t lowByte(std::uint16_t word) { return static_cast<std::uint8_t>(word & 0xFF); }
std::uint8_t highByte(std::uint16_t word) { return static_cast<std::uint8_t>(word >> 8); }

void writeKeySig(NwcOutput &out, const Element &element, const Element *previousKeySig) {
    const std::uint16_t flats = flatMask(&element);
    const std::uint16_t sharps = sharpMask(&element);
    const std::uint16_t previousFlats = flatMask(previousKeySig);
    const std::uint16_t previousSharps = sharpMask(previousKeySig);
    out.writeBytes(std::array<std::uint8_t, 13>{1, 0, 0, lowByte(flats), highByte(flats),
                                                lowByte(sharps), highByte(sharps), 0, 0,
                                                lowByte(previousFlats), highByte(previousFlats),
                                                lowByte(previousSharps), highByte(previousSharps)});
}

void writeClef(NwcOutput &out, const Element &element) {
    out.writeBytes(std::array<std::uint8_t, 7>{0, 0, 0, element.Code, 0, 0, 0});
}

void writeBarLine(NwcOutput &out, const Element &element) {
    const std::uint8_t closing = (element.Code == 5 || element.Code == 7) ? 2 : 1;
    out.writeBytes(std::array<std::uint8_t, 5>{2, 0, 0, element.Code, closing});
}

// How often the denominator halves (rounding down) before it is 1 or less: its power of two.
std::uint16_t denominatorExponent(std::int32_t denominator) {
    std::uint16_t exponent = 0;
    for (; denominator > 1; denominator /= 2)
        ++exponent;
    return exponent;
}

// The numerator is a word in the record; one above 65535 (or below 0) is clamped to it.
void writeTimeSig(NwcOutput &out, const Element &element) {
    const TimeSigData &sig = element.TimeSig;
    const std::uint16_t numerator = clampToWord(sig.Numerator);
    const std::uint16_t exponent = denominatorExponent(sig.Denominator);
    const std::uint8_t style = sig.CommonTime ? 1 : (sig.CutTime ? 2 : 0);
    out.writeBytes(std::array<std::uint8_t, 9>{5, 0, 0, lowByte(numerator), highByte(numerator),
                                               lowByte(exponent), highByte(exponent), style, 0});
}

// Record type, two zero bytes, the element's placement byte, a zero byte, and the bytes of the
// record's own.
template <std::size_t N>
void writeMarkRecord(NwcOutput &out, const Element &element, std::uint8_t type,
                     const std::array<std::uint8_t, N> &own) {
    std::uint8_t *at = out.extend(5 + N);
    at[0] = type;
    at[3] = placementByte(element.YPos);
    std::copy(own.begin(), own.end(), at + 5);
}

void writeVolume(NwcOutput &out, const Element &element) {
    const std::uint8_t velocity =
        element.Code < VolumeVelocity.size() ? VolumeVelocity[element.Code] : DefaultVelocity;
    writeMarkRecord(out, element, 7,
                    std::array<std::uint8_t, 5>{element.Code, velocity, 0, 0xFF, 0xFF});
}

void writeCodedMark(NwcOutput &out, const Element &element, std::uint8_t type) {
    writeMarkRecord(out, element, type, std::array<std::uint8_t, 1>{element.Code});
}

void writeFlowControl(NwcOutput &out, Element &element) {
    if (element.Code == NoFlowControl) return;
    element.YPos = FlowControlPlacement;
    writeMarkRecord(out, element, 12, std::array<std::uint8_t, 2>{element.Code, 0});
}

void writeTempoVar(NwcOutput &out, Element &element) {
    if (element.Code == NoTempoVar) return;
    if (element.Code == 1) element.YPos = clampToInt32(static_cast<std::int64_t>(element.YPos) - 5);
    writeMarkRecord(out, element, 14, std::array<std::uint8_t, 2>{element.Code, 0});
}

void writeText(NwcOutput &out, const Element &element, const Score &score) {
    const std::uint8_t style = element.Text.TextStyle;
    const std::uint8_t font = style < TextFont.size() ? TextFont[style] : DefaultTextFont;
    writeMarkRecord(out, element, 17, std::array<std::uint8_t, 1>{font});
    out.writeString(tableText(score, element.Text.TextIndex));
}

// A sign without an NWC object of its own goes out as its name, in the symbol font.
void writeSymbol(NwcOutput &out, Element &element) {
    if (!symbolKeepsPosition(element.Code)) element.YPos = FixedSymbolPlacement;
    writeMarkRecord(out, element, 17, std::array<std::uint8_t, 1>{SymbolFont});
    out.writeString(symbolName(element.Code));
}

std::optional<std::uint8_t> noteRecordType(Kind kind) {
    switch (kind) {
    case Kind::Note: return 8;
    case Kind::Rest: return 9;
    case Kind::RestChord: return 18;
    case Kind::Chord: return 10;
    default: return std::nullopt;
    }
}

// 1 beam starts (only To), 2 inside (both), 3 ends (only From), 0 none.
std::uint8_t linkCode(bool from, bool to) {
    if (from && to) return 2;
    if (to) return 1;
    if (from) return 3;
    return 0;
}

std::uint8_t flagsA(const NoteData &note) {
    const std::uint8_t stem = note.Stem == 0 ? 1 : (note.Stem == 1 ? 2 : 0);
    return static_cast<std::uint8_t>(linkCode(note.HasBeamFrom, note.HasBeamTo) |
                                     linkCode(note.AuxFrom, note.AuxTo) << 2 | stem << 4);
}

std::uint8_t bit(bool set, int position) {
    return static_cast<std::uint8_t>(set ? 1u << position : 0u);
}

std::uint8_t flagsB(const NoteData &note, Kind kind) {
    const bool single = kind == Kind::Note || kind == Kind::Rest;
    // The double dot wins when both are set, and is written alone as for a double-dotted note.
    const bool dotted = note.Dotted && !note.DoubleDotted;
    return bit(note.DoubleDotted, 0) | bit(note.Articulation == 0, 1) | bit(dotted, 2) |
           bit(note.HasTieFrom, 3) | bit(note.HasTieTo, 4) | bit(note.Articulation == 2, 5) |
           bit(single && note.InChord, 6) | bit(kind != Kind::RestChord && note.ChordFlag, 7);
}

std::uint8_t flagsC(const NoteData &note) {
    return bit(note.HasSlurTo, 0) | bit(note.HasSlurFrom, 1) | bit(note.Articulation == 1, 2) |
           bit(note.Grace, 5);
}

bool isRestRecord(Kind kind) { return kind == Kind::Rest || kind == Kind::RestChord; }

// The staff position negated, modulo 256 (computed unsigned, so any position is safe).
std::uint8_t positionByte(const Element &element) {
    if (isRestRecord(element.Kind)) return 0;
    return static_cast<std::uint8_t>(0u - static_cast<std::uint32_t>(element.Note.Position));
}

std::uint8_t byteD(const Element &element, std::uint8_t position) {
    if (isRestRecord(element.Kind)) return 0;
    const std::uint8_t low = position < 0x80 ? 8 : 0;
    if (element.Kind == Kind::Chord) return static_cast<std::uint8_t>(5 + low);
    const std::uint8_t accidental = element.Note.Accidental;
    const std::uint8_t code =
        accidental < NwcAccidental.size() ? NwcAccidental[accidental] : NoNwcAccidental;
    return static_cast<std::uint8_t>(code + low);
}

// Dispatches on the kind; previousKeySig is the stave's last key signature before the element.
void writeElementRecord(NwcOutput &out, Element &element, const Element *previousKeySig,
                        const Score &score, Messages &messages) {
    switch (element.Kind) {
    case Kind::Clef: writeClef(out, element); return;
    case Kind::KeySig: writeKeySig(out, element, previousKeySig); return;
    case Kind::BarLine: writeBarLine(out, element); return;
    case Kind::TimeSig: writeTimeSig(out, element); return;
    case Kind::Volume: writeVolume(out, element); return;
    case Kind::Note:
    case Kind::Rest:
    case Kind::RestChord:
    case Kind::Chord: writeNoteRecord(out, element, messages); return;
    case Kind::Pedal: writeCodedMark(out, element, 11); return;
    case Kind::FlowControl: writeFlowControl(out, element); return;
    case Kind::TempoVar: writeTempoVar(out, element); return;
    case Kind::DynamicVar:
        if (element.Code != NoDynamicVar) writeCodedMark(out, element, 15);
        return;
    case Kind::PerformanceStyle:
        if (element.Code != NoPerformanceStyle) writeCodedMark(out, element, 16);
        return;
    case Kind::Text: writeText(out, element, score); return;
    case Kind::Symbol: writeSymbol(out, element); return;
    case Kind::Unknown: return;
    default:
        messages.reportError(63, "Failed to write element of type " + kindName(element.Kind) +
                                     " into file.");
        return;
    }
}

} // namespace

void writeNoteRecord(NwcOutput &out, const Element &element, Messages &messages) {
    const std::optional<std::uint8_t> type = noteRecordType(element.Kind);
    if (!type) {
        messages.reportError(2, "Trying to write note when no note present.");
        return;
    }
    const NoteData &note = element.Note;
    if (note.Duration == 0)
        messages.reportError(1, "NWC does not support breve notes; breve written as a semibreve");
    const std::uint8_t position = positionByte(element);
    // A chord's record ends with its member count as a word; a count outside 0..65535 is
    // clamped to it.
    const bool hasMembers = element.Kind == Kind::RestChord || element.Kind == Kind::Chord;
    std::uint8_t *record = out.extend(hasMembers ? 13 : 11);
    record[0] = *type;
    record[3] = note.Duration == 0 ? std::uint8_t{0} : static_cast<std::uint8_t>(note.Duration - 1);
    record[5] = flagsA(note);
    record[7] = flagsB(note, element.Kind);
    record[8] = flagsC(note);
    record[9] = position;
    record[10] = byteD(element, position);
    if (!hasMembers) return;
    const std::uint16_t members = clampToWord(note.MemberCount);
    record[11] = lowByte(members);
    record[12] = highByte(members);
}

void writeStaff(NwcOutput &out, Stave &stave, const Score &score, Messages &messages) {
    const std::size_t headerTail = writeStaffHeader(out, stave);
    // One walk writes the records and gathers the header's figures; the previous key signature
    // is carried along.
    StaffTally tally;
    const Element *previousKeySig = nullptr;
    for (Element &element : stave.Elements) {
        tally.add(element);
        writeElementRecord(out, element, previousKeySig, score, messages);
        if (element.Kind == Kind::KeySig) previousKeySig = &element;
    }
    completeStaffHeader(out, headerTail, tally);
}

void writeElement(NwcOutput &out, Element &element, const Stave &stave, const Score &score,
                  Messages &messages) {
    const Element *previousKeySig =
        element.Kind == Kind::KeySig ? findPreviousKeySig(stave, element) : nullptr;
    writeElementRecord(out, element, previousKeySig, score, messages);
}

} // namespace qm
