#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "nwcwrite/staff.hpp"
#include "support/builders.hpp"
#include "support/hex_bytes.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::Bytes;
using test::hex;
using test::make;

// Writes one element alone in its stave and keeps what came out.
struct Record {
    explicit Record(Element e, std::vector<std::string> texts = {""}) {
        score.TextTable = std::move(texts);
        stave.Elements.push_back(e);
        NwcOutput out;
        writeElement(out, stave.Elements.front(), stave, score, messages);
        bytes = out.take();
    }
    const Element &written() const { return stave.Elements.front(); }

    Score score;
    Stave stave;
    test::RecordingMessages messages;
    Bytes bytes;
};

TEST(NwcWriteRecords, ClefAndBarLine) {
    EXPECT_EQ(Record(make({.kind = Kind::Clef, .code = 2})).bytes, hex("00 00 00 02 00 00 00"));
    // The second byte after the style marks the two double-bar styles.
    for (std::uint8_t style = 0; style <= 8; ++style) {
        const std::uint8_t r = (style == 5 || style == 7) ? 2 : 1;
        EXPECT_EQ(Record(make({.kind = Kind::BarLine, .code = style})).bytes,
                  (Bytes{2, 0, 0, style, r}))
            << int(style);
    }
}

TEST(NwcWriteRecords, TimeSignatureDenominatorExponentAndSymbol) {
    struct Case {
        std::int32_t numerator, denominator;
        std::uint8_t common, cut;
        std::string bytes;
    };
    const Case cases[] = {
        {6, 8, 0, 0, "05 00 00 06 00 03 00 00 00"},
        {3, 4, 0, 0, "05 00 00 03 00 02 00 00 00"},
        {3, 2, 0, 0, "05 00 00 03 00 01 00 00 00"},
        {5, 6, 0, 0, "05 00 00 05 00 02 00 00 00"},
        {4, 1, 0, 0, "05 00 00 04 00 00 00 00 00"},
        {4, 0, 0, 0, "05 00 00 04 00 00 00 00 00"},
        {4, -8, 0, 0, "05 00 00 04 00 00 00 00 00"},
        {4, 4, 1, 0, "05 00 00 04 00 02 00 01 00"},
        {2, 2, 0, 1, "05 00 00 02 00 01 00 02 00"},
        {2, 2, 1, 1, "05 00 00 02 00 01 00 01 00"},
        {4, std::numeric_limits<std::int32_t>::max(), 0, 0, "05 00 00 04 00 1E 00 00 00"},
        // A numerator too large for a byte goes out as the word it is; beyond a word, clamped.
        {300, 4, 0, 0, "05 00 00 2C 01 02 00 00 00"},
        {100000, 4, 0, 0, "05 00 00 FF FF 02 00 00 00"},
        {-3, 4, 0, 0, "05 00 00 00 00 02 00 00 00"},
    };
    for (const Case &c : cases) {
        Element e = make({.kind = Kind::TimeSig});
        e.TimeSig.Numerator = c.numerator;
        e.TimeSig.Denominator = c.denominator;
        e.TimeSig.CommonTime = c.common;
        e.TimeSig.CutTime = c.cut;
        EXPECT_EQ(Record(e).bytes, hex(c.bytes)) << c.numerator << "/" << c.denominator;
    }
}

TEST(NwcWriteRecords, VolumeVelocityByLevel) {
    const std::pair<std::uint8_t, std::uint8_t> velocities[] = {
        {0, 10},  {1, 30},  {2, 45}, {3, 60},  {4, 75},   {5, 92},
        {6, 108}, {7, 127}, {8, 75}, {30, 75}, {255, 75},
    };
    for (auto [level, velocity] : velocities)
        EXPECT_EQ(Record(make({.kind = Kind::Volume, .y = -20, .code = level})).bytes,
                  (Bytes{7, 0, 0, 0xEC, 0, level, velocity, 0, 0xFF, 0xFF}))
            << int(level);
}

