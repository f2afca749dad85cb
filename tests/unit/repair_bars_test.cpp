#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "repair/bars.hpp"
#include "support/builders.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::at;
using test::kinds;
using test::make;
using test::scoreOf;
using test::staveOf;

TEST(BarsSpanSum, CountsOnlyWhatTakesTime) {
    Element chord = newElement(Kind::Chord);
    chord.Note.Duration = 2; // 32
    Element member = make({.kind = Kind::Note, .duration = 2});
    member.Note.InChord = 1;
    Element grace = make({.kind = Kind::Note, .duration = 4});
    grace.Note.Grace = 1;
    Element graceChord = newElement(Kind::Chord);
    graceChord.Note.Grace = 1;
    Element restChord = newElement(Kind::RestChord);
    Stave stave = staveOf(
        {make({.kind = Kind::BarLine}), make({.kind = Kind::Note, .duration = 3, .dots = 1}), chord,
         member, grace, graceChord, restChord, make({.kind = Kind::Text}),
         make({.kind = Kind::Rest, .duration = 4}), make({.kind = Kind::BarLine})});
    test::RecordingMessages messages;
    // dotted crotchet 24 + chord 32 + quaver rest 8
    EXPECT_EQ(spanSum(stave.Elements.begin(), std::prev(stave.Elements.end()), messages), 64);
    // the end is not included
    EXPECT_EQ(
        spanSum(std::next(stave.Elements.begin()), std::next(stave.Elements.begin(), 2), messages),
        24);
    EXPECT_EQ(
        spanSum(std::next(stave.Elements.begin()), std::next(stave.Elements.begin()), messages), 0);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BarsSpanSum, TimeSignatureBarLengths) {
    EXPECT_EQ(timeSigBarLength(4, 4), 64);
    EXPECT_EQ(timeSigBarLength(3, 4), 48);
    EXPECT_EQ(timeSigBarLength(6, 4), 96);
    EXPECT_EQ(timeSigBarLength(9, 8), 72);
    EXPECT_EQ(timeSigBarLength(2, 2), 64);
    EXPECT_EQ(timeSigBarLength(3, 1), 192);
    EXPECT_EQ(timeSigBarLength(5, 64), 5);
    EXPECT_EQ(timeSigBarLength(3, 3), 0);
    EXPECT_EQ(timeSigBarLength(4, 0), 0);
    EXPECT_EQ(timeSigBarLength(4, 128), 0);
}

TEST(OpeningSigns, StaveStartingWithANoteGetsClefThenTimeSig) {
    Stave stave =
        staveOf({make({.kind = Kind::Note, .duration = 3}),
                 make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine}),
                 make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine})},
                4);
    stave.InitialClef = 2;
    Score score = scoreOf(std::move(stave));
    test::RecordingMessages messages;
    insertOpeningSigns(score, messages);
    const Stave &s = score.Staves.front();
    EXPECT_EQ(kinds(s), (std::vector<Kind>{Kind::Clef, Kind::TimeSig, Kind::Note, Kind::Note,
                                           Kind::BarLine, Kind::Note, Kind::BarLine}));
    EXPECT_EQ(s.ElementCount, 7);
    EXPECT_EQ(at(s, 0).Code, 2);
    EXPECT_EQ(at(s, 0).StaveNo, 4);
    EXPECT_EQ(at(s, 1).StaveNo, 4);
    const TimeSigData &t = at(s, 1).TimeSig;
    EXPECT_EQ(t.Numerator, 4);
    EXPECT_EQ(t.Denominator, 4);
    EXPECT_EQ(t.IsTop, 1);
    EXPECT_EQ(t.CommonTime, 0);
    EXPECT_EQ(t.CutTime, 0);
    EXPECT_EQ(messages.lines, std::vector<std::string>{"Warning 3: Inserted a time signature 4/4"});
}

struct MeasuredCase {
    std::vector<Element> secondBar;
    std::string line;
    std::int32_t numerator;
    std::int32_t denominator;
};

