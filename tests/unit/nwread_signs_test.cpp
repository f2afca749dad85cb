#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nwread/reader.hpp"
#include "nwtext/nwtext.hpp"
#include "support/decode_records.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::decodeRecords;

// One stave at y=1000 holding the given element records.
Score decodeStave(const std::vector<std::string> &records, test::RecordingMessages &messages) {
    std::string text =
        "header staves=1 version=200\nstave y=1000 count=" + std::to_string(records.size()) + "\n";
    for (const std::string &record : records)
        text += record + "\n";
    return decodeRecords(text, messages);
}

std::vector<Element> elementsOf(const Score &score) {
    const ElementList &list = score.Staves.front().Elements;
    return {list.begin(), list.end()};
}

TEST(SignDecoders, NewStaveSetsTheStaveAndClefsTakeTheirCodeModuloFour) {
    test::RecordingMessages messages;
    Score score = decodeStave({"newstave y=1234 clef=6", "clef clef=7"}, messages);
    const Stave &stave = score.Staves.front();
    EXPECT_EQ(stave.YPos, 1234);
    EXPECT_EQ(stave.InitialClef, 2);
    EXPECT_EQ(stave.StaveNo, 1);
    const auto e = elementsOf(score);
    EXPECT_EQ(e[0].Kind, Kind::NewStave);
    EXPECT_EQ(e[0].Code, 0);
    EXPECT_EQ(e[1].Kind, Kind::Clef);
    EXPECT_EQ(e[1].Code, 3);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SignDecoders, BarLineStylesAndUnknownBarLine) {
    test::RecordingMessages messages;
    Score score =
        decodeStave({"bar style=0", "bar style=1", "bar style=2", "bar style=3", "bar style=4",
                     "bar style=5", "bar style=6", "bar style=7", "bar style=9"},
                    messages);
    const std::vector<std::uint8_t> expected = {0, 1, 4, 5, 6, 7, 2, 3, 0};
    const auto e = elementsOf(score);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(e[i].Code, expected[i]) << i;
    ASSERT_EQ(messages.lines.size(), 1u);
    EXPECT_EQ(messages.lines[0], "Error 31: Unknown barline 9 in 1th stave, element 9");
}

TEST(SignDecoders, BarLineMessageQuotesTheRecordsOwnBytes) {
    test::RecordingMessages messages;
    decodeStave({"bar style=200 s=7 e=44"}, messages);
    EXPECT_TRUE(messages.has("Error 31: Unknown barline 200 in 7th stave, element 44"));
}