TEST(NwcWriteRecords, TextFontByStyleAndGuardedTextIndex) {
    Score score;
    score.TextTable = {"", "dolce"};
    const std::pair<std::uint8_t, std::uint8_t> fonts[] = {{0, 4}, {1, 5}, {2, 4}, {3, 2},
                                                           {4, 0}, {5, 3}, {6, 4}, {255, 4}};
    for (auto [style, font] : fonts) {
        Element e = make({.kind = Kind::Text, .y = 3, .code = 0});
        e.Text.TextIndex = 1;
        e.Text.TextStyle = style;
        EXPECT_EQ(Record(e, score.TextTable).bytes,
                  (Bytes{17, 0, 0, 3, 0, font, 'd', 'o', 'l', 'c', 'e', 0}))
            << int(style);
    }
    for (std::int32_t index : {-1, 2, 1000}) {
        Element e = make({.kind = Kind::Text});
        e.Text.TextIndex = index;
        EXPECT_EQ(Record(e, score.TextTable).bytes, hex("11 00 00 00 00 04 00")) << index;
    }
}

TEST(NwcWriteRecords, SymbolIsTextInFontSixAtItsOwnOrAFixedPlace) {
    const Record octave(make({.kind = Kind::Symbol, .y = -30, .code = 146}));
    EXPECT_EQ(octave.bytes, (Bytes{17, 0, 0, 0xE2, 0, 6, '8', 'v', 'a', 0}));
    EXPECT_EQ(octave.written().YPos, -30);

    for (std::uint8_t code : {65, 66, 75, 76, 126, 127, 129, 130, 136}) {
        const Record fixed(make({.kind = Kind::Symbol, .y = 40, .code = code}));
        ASSERT_GE(fixed.bytes.size(), 7u);
        EXPECT_EQ(fixed.bytes[3], 0xF4) << int(code);
        EXPECT_EQ(fixed.bytes[5], 6) << int(code);
        EXPECT_EQ(fixed.written().YPos, 244) << int(code);
    }
    const Record unknown(make({.kind = Kind::Symbol, .y = 2, .code = 200}));
    Bytes expected = {17, 0, 0, 2, 0, 6};
    for (char c : std::string("Unknown symbol"))
        expected.push_back(static_cast<std::uint8_t>(c));
    expected.push_back(0);
    EXPECT_EQ(unknown.bytes, expected);
}

TEST(NwcWriteRecords, MarksWithCodesAndTheirNoneCodes) {
    EXPECT_EQ(Record(make({.kind = Kind::Pedal, .y = 12, .code = 1})).bytes,
              hex("0B 00 00 0C 00 01"));
    EXPECT_EQ(Record(make({.kind = Kind::DynamicVar, .y = -4, .code = 3})).bytes,
              hex("0F 00 00 FC 00 03"));
    EXPECT_EQ(Record(make({.kind = Kind::PerformanceStyle, .y = 0, .code = 7})).bytes,
              hex("10 00 00 00 00 07"));
    EXPECT_EQ(Record(make({.kind = Kind::TempoVar, .y = 10, .code = 2})).bytes,
              hex("0E 00 00 0A 00 02 00"));

    // A flow control always sits at F8; a tempo variation of code 1 is lifted by 5.
    const Record flow(make({.kind = Kind::FlowControl, .y = 77, .code = 3}));
    EXPECT_EQ(flow.bytes, hex("0C 00 00 F8 00 03 00"));
    EXPECT_EQ(flow.written().YPos, 248);
    const Record tempo(make({.kind = Kind::TempoVar, .y = 10, .code = 1}));
    EXPECT_EQ(tempo.bytes, hex("0E 00 00 05 00 01 00"));
    EXPECT_EQ(tempo.written().YPos, 5);
    const Record lowest(
        make({.kind = Kind::TempoVar, .y = std::numeric_limits<std::int32_t>::min(), .code = 1}));
    EXPECT_EQ(lowest.bytes, hex("0E 00 00 80 00 01 00"));

    for (const Element &none : {make({.kind = Kind::DynamicVar, .code = 5}),
                                make({.kind = Kind::PerformanceStyle, .code = 23}),
                                make({.kind = Kind::TempoVar, .y = 10, .code = 9}),
                                make({.kind = Kind::FlowControl, .y = 7, .code = 10}),
                                make({.kind = Kind::Unknown, .code = 3})}) {
        const Record r(none);
        EXPECT_TRUE(r.bytes.empty()) << int(none.Kind);
        EXPECT_EQ(r.written().YPos, none.YPos) << int(none.Kind);
        EXPECT_TRUE(r.messages.lines.empty());
    }
}