TEST(OpeningSigns, ChoosesTheSignatureFromTheSecondBar) {
    Element grace = make({.kind = Kind::Note, .duration = 3});
    grace.Note.Grace = 1;
    const std::vector<MeasuredCase> cases{
        {{make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::Note, .duration = 3}),
          make({.kind = Kind::Note, .duration = 3})},
         "Warning 3: Inserted a time signature 3/4",
         3,
         4},
        {{make({.kind = Kind::Note, .duration = 4}), make({.kind = Kind::Note, .duration = 4}),
          make({.kind = Kind::Note, .duration = 4}), make({.kind = Kind::Note, .duration = 4}),
          make({.kind = Kind::Note, .duration = 4}), make({.kind = Kind::Note, .duration = 4})},
         "Warning 3: Inserted a time signature 3/4",
         3,
         4},
        {{make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::Note, .duration = 2})},
         "Warning 3: Inserted a time signature 6/4",
         6,
         4},
        {{make({.kind = Kind::Note, .duration = 3, .dots = 1}),
          make({.kind = Kind::Note, .duration = 3, .dots = 1}),
          make({.kind = Kind::Rest, .duration = 3}), grace,
          make({.kind = Kind::Note, .duration = 4})},
         "Warning 3: Inserted a time signature 9/8",
         9,
         8},
        {{make({.kind = Kind::Note, .duration = 3})},
         "Error 3: Inserted a time signature 4/4 which doesn't match bar length",
         4,
         4},
    };
    for (const MeasuredCase &c : cases) {
        // The first bar is an upbeat of one crotchet: it is not measured.
        std::vector<Element> elements{make({.kind = Kind::Clef}),
                                      make({.kind = Kind::Note, .duration = 3}),
                                      make({.kind = Kind::BarLine})};
        elements.insert(elements.end(), c.secondBar.begin(), c.secondBar.end());
        elements.push_back(make({.kind = Kind::BarLine}));
        elements.push_back(make({.kind = Kind::Note, .duration = 1}));
        Score score = scoreOf(staveOf(elements));
        test::RecordingMessages messages;
        insertOpeningSigns(score, messages);
        const Element &t = at(score.Staves.front(), 1);
        ASSERT_EQ(t.Kind, Kind::TimeSig) << c.line;
        EXPECT_EQ(t.TimeSig.Numerator, c.numerator) << c.line;
        EXPECT_EQ(t.TimeSig.Denominator, c.denominator) << c.line;
        EXPECT_EQ(messages.lines, std::vector<std::string>{c.line});
    }
}

TEST(OpeningSigns, UnmeasurableBarsGiveFourFourWithError) {
    const std::vector<std::vector<Element>> staves{
        {make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine}),
         make({.kind = Kind::Note, .duration = 3})}, // one bar line only
        {make({.kind = Kind::Note, .duration = 3}),
         make({.kind = Kind::BarLine})},             // nothing after the first bar line
        {make({.kind = Kind::Note, .duration = 3})}, // no bar line at all
        {make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine}),
         make({.kind = Kind::Note, .duration = 3}),
         make({.kind = Kind::BarLine, .code = 1})}, // second bar of 16
    };
    for (const auto &elements : staves) {
        Score score = scoreOf(staveOf(elements));
        test::RecordingMessages messages;
        insertOpeningSigns(score, messages);
        EXPECT_EQ(at(score.Staves.front(), 1).TimeSig.Numerator, 4);
        EXPECT_EQ(messages.lines,
                  std::vector<std::string>{
                      "Error 3: Inserted a time signature 4/4 which doesn't match bar length"});
    }
}

