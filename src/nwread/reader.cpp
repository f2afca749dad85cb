#include "nwread/reader.hpp"

#include <array>
#include <cstddef>
#include <string>

#include "nwread/notes.hpp"
#include "nwread/signs.hpp"

namespace qm {

namespace {

void applyStaveHeader(Stave &stave, const Stave *previous, const Record &record,
                      std::int32_t nwVersion) {
    preCreateElements(stave, record[7]);
    if (previous && previous->StaffStyle == 1) {
        stave.StaffStyle = 2;
    } else if (record[13] == 30) {
        stave.StaffStyle = 3;
    } else {
        stave.StaffStyle = record[6] == 1 ? 1 : 0;
    }
    stave.SystemEnd = (record[12] != 0 && nwVersion > 170) ? 0 : 1;
    stave.SystemStart = previous ? previous->SystemEnd : 1;
    stave.YPos = decodePosition(record[0], record[1]);
}

using SignDecoder = void (*)(Element &, const Record &, DecodeContext &);

SignDecoder signDecoderFor(Kind kind) {
    switch (kind) {
    case Kind::NewStave: return decodeNewStave;
    case Kind::Clef: return decodeClef;
    case Kind::BarLine: return decodeBarLine;
    case Kind::TimeSig: return decodeTimeSig;
    case Kind::KeySig: return decodeKeySig;
    case Kind::Text: return decodeText;
    case Kind::LineSegment: return decodeLineSegment;
    case Kind::Volume: return decodeVolume;
    case Kind::Pedal: return decodePedal;
    case Kind::TempoVar: return decodeTempoVar;
    case Kind::FlowControl: return decodeFlowControl;
    case Kind::Symbol: return decodeSymbol;
    case Kind::Accidental: return decodeAccidental;
    case Kind::SlurPoint: return decodeSlurPoint;
    case Kind::Accent: return decodeAccent;
    case Kind::Arpeggio: return decodeArpeggio;
    default: return nullptr;
    }
}

std::string trailerPiece(const Record &record) {
    const std::size_t count = record[9] > 12 ? 12 : record[9];
    std::string piece(record.begin() + 10, record.begin() + 10 + static_cast<long>(count));
    if (record[9] < 12) piece += ' ';
    return piece;
}

void appendUpTo255(std::string &text, const std::string &piece) { text = cut255(text + piece); }

constexpr Kind kindBySwitch(std::uint8_t type, std::uint8_t subcode) {
    switch (type) {
    case 0: return subcode <= 3 ? Kind::NewStave : Kind::Clef;
    case 1: return Kind::KeySig;
    case 2:
    case 3: return Kind::TimeSig;
    case 4: return Kind::BarLine;
    case 5:
        switch (subcode) {
        case 12:
        case 25:
        case 31:
        case 33:
        case 35:
        case 44:
        case 46:
        case 48: return Kind::Note;
        case 39:
        case 40:
        case 41:
        case 42:
        case 43:
        case 51:
        case 52:
        case 53: return Kind::Rest;
        default: return Kind::Unknown;
        }
    case 7: return Kind::Accidental;
    case 9: return Kind::Text;
    case 11: return Kind::LineSegment;
    case 12: return Kind::SlurPoint;
    case 13:
        switch (subcode) {
        case 115:
        case 116:
        case 118: return Kind::FlowControl;
        case 64:
        case 129: return Kind::Accent;
        case 65:
        case 66:
        case 128: return Kind::TempoVar;
        case 134:
        case 135: return Kind::Pedal;
        case 138:
        case 139:
        case 140:
        case 141:
        case 142:
        case 143: return Kind::Volume;
        default: return Kind::Symbol;
        }
    case 14: return Kind::Arpeggio;
    default: return Kind::Unknown;
    }
}

// Record types above this have no kind of their own.
constexpr std::size_t KnownRecordTypes = 16;

// kindBySwitch for every type and subcode, looked up once per record.
constexpr auto KindTable = [] {
    std::array<std::array<Kind, 256>, KnownRecordTypes> table{};
    for (std::size_t type = 0; type < KnownRecordTypes; ++type)
        for (std::size_t subcode = 0; subcode < 256; ++subcode)
            table[type][subcode] =
                kindBySwitch(static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(subcode));
    return table;
}();

// The reports of a malformed record, kept out of the way of the reading of sound ones.
[[gnu::cold, gnu::noinline]] void reportNumberMismatch(const Record &record, std::int32_t k,
                                                       std::int32_t e, Messages &messages) {
    if (record[0] != (k & 0xFF))
        messages.reportError(39, "Mismatch in stave number of element " + std::to_string(k));
    if (record[1] != (e & 0xFF))
        messages.reportError(40, "Mismatch in element number " + std::to_string(e));
}

[[gnu::cold, gnu::noinline]] void reportUnknownElement(Kind kind, std::int32_t k, std::int32_t e,
                                                       Messages &messages) {
    messages.reportError(41, "Unexpected or unknown staff element: " + kindName(kind) +
                                 " (possibly a flow direction)" + " for stave " +
                                 std::to_string(k) + ", element " + std::to_string(e));
}

} // namespace

Kind kindOfRecord(std::uint8_t type, std::uint8_t subcode) {
    return type < KnownRecordTypes ? KindTable[type][subcode] : Kind::Unknown;
}

HeaderReadResult readNWHeader(RecordSource &source, Score &score, Messages &messages) {
    HeaderReadResult result;
    score.TitleIndex = 0;
    Record record;
    if (source.read(record) < RecordSize) {
        messages.reportError(43, "Unexpected end of file in first line");
        result.ShortRecord = true;
        return result;
    }
    result.StaveCount = record[0];
    createStaves(score, record[0], record[8], messages);

    const Stave *previous = nullptr;
    for (Stave &stave : score.Staves) {
        if (source.read(record) < RecordSize) {
            messages.reportError(44, "Unexpected end of file");
            result.ShortRecord = true;
            break;
        }
        applyStaveHeader(stave, previous, record, score.NWVersion);
        previous = &stave;
    }
    return result;
}

KindCensus readNWStave(RecordSource &source, Score &score, std::int32_t k, Messages &messages) {
    KindCensus census{};
    auto stave = staveAt(score, k);
    if (stave == score.Staves.end()) return census;
    stave->LyricLines = 0;
    std::int32_t e = 0;
    for (Element &element : stave->Elements) {
        readNWElement(source, score, *stave, element, k, ++e, messages);
        ++census[static_cast<std::size_t>(element.Kind)];
    }
    return census;
}

void readNWElement(RecordSource &source, Score &score, Stave &stave, Element &element,
                   std::int32_t k, std::int32_t e, Messages &messages) {
    Record record;
    const std::size_t got = source.read(record);
    if (got == 0) return;
    if (got < RecordSize) {
        messages.reportError(38, "Unexpectedly short final line for stave element");
        return;
    }
    if (record[0] != (k & 0xFF) || record[1] != (e & 0xFF))
        reportNumberMismatch(record, k, e, messages);

    // Stave and element counts are bytes of the file.
    element.StaveNo = static_cast<StaveNumber>(k);
    element.ElementNo = static_cast<ElementNumber>(e);
    element.XPos = decodePosition(record[2], record[3]);
    element.YPos = decodePosition(record[4], record[5]);
    element.Kind = kindOfRecord(record[7], record[6]);

    if (element.Kind == Kind::Note) {
        decodeNote(element, record, score.NWVersion, messages);
    } else if (element.Kind == Kind::Rest) {
        decodeRest(element, record, messages);
    } else if (SignDecoder decode = signDecoderFor(element.Kind)) {
        DecodeContext context{stave, score, messages};
        decode(element, record, context);
    } else {
        reportUnknownElement(element.Kind, k, e, messages);
    }
}

void readNWTrailer(RecordSource &source, Score &score, Messages &messages) {
    score.HeaderText.clear();
    score.FooterText.clear();
    Record record;
    while (source.read(record) == RecordSize) {
        if (record[0] != 0 || (record[1] != 1 && record[1] != 2)) {
            messages.reportError(65, "Unexpected line at end of file");
            continue;
        }
        appendUpTo255(record[1] == 1 ? score.HeaderText : score.FooterText, trailerPiece(record));
    }
}

} // namespace qm