TEST(NwcWriteRecords, PlacementByteWrapsWithinAByteRangeAndPinsBeyondIt) {
    const std::pair<std::int32_t, std::uint8_t> cases[] = {
        {0, 0x00},    {5, 0x05},    {-1, 0xFF},      {-128, 0x80}, {200, 0xC8},    {255, 0xFF},
        {-256, 0x00}, {-257, 0x80}, {-100000, 0x80}, {256, 0x7F},  {100000, 0x7F},
    };
    for (auto [yPos, placement] : cases)
        EXPECT_EQ(Record(make({.kind = Kind::Pedal, .y = yPos, .code = 0})).bytes[3], placement)
            << yPos;
}

TEST(NwcWriteRecords, KindsWithoutARecordAreError63) {
    const std::pair<Kind, std::string> cases[] = {
        {Kind::NewStave, "New Stave"},     {Kind::LineSegment, "Oops! "},
        {Kind::Accidental, "Accidental"},  {Kind::SlurPoint, "Slur Point"},
        {Kind::Accent, "Accent"},          {Kind::Arpeggio, "Oops! "},
        {static_cast<Kind>(40), "Oops! "},
    };
    for (const auto &[kind, name] : cases) {
        const Record r(make({.kind = kind}));
        EXPECT_TRUE(r.bytes.empty()) << name;
        EXPECT_EQ(r.messages.lines, std::vector<std::string>{"Error 63: Failed to write element "
                                                             "of type " +
                                                             name + " into file."});
    }
}

TEST(NwcWriteRecords, NoteRecordExample) {
    Element e = make({.kind = Kind::Note});
    e.Note.HasBeamTo = 1;
    e.Note.Stem = 0;
    e.Note.Dotted = 1;
    // crotchet, flags A 11, flags B 04, position 0, no accidental below the middle: 05 + 8
    EXPECT_EQ(Record(e).bytes, hex("08 00 00 02 00 11 00 04 00 00 0D"));
}

TEST(NwcWriteRecords, DurationBytesAndBreveIsError1) {
    for (std::uint8_t duration = 1; duration <= 7; ++duration) {
        Element e = make({.kind = Kind::Rest});
        e.Note.Duration = duration;
        const Record r(e);
        EXPECT_EQ(r.bytes[3], duration - 1);
        EXPECT_TRUE(r.messages.lines.empty());
    }
    for (Kind kind : {Kind::Note, Kind::Rest, Kind::RestChord, Kind::Chord}) {
        Element e = make({.kind = kind});
        e.Note.Duration = 0;
        const Record r(e);
        EXPECT_EQ(r.bytes[3], 0);
        EXPECT_EQ(r.messages.lines,
                  std::vector<std::string>{
                      "Error 1: NWC does not support breve notes; breve written as a semibreve"});
    }
}

TEST(NwcWriteRecords, FlagsABeamAuxAndStemCodes) {
    struct Case {
        std::uint8_t beamFrom, beamTo, auxFrom, auxTo, stem, flags;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 0x10}, {0, 1, 0, 0, 0, 0x11}, {1, 1, 0, 0, 0, 0x12}, {1, 0, 0, 0, 0, 0x13},
        {0, 0, 0, 0, 1, 0x20}, {0, 0, 0, 0, 2, 0x00}, {0, 0, 0, 0, 3, 0x00}, {0, 0, 0, 0, 4, 0x00},
        {0, 0, 0, 1, 1, 0x24}, {0, 0, 1, 1, 1, 0x28}, {1, 0, 1, 0, 1, 0x2F},
    };
    for (const Case &c : cases) {
        Element e = make({.kind = Kind::Note});
        e.Note.HasBeamFrom = c.beamFrom;
        e.Note.HasBeamTo = c.beamTo;
        e.Note.AuxFrom = c.auxFrom;
        e.Note.AuxTo = c.auxTo;
        e.Note.Stem = c.stem;
        EXPECT_EQ(Record(e).bytes[5], c.flags)
            << int(c.beamFrom) << int(c.beamTo) << int(c.auxFrom) << int(c.auxTo) << int(c.stem);
    }
}