TEST(SignDecoders, KeySignatureSharpsAndFlats) {
    test::RecordingMessages messages;
    Score score = decodeStave(
        {"keysig n=253", "keysig n=3", "keysig n=0", "keysig n=128", "keysig n=129"}, messages);
    const auto e = elementsOf(score);
    struct Expect {
        int sharps, flats, count;
    };
    const Expect expected[] = {{0, 1, 3}, {1, 0, 3}, {1, 0, 0}, {1, 0, 128}, {0, 1, 127}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(e[i].KeySig.Sharps, expected[i].sharps) << i;
        EXPECT_EQ(e[i].KeySig.Flats, expected[i].flats) << i;
        EXPECT_EQ(e[i].KeySig.SignCount, expected[i].count) << i;
    }
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SignDecoders, TimeSignatureDigitsGoUpOrDownByTheirHeight) {
    test::RecordingMessages messages;
    // 12 over 8: two digits on or above the stave's reference, one below.
    Score score =
        decodeStave({"newstave y=1000", "timedigit digit=1 y=990", "timedigit digit=2 y=1000",
                     "timedigit digit=8 y=1010", "timedigit sub=70 y=980"},
                    messages);
    const auto e = elementsOf(score);
    EXPECT_EQ(e[1].TimeSig.IsTop, 1);
    EXPECT_EQ(e[1].TimeSig.Numerator, 1);
    EXPECT_EQ(e[2].TimeSig.IsTop, 1);
    EXPECT_EQ(e[2].TimeSig.Numerator, 2);
    EXPECT_EQ(e[3].TimeSig.IsTop, 0);
    EXPECT_EQ(e[3].TimeSig.Denominator, 8);
    EXPECT_EQ(e[3].TimeSig.Numerator, 0);
    EXPECT_EQ(e[4].TimeSig.Numerator, 3);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SignDecoders, UnknownTimeSignatureGlyphs) {
    test::RecordingMessages messages;
    Score score = decodeStave(
        {"timedigit sub=18 y=900", "timesym sub=21", "timesym sub=20", "timesym sub=19"}, messages);
    const auto e = elementsOf(score);
    EXPECT_EQ(e[0].TimeSig.Numerator, 0);
    EXPECT_TRUE(messages.has("Error 34: Unknown time signature with Ch7=18"));
    // An unknown symbol counts as common time; both symbols read 2 over 4.
    EXPECT_TRUE(messages.has("Error 32: Unsure of common time signature for Ch8=3, Ch7=21"));
    EXPECT_EQ(e[1].TimeSig.CommonTime, 1);
    EXPECT_EQ(e[2].TimeSig.CutTime, 1);
    EXPECT_EQ(e[2].TimeSig.CommonTime, 0);
    EXPECT_EQ(e[3].TimeSig.CommonTime, 1);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(e[i].TimeSig.Numerator, 2);
        EXPECT_EQ(e[i].TimeSig.Denominator, 4);
        EXPECT_EQ(e[i].TimeSig.IsTop, 0);
    }
    EXPECT_EQ(messages.lines.size(), 2u);
}

TEST(SignDecoders, TextCharactersAreTranslatedAndIndexedInOrder) {
    test::RecordingMessages messages;
    Score score = decodeStave(
        {R"(text style=1 text="H\x80\x81\x82\x88\x89\xC8")", R"(text style=2 text="a\x00b")"},
        messages);
    const auto e = elementsOf(score);
    EXPECT_EQ(e[0].Text.TextIndex, 1);
    EXPECT_EQ(e[1].Text.TextIndex, 2);
    EXPECT_EQ(e[1].Text.TextStyle, 2);
    EXPECT_EQ(score.TextCount, 2);
    ASSERT_EQ(score.TextTable.size(), 3u);
    EXPECT_EQ(score.TextTable[0], "");
    EXPECT_EQ(score.TextTable[1], "Hb#AG??");
    EXPECT_EQ(score.TextTable[2], std::string("a\0b", 3));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SignDecoders, TextStyleAndLengthFaults) {
    test::RecordingMessages messages;
    Score score = decodeStave({R"(text style=6 text="Hello")", R"(text style=0 text="x")",
                               R"(text style=1 text="abcdefghijkl" len=14)"},
                              messages);
    const auto e = elementsOf(score);
    EXPECT_EQ(e[0].Text.TextStyle, 6);
    EXPECT_EQ(score.TextTable[1], "Hello");
    EXPECT_EQ(e[1].Text.TextStyle, 1);
    EXPECT_EQ(messages.errors(35), 2);
    EXPECT_TRUE(messages.has("Error 35: Unknown text style"));
    // A record holds twelve characters whatever its count claims.
    EXPECT_TRUE(messages.has("Error 36: Text too long to process correctly."));
    EXPECT_EQ(score.TextTable[3], "abcdefghijkl");
}