TEST(OpeningSigns, InsertsWhereTheStaveLacksThemOnly) {
    Element key = make({.kind = Kind::KeySig});
    Element text = make({.kind = Kind::Text});
    struct Case {
        std::vector<Element> in;
        std::vector<Kind> out;
    };
    const std::vector<Case> cases{
        {{text, key, make({.kind = Kind::Note, .duration = 3})},
         {Kind::Text, Kind::Clef, Kind::KeySig, Kind::TimeSig, Kind::Note}},
        {{make({.kind = Kind::BarLine}), make({.kind = Kind::Note, .duration = 3})},
         {Kind::Clef, Kind::BarLine, Kind::TimeSig, Kind::Note}},
        {{make({.kind = Kind::Clef}), key,
          make({.kind = Kind::TimeSig, .numerator = 2, .denominator = 4}),
          make({.kind = Kind::Note, .duration = 3})},
         {Kind::Clef, Kind::KeySig, Kind::TimeSig, Kind::Note}},
        {{make({.kind = Kind::Clef}), make({.kind = Kind::Text})}, {Kind::Clef, Kind::Text}},
        {{text, make({.kind = Kind::Symbol})}, {Kind::Text, Kind::Symbol}},
        {{make({.kind = Kind::TimeSig, .numerator = 2, .denominator = 4}),
          make({.kind = Kind::Note, .duration = 3})},
         {Kind::Clef, Kind::TimeSig, Kind::Note}},
    };
    for (const Case &c : cases) {
        Score score = scoreOf(staveOf(c.in));
        test::RecordingMessages messages;
        insertOpeningSigns(score, messages);
        EXPECT_EQ(kinds(score.Staves.front()), c.out);
        EXPECT_EQ(score.Staves.front().ElementCount, static_cast<std::int32_t>(c.out.size()));
    }
}

TEST(RepeatedSigns, DropsSignsThatRepeatTheOneInForce) {
    Element key1 = make({.kind = Kind::KeySig});
    key1.KeySig = {1, 0, 2};
    Element key2 = key1;
    key2.KeySig.Sharps = 0; // Sharps is not compared
    Element key3 = key1;
    key3.KeySig.SignCount = 3;
    Element common = make({.kind = Kind::TimeSig, .numerator = 4, .denominator = 4});
    common.TimeSig.CommonTime = 1;
    Stave stave =
        staveOf({make({.kind = Kind::NewStave}), make({.kind = Kind::Clef, .code = 1}),
                 make({.kind = Kind::Clef, .code = 1}), make({.kind = Kind::Clef, .code = 2}),
                 make({.kind = Kind::Clef, .code = 1}), key1, key2, key3,
                 make({.kind = Kind::TimeSig, .numerator = 4, .denominator = 4}), common,
                 make({.kind = Kind::TimeSig, .numerator = 4, .denominator = 4}),
                 make({.kind = Kind::TimeSig, .numerator = 4, .denominator = 4}),
                 make({.kind = Kind::Note, .duration = 3})});
    Score score = scoreOf(std::move(stave));
    removeRepeatedSigns(score);
    const Kind u = Kind::Unknown;
    EXPECT_EQ(
        kinds(score.Staves.front()),
        (std::vector<Kind>{u, Kind::Clef, u, Kind::Clef, Kind::Clef, Kind::KeySig, u, Kind::KeySig,
                           Kind::TimeSig, Kind::TimeSig, Kind::TimeSig, u, Kind::Note}));
    EXPECT_EQ(score.Staves.front().ElementCount, 13);
}

TEST(FinalBar, ClosingBarBecomesTheStaffsFinalBarStyle) {
    struct Case {
        std::vector<Element> in;
        std::uint8_t style;
        std::vector<Kind> out;
    };
    const Kind u = Kind::Unknown;
    const std::vector<Case> cases{
        {{make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine, .code = 2}),
          make({.kind = Kind::Text})},
         2,
         {Kind::Note, u, Kind::Text}},
        {{make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine, .code = 0}),
          make({.kind = Kind::BarLine, .code = 5}), make({.kind = Kind::Accent}),
          make({.kind = Kind::Unknown})},
         5,
         {Kind::Note, Kind::BarLine, u, Kind::Accent, u}},
        {{make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine, .code = 2}),
          make({.kind = Kind::Note, .duration = 3})},
         3,
         {Kind::Note, Kind::BarLine, Kind::Note}},
        {{make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine, .code = 2}),
          make({.kind = Kind::Symbol})},
         3,
         {Kind::Note, Kind::BarLine, Kind::Symbol}},
        {{make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::BarLine, .code = 4})},
         4,
         {Kind::Note, u}},
        {{make({.kind = Kind::Note, .duration = 3})}, 3, {Kind::Note}},
        {{}, 3, {}},
    };
    for (const Case &c : cases) {
        Score score = scoreOf(staveOf(c.in));
        setFinalBarStyles(score);
        EXPECT_EQ(score.Staves.front().FinalBarStyle, c.style);
        EXPECT_EQ(kinds(score.Staves.front()), c.out);
    }
}

