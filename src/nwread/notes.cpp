#include "nwread/notes.hpp"

#include <string>

namespace qm {

namespace {

// A byte that triggers the range check above `trigger` and is listed above `listing`.
struct RangeBound {
    int offset;
    int trigger; // -1: never triggers
    int listing;
};

constexpr RangeBound NoteBounds[] = {
    {6, -1, 0}, {8, 7, 7},  {10, 2, 2}, {11, 2, 2}, {14, 0, 0},
    {15, 1, 1}, {16, 1, 1}, {19, 1, 1}, {20, 4, 4}, {21, 0, 0},
};
constexpr RangeBound RestBounds[] = {
    {8, 7, 7}, {10, 2, 2}, {11, 3, 1}, {14, 1, 1}, {20, 4, 4},
};

template <std::size_t N>
constexpr bool anyOutOfRange(const Record &record, const RangeBound (&bounds)[N]) {
    bool triggered = false;
    for (const RangeBound &bound : bounds)
        triggered |=
            bound.trigger >= 0 && record[static_cast<std::size_t>(bound.offset)] > bound.trigger;
    return triggered;
}

// Lists every byte above its listing bound; only built for a record that triggered.
template <std::size_t N>
[[gnu::cold, gnu::noinline]] void reportOutOfRange(const Record &record,
                                                   const RangeBound (&bounds)[N], int code,
                                                   std::string_view ending, Messages &messages) {
    std::string listed;
    for (const RangeBound &bound : bounds) {
        const int value = record[static_cast<std::size_t>(bound.offset)];
        if (value > bound.listing)
            listed += " Ch" + std::to_string(bound.offset + 1) + "=" + std::to_string(value);
    }
    messages.reportError(code, " Unresolved:" + listed + std::string(ending));
}

template <std::size_t N>
void checkRanges(const Record &record, const RangeBound (&bounds)[N], int code,
                 std::string_view ending, Messages &messages) {
    if (anyOutOfRange(record, bounds)) reportOutOfRange(record, bounds, code, ending, messages);
}

[[gnu::cold, gnu::noinline]] std::uint8_t reportVeryShortLength(std::uint8_t code,
                                                                Messages &messages) {
    messages.reportError(47, "Unknown very short note length " + std::to_string(code));
    return 7;
}

void decodeCommon(Element &element, const Record &record, Messages &messages) {
    NoteData &note = element.Note;
    note = NoteData{};
    note.Duration = record[8] <= 7 ? record[8] : reportVeryShortLength(record[8], messages);
    note.Position = static_cast<StaffPosition>(decodeSignedByte(record[9]));
    note.Dotted = record[10] == 1;
    note.DoubleDotted = record[10] == 2;
    static constexpr std::uint8_t StemCodes[] = {0, 1, 2, 4};
    note.Stem = StemCodes[record[11] & 3];
    note.Grace = record[20] == 1 || (record[20] == 2 && record[8] == 4);
}

// Stores a link's byte and tells whether there is a link (a byte other than 0).
bool readLink(ElementNumber &link, std::uint8_t byte) {
    link = byte;
    return byte != 0;
}

} // namespace

std::uint8_t decodeLength(std::uint8_t code, Messages &messages) {
    return code <= 7 ? code : reportVeryShortLength(code, messages);
}

std::uint8_t decodeArticulation(std::uint8_t code) {
    return (code >= 1 && code <= 4) ? static_cast<std::uint8_t>(code - 1) : 4;
}

void decodeNote(Element &element, const Record &record, std::int32_t nwVersion,
                Messages &messages) {
    decodeCommon(element, record, messages);
    NoteData &note = element.Note;
    note.HasBeamFrom = readLink(note.BeamFrom, record[12]);
    note.HasBeamTo = readLink(note.BeamTo, record[13]);
    if (nwVersion >= 200) {
        note.Articulation = decodeArticulation(record[16]);
    } else {
        note.HasSlurFrom = readLink(note.SlurFrom, record[15]);
        note.HasSlurTo = readLink(note.SlurTo, record[16]);
    }
    note.HasTieFrom = readLink(note.TieFrom, record[17]);
    note.HasTieTo = readLink(note.TieTo, record[18]);
    checkRanges(record, NoteBounds, 24, " in note", messages);
}

void decodeRest(Element &element, const Record &record, Messages &messages) {
    decodeCommon(element, record, messages);
    checkRanges(record, RestBounds, 23, " in rest", messages);
}

} // namespace qm