TEST(NwcWriteRecords, FlagsBAndCOneBitPerField) {
    struct Case {
        const char *name;
        void (*set)(NoteData &);
        std::uint8_t b, c;
    };
    const Case cases[] = {
        {"double dotted", [](NoteData &n) { n.DoubleDotted = 1; }, 0x01, 0},
        {"staccato", [](NoteData &n) { n.Articulation = 0; }, 0x02, 0},
        {"dotted", [](NoteData &n) { n.Dotted = 1; }, 0x04, 0},
        {"both dots: the double dot alone", [](NoteData &n) { n.Dotted = n.DoubleDotted = 1; },
         0x01, 0},
        {"tie from", [](NoteData &n) { n.HasTieFrom = 1; }, 0x08, 0},
        {"tie to", [](NoteData &n) { n.HasTieTo = 1; }, 0x10, 0},
        {"accent", [](NoteData &n) { n.Articulation = 2; }, 0x20, 0},
        {"in chord", [](NoteData &n) { n.InChord = 1; }, 0x40, 0},
        {"chord flag", [](NoteData &n) { n.ChordFlag = 1; }, 0x80, 0},
        {"slur first", [](NoteData &n) { n.HasSlurTo = 1; }, 0, 0x01},
        {"slur last", [](NoteData &n) { n.HasSlurFrom = 1; }, 0, 0x02},
        {"slur inner", [](NoteData &n) { n.HasSlurFrom = n.HasSlurTo = 1; }, 0, 0x03},
        {"tenuto", [](NoteData &n) { n.Articulation = 1; }, 0, 0x04},
        {"grace", [](NoteData &n) { n.Grace = 1; }, 0, 0x20},
        {"mordent", [](NoteData &n) { n.Articulation = 3; }, 0, 0},
        {"none", [](NoteData &) {}, 0, 0},
    };
    for (const Case &c : cases) {
        for (Kind kind : {Kind::Note, Kind::Rest}) {
            Element e = make({.kind = kind});
            c.set(e.Note);
            const Bytes bytes = Record(e).bytes;
            EXPECT_EQ(bytes[7], c.b) << c.name << " " << int(kind);
            EXPECT_EQ(bytes[8], c.c) << c.name << " " << int(kind);
        }
    }
}

TEST(NwcWriteRecords, ChordMarkersDependOnTheRecordKind) {
    struct Case {
        Kind kind;
        std::uint8_t b;
    };
    // InChord only on notes and rests; ChordFlag on all but the rest-chord.
    for (const Case &c : {Case{Kind::Note, 0xC0}, Case{Kind::Rest, 0xC0}, Case{Kind::Chord, 0x80},
                          Case{Kind::RestChord, 0x00}}) {
        Element e = make({.kind = c.kind});
        e.Note.InChord = 1;
        e.Note.ChordFlag = 1;
        EXPECT_EQ(Record(e).bytes[7], c.b) << int(c.kind);
    }
}

TEST(NwcWriteRecords, PositionByteAndByteDWithAccidentalCodes) {
    const std::pair<std::uint8_t, std::uint8_t> accidentals[] = {{0, 4}, {1, 1}, {2, 2}, {3, 0},
                                                                 {4, 3}, {5, 5}, {6, 5}, {255, 5}};
    for (auto [accidental, code] : accidentals) {
        for (std::int32_t position : {2, -2}) {
            Element e = make({.kind = Kind::Note});
            e.Note.Position = position;
            e.Note.Accidental = accidental;
            const Bytes bytes = Record(e).bytes;
            // Position 2 is byte FE (not below 80); -2 is byte 02, which adds 8.
            EXPECT_EQ(bytes[9], position == 2 ? 0xFE : 0x02);
            EXPECT_EQ(bytes[10], code + (position == 2 ? 0 : 8))
                << int(accidental) << " " << position;
        }
    }
    const std::pair<std::int32_t, std::uint8_t> positions[] = {
        {0, 0x00},    {1, 0xFF},   {-3, 0x03},
        {127, 0x81},  {128, 0x80}, {-128, 0x80},
        {-127, 0x7F}, {256, 0x00}, {std::numeric_limits<std::int32_t>::min(), 0x00},
    };
    for (auto [position, byte] : positions) {
        Element e = make({.kind = Kind::Chord});
        e.Note.Position = position;
        const Bytes bytes = Record(e).bytes;
        EXPECT_EQ(bytes[9], byte) << position;
        EXPECT_EQ(bytes[10], byte < 0x80 ? 13 : 5) << position;
    }
}