TEST(SignDecoders, EveryTextKeepsItsOwnEntryPastAThousand) {
    test::RecordingMessages messages;
    std::vector<std::string> records;
    for (int i = 1; i <= 1002; ++i)
        records.push_back("text style=1 text=\"t" + std::to_string(i) + "\"");
    // A stave header counts at most 255 records, so spread the texts over five staves.
    std::string text = "header staves=5 version=200\n";
    const std::size_t perStave[] = {255, 255, 255, 237, 0};
    for (std::size_t n : perStave)
        text += "stave y=1000 count=" + std::to_string(n) + "\n";
    for (const std::string &record : records)
        text += record + "\n";
    Score score = decodeRecords(text, messages);
    EXPECT_EQ(score.TextCount, 1002);
    ASSERT_EQ(score.TextTable.size(), 1003u);
    EXPECT_EQ(score.TextTable[1000], "t1000");
    EXPECT_EQ(score.TextTable[1001], "t1001");
    EXPECT_EQ(score.TextTable[1002], "t1002");
    const Element &last = staveAt(score, 4)->Elements.back();
    EXPECT_EQ(last.Text.TextIndex, 1002);
    EXPECT_EQ(messages.errors(37), 0);
}

TEST(SignDecoders, LineSegmentsAndArpeggiosAreDropped) {
    test::RecordingMessages messages;
    Score score = decodeStave({"line", "line sub=100", "arpeggio"}, messages);
    for (const Element &e : elementsOf(score))
        EXPECT_EQ(e.Kind, Kind::Unknown);
    ASSERT_EQ(messages.lines.size(), 2u);
    EXPECT_EQ(messages.lines[0],
              "Error 61: Line segment in NW file has no equivalent in NWC format");
    EXPECT_EQ(messages.lines[1], "Error 61: Arpeggio in NW file has no equivalent in NWC format");
}

TEST(SignDecoders, SignSubcodesGiveKindAndCode) {
    struct Case {
        int sub;
        Kind kind;
        int code;
    };
    const Case cases[] = {
        {138, Kind::Volume, 1},      {141, Kind::Volume, 4},       {143, Kind::Volume, 6},
        {134, Kind::Pedal, 1},       {135, Kind::Pedal, 0},        {65, Kind::TempoVar, 1},
        {66, Kind::TempoVar, 1},     {128, Kind::TempoVar, 0},     {115, Kind::FlowControl, 0},
        {116, Kind::FlowControl, 1}, {118, Kind::FlowControl, 10}, {64, Kind::Accent, 2},
        {129, Kind::Accent, 3},      {75, Kind::Symbol, 75},       {146, Kind::Symbol, 146},
        {200, Kind::Symbol, 200},
    };
    std::vector<std::string> records;
    for (const Case &c : cases)
        records.push_back("sign sub=" + std::to_string(c.sub));
    test::RecordingMessages messages;
    Score score = decodeStave(records, messages);
    const auto e = elementsOf(score);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(e[i].Kind, cases[i].kind) << cases[i].sub;
        EXPECT_EQ(e[i].Code, cases[i].code) << cases[i].sub;
    }
    EXPECT_EQ(messages.lines, (std::vector<std::string>{
                                  "Error 25: Unknown Ending",
                                  "Warning 6: Symbol 75 changed to text: Marcato",
                                  "Warning 6: Symbol 146 changed to text: 8va",
                                  "Warning 6: Symbol 200 changed to text: Unknown symbol",
                              }));
}

TEST(SignDecoders, AccidentalsAndSlurPoints) {
    test::RecordingMessages messages;
    Score score =
        decodeStave({"accidental pos=-56 alt=-2", "accidental pos=3 alt=-1",
                     "accidental pos=0 alt=0", "accidental pos=128 alt=1", "accidental pos=1 alt=2",
                     "accidental pos=1 alt=3", "slurpoint next=7"},
                    messages);
    const auto e = elementsOf(score);
    const std::int32_t positions[] = {-56, 3, 0, 128, 1, 1};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(e[i].Accidental.Position, positions[i]) << i;
        EXPECT_EQ(e[i].Code, i < 5 ? i : 5) << i;
    }
    EXPECT_EQ(e[6].Kind, Kind::SlurPoint);
    EXPECT_EQ(e[6].Code, 7);
    EXPECT_EQ(messages.lines, std::vector<std::string>{
                                  "Error 29: Unrecognised accidental 3 in 1th stave, element 6"});
}

} // namespace
} // namespace qm
