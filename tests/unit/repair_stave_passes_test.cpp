#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nwread/reader.hpp"
#include "nwtext/nwtext.hpp"
#include "repair/note_signs.hpp"
#include "repair/positions.hpp"
#include "repair/time_sig_digits.hpp"
#include "repair/unwritable.hpp"
#include "support/decode_records.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::decodeRecords;

Score decodeStave(const std::vector<std::string> &records, test::RecordingMessages &messages,
                  int version = 200) {
    std::string text = "header staves=1 version=" + std::to_string(version) +
                       "\nstave y=1000 count=" + std::to_string(records.size()) + "\n";
    for (const std::string &record : records)
        text += record + "\n";
    return decodeRecords(text, messages);
}

std::vector<Element> elementsOf(const Stave &stave) {
    return {stave.Elements.begin(), stave.Elements.end()};
}

// "Kind@XPos" for each element, in list order.
std::vector<std::string> layout(const Stave &stave) {
    std::vector<std::string> out;
    for (const Element &e : stave.Elements)
        out.push_back(kindName(e.Kind) + "@" + std::to_string(e.XPos));
    return out;
}

// NewStave to the front and bar lines copied from the stave above: tests/unit/passes_test.cpp.

// --- Time-signature digits merged ------------------------------------------------------------

TEST(MergeTimeSigDigits, DigitsMergeAcrossTextsButNotAcrossBarLines) {
    test::RecordingMessages messages;
    Score score =
        decodeStave({"newstave y=1000", "timedigit digit=1 y=990", "timedigit digit=2 y=990",
                     "text style=1 text=\"x\"", "timedigit digit=8 y=1010", "note",
                     "timedigit digit=3 y=990", "bar", "timedigit digit=4 y=1010"},
                    messages);
    Stave &stave = score.Staves.front();
    mergeTimeSigDigits(stave, 5); // the count read ends the walk at the last digit
    const auto e = elementsOf(stave);
    EXPECT_EQ(e[1].Kind, Kind::TimeSig);
    EXPECT_EQ(e[1].TimeSig.Numerator, 12);
    EXPECT_EQ(e[1].TimeSig.Denominator, 8);
    EXPECT_EQ(e[2].Kind, Kind::Unknown);
    EXPECT_EQ(e[3].Kind, Kind::Text);
    EXPECT_EQ(e[4].Kind, Kind::Unknown);
    EXPECT_EQ(e[6].Kind, Kind::TimeSig);
    EXPECT_EQ(e[6].TimeSig.Numerator, 3);
    EXPECT_EQ(e[8].Kind, Kind::TimeSig);
    EXPECT_EQ(e[8].TimeSig.Denominator, 4);
}

TEST(MergeTimeSigDigits, MergedNumbersKeepTheirValueAndSaturateAtTheIntLimit) {
    struct Case {
        std::vector<int> top, bottom;
        std::int32_t numerator, denominator;
    };
    const Case cases[] = {
        {{2, 5, 6}, {4}, 256, 4},
        {{3}, {2, 5, 6}, 3, 256},
        {{2, 1, 4, 7, 4, 8, 3, 6, 4, 7}, {4}, 2147483647, 4},
        {std::vector<int>(40, 9), std::vector<int>(12, 9), 2147483647, 2147483647},
    };
    for (const Case &c : cases) {
        test::RecordingMessages messages;
        std::vector<std::string> records = {"newstave y=1000"};
        for (int digit : c.top)
            records.push_back("timedigit digit=" + std::to_string(digit) + " y=990");
        for (int digit : c.bottom)
            records.push_back("timedigit digit=" + std::to_string(digit) + " y=1010");
        Score score = decodeStave(records, messages);
        Stave &stave = score.Staves.front();
        mergeTimeSigDigits(stave);
        const Element &first = *std::next(stave.Elements.begin());
        EXPECT_EQ(first.TimeSig.Numerator, c.numerator) << c.top.size();
        EXPECT_EQ(first.TimeSig.Denominator, c.denominator) << c.bottom.size();
    }
}

// --- Accidentals attached --------------------------------------------------------------------

std::uint8_t accidentalOfNoteAt(const Stave &stave, std::int32_t x) {
    for (const Element &e : stave.Elements)
        if (e.Kind == Kind::Note && e.XPos == x) return e.Note.Accidental;
    ADD_FAILURE() << "no note at " << x;
    return 255;
}