TEST(NwcWriteRecords, RestsHaveNoPositionAndChordsCarryTheirMemberCount) {
    Element rest = make({.kind = Kind::Rest});
    rest.Note.Position = 4;
    rest.Note.Accidental = 3;
    EXPECT_EQ(Record(rest).bytes, hex("09 00 00 02 00 10 00 00 00 00 00"));

    Element chord = make({.kind = Kind::Chord});
    chord.Note.MemberCount = 3;
    chord.Note.Stem = 1;
    EXPECT_EQ(Record(chord).bytes, hex("0A 00 00 02 00 20 00 00 00 00 0D 03 00"));

    Element restChord = make({.kind = Kind::RestChord});
    restChord.Note.MemberCount = 1;
    restChord.Note.Position = 4;
    EXPECT_EQ(Record(restChord).bytes, hex("12 00 00 02 00 10 00 00 00 00 00 01 00"));

    const std::pair<ElementNumber, std::string> counts[] = {
        {300, "2C 01"}, {std::numeric_limits<ElementNumber>::max(), "FF 7F"}, {-2, "00 00"}};
    for (const auto &[members, word] : counts) {
        chord.Note.MemberCount = members;
        const Bytes bytes = Record(chord).bytes;
        EXPECT_EQ(Bytes(bytes.begin() + 11, bytes.end()), hex(word)) << members;
    }
}

TEST(NwcWriteRecords, NoteRecordWriterRefusesOtherKindsWithError2) {
    for (Kind kind : {Kind::Clef, Kind::Text, Kind::Unknown, Kind::KeySig}) {
        NwcOutput out;
        test::RecordingMessages messages;
        writeNoteRecord(out, make({.kind = kind}), messages);
        EXPECT_TRUE(out.bytes().empty());
        EXPECT_EQ(messages.lines,
                  std::vector<std::string>{"Error 2: Trying to write note when no note present."});
    }
}

Element keySig(bool sharps, std::int32_t count) {
    Element e = make({.kind = Kind::KeySig});
    e.KeySig.Sharps = sharps;
    e.KeySig.Flats = !sharps;
    e.KeySig.SignCount = count;
    return e;
}

TEST(NwcWriteRecords, KeySignatureMasks) {
    // Flats add B E A D G C F, sharps F C G D A E B; A is bit 0 ... G bit 6.
    const std::uint8_t flatMasks[] = {0x00, 0x02, 0x12, 0x13, 0x1B, 0x5B, 0x5F, 0x7F, 0x7F};
    const std::uint8_t sharpMasks[] = {0x00, 0x20, 0x24, 0x64, 0x6C, 0x6D, 0x7D, 0x7F, 0x7F};
    for (std::int32_t n = 0; n <= 8; ++n) {
        EXPECT_EQ(Record(keySig(false, n)).bytes,
                  (Bytes{1, 0, 0, flatMasks[n], 0, 0, 0, 0, 0, 0, 0, 0, 0}))
            << n << " flats";
        EXPECT_EQ(Record(keySig(true, n)).bytes,
                  (Bytes{1, 0, 0, 0, 0, sharpMasks[n], 0, 0, 0, 0, 0, 0, 0}))
            << n << " sharps";
    }
    EXPECT_EQ(Record(keySig(true, -3)).bytes, hex("01 00 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(Record(keySig(true, 1000)).bytes, hex("01 00 00 00 00 7F 00 00 00 00 00 00 00"));
    Element neither = keySig(true, 3);
    neither.KeySig.Sharps = 0;
    EXPECT_EQ(Record(neither).bytes, hex("01 00 00 00 00 00 00 00 00 00 00 00 00"));
}

TEST(NwcWriteRecords, KeySignatureNamesThePreviousKeyWhenWrittenAlone) {
    Stave stave;
    stave.Elements = {keySig(true, 2), make({.kind = Kind::BarLine}), keySig(false, 1),
                      make({.kind = Kind::Clef}), keySig(false, 3)};
    Score score;
    test::RecordingMessages messages;
    auto writeAlone = [&](std::size_t index) {
        NwcOutput out;
        writeElement(out, *std::next(stave.Elements.begin(), static_cast<std::ptrdiff_t>(index)),
                     stave, score, messages);
        return out.take();
    };
    EXPECT_EQ(writeAlone(0), hex("01 00 00 00 00 24 00 00 00 00 00 00 00"));
    EXPECT_EQ(writeAlone(2), hex("01 00 00 02 00 00 00 00 00 00 00 24 00"));
    EXPECT_EQ(writeAlone(4), hex("01 00 00 13 00 00 00 00 00 02 00 00 00"));

    // An element that is not in the stave has no previous key there.
    Element stray = keySig(false, 1);
    NwcOutput out;
    writeElement(out, stray, stave, score, messages);
    EXPECT_EQ(out.take(), hex("01 00 00 02 00 00 00 00 00 00 00 00 00"));
}

} // namespace
} // namespace qm
