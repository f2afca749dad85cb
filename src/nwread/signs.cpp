#include "nwread/signs.hpp"

#include <string>

#include "core/symbols.hpp"

namespace qm {

namespace {

// A text record holds at most this many characters, from byte 10 to the end.
constexpr std::size_t TextCharsPerRecord = 12;

std::string num(std::int32_t value) { return std::to_string(value); }

// NW bytes above 127 stand for flat, sharp, note letters or glyphs with no text form.
char translateTextByte(std::uint8_t c) {
    if (c < 128) return static_cast<char>(c);
    if (c == 128) return 'b';
    if (c == 129) return '#';
    if (c <= 136) return static_cast<char>('A' + (c - 130));
    return '?';
}

std::string readTextChars(const Record &record, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += translateTextByte(record[10 + i]);
    return text;
}

// The digit of a type-2 time-signature record: glyphs 8..17 and 67..76 are 0..9.
std::int32_t timeSigDigit(std::uint8_t subcode, Messages &messages) {
    if (subcode >= 8 && subcode <= 17) return subcode - 8;
    if (subcode >= 67 && subcode <= 76) return subcode - 67;
    messages.reportError(34, "Unknown time signature with Ch7=" + num(subcode));
    return 0;
}

void decodeTimeSymbol(TimeSigData &timeSig, std::uint8_t subcode, Messages &messages) {
    if (subcode != 19 && subcode != 20)
        messages.reportError(32, "Unsure of common time signature for Ch8=3, Ch7=" + num(subcode));
    if (subcode == 20) {
        timeSig.CutTime = 1;
    } else {
        timeSig.CommonTime = 1;
    }
    timeSig.Numerator = 2;
    timeSig.Denominator = 4;
    timeSig.IsTop = 0;
}

} // namespace

void decodeNewStave(Element &element, const Record &record, DecodeContext &context) {
    context.stave.StaveNo = element.StaveNo;
    context.stave.InitialClef = static_cast<std::uint8_t>(record[8] % 4);
    context.stave.YPos = element.YPos;
    element.Code = 0;
}

void decodeClef(Element &element, const Record &record, DecodeContext &) {
    element.Code = static_cast<std::uint8_t>(record[8] % 4);
}

void decodeBarLine(Element &element, const Record &record, DecodeContext &context) {
    static constexpr std::uint8_t Styles[] = {0, 1, 4, 5, 6, 7, 2, 3};
    if (record[8] < std::size(Styles)) {
        element.Code = Styles[record[8]];
        return;
    }
    element.Code = 0;
    context.messages.reportError(31, "Unknown barline " + num(record[8]) + " in " + num(record[0]) +
                                         "th stave, element " + num(record[1]));
}

void decodeTimeSig(Element &element, const Record &record, DecodeContext &context) {
    TimeSigData &timeSig = element.TimeSig;
    timeSig = TimeSigData{};
    const std::uint8_t subcode = record[6];
    if (record[7] == 3) {
        decodeTimeSymbol(timeSig, subcode, context.messages);
        return;
    }
    const std::int32_t digit = timeSigDigit(subcode, context.messages);
    // A digit on or above the stave's reference belongs to the upper number.
    timeSig.IsTop = context.stave.YPos >= element.YPos ? 1 : 0;
    if (timeSig.IsTop) {
        timeSig.Numerator = digit;
    } else {
        timeSig.Denominator = digit;
    }
}

void decodeKeySig(Element &element, const Record &record, DecodeContext &) {
    KeySigData &keySig = element.KeySig;
    const std::uint8_t b = record[8];
    const bool flats = b > 128;
    keySig.Flats = flats ? 1 : 0;
    keySig.Sharps = flats ? 0 : 1;
    keySig.SignCount = flats ? 256 - b : b;
}

void decodeText(Element &element, const Record &record, DecodeContext &context) {
    std::uint8_t style = record[8];
    if (style == 0 || style > 5) context.messages.reportError(35, "Unknown text style");
    if (style == 0) style = 1;
    element.Text.TextStyle = style;

    std::size_t count = record[9];
    if (count > TextCharsPerRecord) {
        context.messages.reportError(36, "Text too long to process correctly.");
        count = TextCharsPerRecord;
    }
    // Every text keeps an entry of its own: the table grows with the file.
    Score &score = context.score;
    score.TextTable.push_back(readTextChars(record, count));
    score.TextCount = static_cast<std::int32_t>(score.TextTable.size() - 1);
    element.Text.TextIndex = score.TextCount;
}

void decodeLineSegment(Element &element, const Record &record, DecodeContext &context) {
    element.Kind = Kind::Unknown;
    if (record[6] == 157)
        context.messages.reportError(61, "Line segment in NW file has no equivalent in NWC format");
}

void decodeArpeggio(Element &element, const Record &, DecodeContext &context) {
    element.Kind = Kind::Unknown;
    context.messages.reportError(61, "Arpeggio in NW file has no equivalent in NWC format");
}

void decodeVolume(Element &element, const Record &record, DecodeContext &) {
    // Subcodes 138..143 are pp..ff, dynamic levels 1..6.
    element.Code = static_cast<std::uint8_t>(record[6] - 137);
}

void decodePedal(Element &element, const Record &record, DecodeContext &) {
    element.Code = record[6] == 134 ? 1 : 0;
}

void decodeTempoVar(Element &element, const Record &record, DecodeContext &) {
    element.Code = record[6] == 128 ? 0 : 1;
}

void decodeFlowControl(Element &element, const Record &record, DecodeContext &context) {
    switch (record[6]) {
    case 115: element.Code = 0; return;
    case 116: element.Code = 1; return;
    default:
        element.Code = 10;
        context.messages.reportError(25, "Unknown Ending");
        return;
    }
}

void decodeSymbol(Element &element, const Record &record, DecodeContext &context) {
    element.Code = record[6];
    context.messages.reportWarning(
        6, "Symbol " + num(record[6]) + " changed to text: " + std::string(symbolName(record[6])));
}

void decodeAccidental(Element &element, const Record &record, DecodeContext &context) {
    element.Accidental.Position = static_cast<StaffPosition>(decodeSignedByte(record[8]));
    const std::int32_t alteration = decodeSignedByte(record[9]);
    if (alteration >= -2 && alteration <= 2) {
        element.Code = static_cast<std::uint8_t>(alteration + 2);
        return;
    }
    element.Code = 5;
    context.messages.reportError(29, "Unrecognised accidental " + num(record[9]) + " in " +
                                         num(record[0]) + "th stave, element " + num(record[1]));
}

void decodeSlurPoint(Element &element, const Record &record, DecodeContext &) {
    element.Code = record[9];
}

void decodeAccent(Element &element, const Record &record, DecodeContext &) {
    element.Code = record[6] == 129 ? 3 : 2;
}

} // namespace qm