// Appends `elements` to the stave and returns the stave's former last element.
ElementIt append(Stave &stave, std::vector<Element> elements) {
    const ElementIt formerLast =
        stave.Elements.empty() ? stave.Elements.end() : std::prev(stave.Elements.end());
    for (Element &e : elements)
        stave.Elements.push_back(e);
    return formerLast;
}

TEST(SplitBarRule, ShortBarAtSystemEndRunsOn) {
    struct Case {
        const char *name;
        std::vector<Element> system;
        bool removed;
    };
    Element cut = make({.kind = Kind::TimeSig, .numerator = 3, .denominator = 4});
    cut.TimeSig.CutTime = 1;
    Element grace = make({.kind = Kind::Note, .duration = 3});
    grace.Note.Grace = 1;
    const std::vector<Case> cases{
        {"half-full 4/4 bar",
         {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 2}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Text})},
         true},
        {"full bar",
         {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine})},
         false},
        {"styled bar line",
         {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 2}), make({.kind = Kind::BarLine, .code = 1})},
         false},
        {"note after bar",
         {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 2}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 3})},
         false},
        {"full 3/4 bar",
         {make({.kind = Kind::TimeSig, .numerator = 3, .denominator = 4}),
          make({.kind = Kind::Note, .duration = 2, .dots = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 2, .dots = 1}), make({.kind = Kind::BarLine})},
         false},
        {"signature after the bar counts",
         {make({.kind = Kind::Note, .duration = 2, .dots = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::TimeSig, .numerator = 3, .denominator = 4})},
         false},
        {"cut time is 2/2",
         {cut, make({.kind = Kind::Note, .duration = 2, .dots = 1}), make({.kind = Kind::BarLine}),
          make({.kind = Kind::Note, .duration = 2, .dots = 1}), make({.kind = Kind::BarLine})},
         true},
        {"only bar: first element counts",
         {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine})},
         false},
        {"only bar after a short note",
         {make({.kind = Kind::Note, .duration = 2}), make({.kind = Kind::BarLine})},
         true},
        {"no bar line", {make({.kind = Kind::Note, .duration = 2})}, false},
        {"bar with only a grace note",
         {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}), grace,
          make({.kind = Kind::BarLine})},
         true},
    };
    for (const Case &c : cases) {
        Stave stave = staveOf(c.system);
        std::size_t lastBar = 0;
        for (std::size_t i = 0; i < c.system.size(); ++i)
            if (c.system[i].Kind == Kind::BarLine) lastBar = i;
        const ElementIt end = append(
            stave, {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine})});
        test::RecordingMessages messages;
        SplitBarTracker{}.apply(stave, end, messages);
        const Kind expected = c.removed ? Kind::Unknown : Kind::BarLine;
        if (c.system[lastBar].Kind == Kind::BarLine)
            EXPECT_EQ(at(stave, lastBar).Kind, expected) << c.name;
        // the appended system is never walked
        EXPECT_EQ(stave.Elements.back().Kind, Kind::BarLine) << c.name;
        EXPECT_TRUE(messages.lines.empty()) << c.name;
    }
}