TEST(AttachAccidentals, ANoteCloseAheadTakesIt) {
    test::RecordingMessages messages;
    Score score = decodeStave(
        {"note x=60 pos=2", "accidental x=100 pos=2 alt=1", "note x=103 pos=1", "note x=108 pos=2"},
        messages);
    Stave &stave = score.Staves.front();
    attachAccidentals(stave, messages);
    EXPECT_EQ(accidentalOfNoteAt(stave, 108), 3);
    EXPECT_EQ(accidentalOfNoteAt(stave, 60), 5);
    EXPECT_EQ(accidentalOfNoteAt(stave, 103), 5);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(AttachAccidentals, ANoteFartherAheadYieldsToACloseNoteBehind) {
    for (int behind : {95, 90}) {
        test::RecordingMessages messages;
        Score score = decodeStave({"note x=" + std::to_string(behind) + " pos=2",
                                   "accidental x=100 pos=2 alt=-1", "note x=111 pos=2"},
                                  messages);
        Stave &stave = score.Staves.front();
        attachAccidentals(stave, messages);
        const bool behindTakesIt = behind >= 95;
        EXPECT_EQ(accidentalOfNoteAt(stave, behind), behindTakesIt ? 1 : 5) << behind;
        EXPECT_EQ(accidentalOfNoteAt(stave, 111), behindTakesIt ? 5 : 1) << behind;
        EXPECT_TRUE(messages.lines.empty());
    }
}

TEST(AttachAccidentals, BarriersHideNotesOnBothSides) {
    test::RecordingMessages messages;
    Score score = decodeStave({"note x=98 pos=-1", "bar x=99", "accidental x=100 pos=-1 alt=0",
                               "bar x=101", "note x=104 pos=-1"},
                              messages);
    Stave &stave = score.Staves.front();
    attachAccidentals(stave, messages);
    EXPECT_EQ(accidentalOfNoteAt(stave, 98), 5);
    EXPECT_EQ(accidentalOfNoteAt(stave, 104), 5);
    EXPECT_EQ(messages.lines,
              std::vector<std::string>{
                  "Error 16: Lost note for accidental, pitch A in 1th stave, element 3"});
}

TEST(AttachAccidentals, TheLastNoteOnThePositionBehindCounts) {
    test::RecordingMessages messages;
    // Behind: a note on the position at 97, a later one at 99 on another position, and ahead
    // only a note on another position. The note at 97 takes it.
    Score score = decodeStave(
        {"note x=97 pos=4", "note x=99 pos=3", "accidental x=100 pos=4 alt=2", "note x=105 pos=3"},
        messages);
    Stave &stave = score.Staves.front();
    attachAccidentals(stave, messages);
    EXPECT_EQ(accidentalOfNoteAt(stave, 97), 4);
    EXPECT_EQ(accidentalOfNoteAt(stave, 99), 5);
    EXPECT_EQ(accidentalOfNoteAt(stave, 105), 5);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(AttachAccidentals, SeveralAccidentalsWaitingForNotesAheadEachFindTheirs) {
    test::RecordingMessages messages;
    // Two accidentals for position 2 and one for position 3 wait together; the notes ahead
    // come in the other order. Each accidental finds the note on its position (the later of
    // the two for position 2 is the one that stays).
    Score score =
        decodeStave({"accidental x=100 pos=2 alt=1", "accidental x=101 pos=2 alt=-1",
                     "accidental x=102 pos=3 alt=0", "note x=105 pos=3", "note x=108 pos=2"},
                    messages);
    Stave &stave = score.Staves.front();
    attachAccidentals(stave, messages);
    EXPECT_EQ(accidentalOfNoteAt(stave, 105), 2);
    EXPECT_EQ(accidentalOfNoteAt(stave, 108), 1);
    EXPECT_TRUE(messages.lines.empty());
}

// --- Accents attached ------------------------------------------------------------------------

TEST(AttachAccents, AnAccentMarksItsNoteAndOtherAccentsAreReported) {
    test::RecordingMessages messages;
    Score score = decodeStave(
        {"sign sub=64 x=100", "note x=105 pos=7", "note x=200", "sign sub=129 x=203"}, messages);
    Stave &stave = score.Staves.front();
    attachAccents(stave, messages);
    const auto e = elementsOf(stave);
    EXPECT_EQ(e[0].Kind, Kind::Unknown);
    EXPECT_EQ(e[1].Note.Articulation, 2);
    EXPECT_EQ(e[2].Note.Articulation, 2);
    EXPECT_EQ(e[3].Kind, Kind::Unknown);
    EXPECT_EQ(messages.lines,
              std::vector<std::string>{"Error 14: Noteworthy is unable to display Mordent. It "
                                       "has been changed to an accent."});
}

TEST(AttachAccents, NoNoteFarAheadOrBeyondABarrier) {
    test::RecordingMessages messages;
    Score score = decodeStave({"note x=80", "bar x=90", "sign sub=64 x=100", "note x=111",
                               "note x=94", "sign sub=129 x=100"},
                              messages);
    Stave &stave = score.Staves.front();
    attachAccents(stave, messages);
    const auto e = elementsOf(stave);
    // The first accent: the note ahead is 11 away and the one behind lies past a bar line.
    EXPECT_EQ(e[2].Kind, Kind::Accent);
    EXPECT_EQ(e[0].Note.Articulation, 4);
    EXPECT_EQ(e[3].Note.Articulation, 4);
    // The second: nothing ahead, and the last note behind (at 94) is 6 to its left.
    EXPECT_EQ(e[5].Kind, Kind::Accent);
    EXPECT_EQ(e[4].Note.Articulation, 4);
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{
                  "Error 15: Lost note for accent Accent in 1th stave, element 3",
                  "Error 15: Lost note for accent Mordent in 1th stave, element 6"}));
}