// Systems of one stave appended one after another: the incremental tracker must leave the same
// bar lines as a fresh walk of the whole stave after each append.
TEST(SplitBarRule, TrackerMatchesAFreshWalkAfterEveryAppend) {
    Element grace = make({.kind = Kind::Note, .duration = 4});
    grace.Note.Grace = 1;
    const std::vector<std::vector<Element>> systems{
        {make({.kind = Kind::Clef}), make({.kind = Kind::Note, .duration = 1}),
         make({.kind = Kind::BarLine}), make({.kind = Kind::Note, .duration = 3}),
         make({.kind = Kind::BarLine})},
        {make({.kind = Kind::Text})}, // short last bar: its line goes
        {make({.kind = Kind::Note, .duration = 3}),
         make({.kind = Kind::BarLine})}, // a note follows the remaining bar line
        {},                              // 16 + 16 since that bar line: short again
        {grace, make({.kind = Kind::Text}), make({.kind = Kind::BarLine}),
         make({.kind = Kind::BarLine})},
        {make({.kind = Kind::Text})}, // the later of two bar lines is short
        {make({.kind = Kind::Text})}, // and then the one before it, with no new bar line
        {make({.kind = Kind::TimeSig, .numerator = 2, .denominator = 4}),
         make({.kind = Kind::Note, .duration = 2}), make({.kind = Kind::BarLine}),
         make({.kind = Kind::Note, .duration = 3})},
        {make({.kind = Kind::BarLine})},
        {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine, .code = 2})},
    };
    Stave incremental;
    Stave reference;
    SplitBarTracker tracker;
    test::RecordingMessages incrementalMessages;
    test::RecordingMessages referenceMessages;
    int removals = 0;
    for (const auto &system : systems) {
        const ElementIt end = append(incremental, system);
        tracker.apply(incremental, end, incrementalMessages);
        const ElementIt refEnd = append(reference, system);
        SplitBarTracker{}.apply(reference, refEnd, referenceMessages); // walks it all
        ASSERT_EQ(kinds(incremental), kinds(reference));
        removals = 0;
        for (const Element &e : reference.Elements)
            removals += e.Kind == Kind::Unknown;
    }
    EXPECT_EQ(removals, 5); // the sequence above does exercise removals
    EXPECT_EQ(incrementalMessages.lines, referenceMessages.lines);
}

TEST(SplitBarRule, DottingErrorsAreReportedEachTimeTheBarIsMeasured) {
    Element shortDotted = make({.kind = Kind::Note,
                                .duration = 7,
                                .dots = 1}); // dotted hemidemisemiquaver: error 49, value 1
    Stave stave = staveOf({make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}),
                           shortDotted, make({.kind = Kind::BarLine})});
    SplitBarTracker tracker;
    test::RecordingMessages messages;
    tracker.apply(stave, append(stave, {make({.kind = Kind::Text})}), messages);
    // The short bar's line went; the bar before it is full and is kept.
    EXPECT_EQ(at(stave, 3).Kind, Kind::Unknown);
    EXPECT_EQ(messages.errors(49), 1);
    tracker.apply(stave, append(stave, {make({.kind = Kind::Text})}), messages);
    EXPECT_EQ(at(stave, 1).Kind, Kind::BarLine);
    EXPECT_EQ(messages.errors(49), 1); // a note follows the last bar line: not measured
    Stave again = staveOf(
        {make({.kind = Kind::Note, .duration = 2}), shortDotted,
         make({.kind = Kind::BarLine, .code = 1}), make({.kind = Kind::Note, .duration = 1}),
         make({.kind = Kind::BarLine}), shortDotted, make({.kind = Kind::BarLine}),
         make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine}), shortDotted,
         make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine})});
    SplitBarTracker another;
    test::RecordingMessages twice;
    another.apply(again, append(again, {make({.kind = Kind::Text})}), twice);
    EXPECT_EQ(twice.errors(49), 1); // full bar of 65: kept
    another.apply(again, append(again, {make({.kind = Kind::Text})}), twice);
    EXPECT_EQ(twice.errors(49), 2); // measured again, reported again
    EXPECT_EQ(at(again, 11).Kind, Kind::BarLine);
}

} // namespace
} // namespace qm