// --- Positions made relative -----------------------------------------------------------------

TEST(MakePositionsRelative, StepsOfThreeFromTheReferenceHeldToASignedByte) {
    test::RecordingMessages messages;
    const int ys[] = {985, 1010, 1000, 999, 998, 615, 614, 400, 1382, 1383, 1400, 2000};
    const int expected[] = {-5, 3, 0, 0, -1, -128, -128, -128, 127, 127, 127, 127};
    std::vector<std::string> records = {"newstave y=1000"};
    for (int y : ys)
        records.push_back("note y=" + std::to_string(y));
    Score score = decodeStave(records, messages);
    Stave &stave = score.Staves.front();
    makePositionsRelative(stave, messages);
    EXPECT_EQ(stave.YPos, 0);
    const auto e = elementsOf(stave);
    for (std::size_t i = 0; i < std::size(ys); ++i)
        EXPECT_EQ(e[i + 1].YPos, expected[i]) << ys[i];
    EXPECT_TRUE(messages.lines.empty());
}

TEST(MakePositionsRelative, AStaveAtZeroIsWarnedAbout) {
    test::RecordingMessages messages;
    Stave stave;
    Element text = newElement(Kind::Text);
    text.YPos = -7;
    stave.Elements.push_back(text);
    makePositionsRelative(stave, messages);
    EXPECT_EQ(stave.Elements.front().YPos, -2);
    EXPECT_EQ(messages.lines, std::vector<std::string>{"Warning 7: Possible loss of correct "
                                                       "positioning of elements such as text"});
}

// --- Elements without an NWC record removed --------------------------------------------------

TEST(RemoveUnwritable, DropsSignsAlreadyUsedAndNoneCodes) {
    struct Entry {
        Kind kind;
        std::uint8_t code;
        bool stays;
    };
    const Entry entries[] = {
        {Kind::NewStave, 0, true},
        {Kind::Accidental, 3, false},
        {Kind::Note, 0, true},
        {Kind::SlurPoint, 0, false},
        {Kind::Accent, 2, false},
        {Kind::Unknown, 0, false},
        {Kind::DynamicVar, 5, false},
        {Kind::DynamicVar, 4, true},
        {Kind::PerformanceStyle, 23, false},
        {Kind::PerformanceStyle, 22, true},
        {Kind::TempoVar, 9, false},
        {Kind::TempoVar, 0, true},
        {Kind::FlowControl, 10, false},
        {Kind::FlowControl, 1, true},
        {Kind::Symbol, 10, true},
        {Kind::Text, 23, true},
    };
    Stave stave;
    std::vector<int> kept;
    int x = 0;
    for (const Entry &entry : entries) {
        Element e = newElement(entry.kind);
        e.Code = entry.code;
        e.XPos = ++x;
        stave.Elements.push_back(e);
        if (entry.stays) kept.push_back(x);
    }
    stave.ElementCount = x;
    removeUnwritable(stave);
    std::vector<int> left;
    for (const Element &e : stave.Elements)
        left.push_back(e.XPos);
    EXPECT_EQ(left, kept);
    EXPECT_EQ(stave.ElementCount, static_cast<std::int32_t>(kept.size()));
}

} // namespace
} // namespace qm
