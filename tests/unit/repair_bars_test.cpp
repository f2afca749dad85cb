#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "repair/bars.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

Element note(std::uint8_t duration, std::uint8_t dotted = 0) {
    Element e = newElement(Kind::Note);
    e.Note.Duration = duration;
    e.Note.Dotted = dotted;
    return e;
}

Element rest(std::uint8_t duration) {
    Element e = newElement(Kind::Rest);
    e.Note.Duration = duration;
    return e;
}

Element sign(Kind kind, std::uint8_t code = 0) {
    Element e = newElement(kind);
    e.Code = code;
    return e;
}

Element bar(std::uint8_t code = 0) { return sign(Kind::BarLine, code); }

Element timeSig(std::int32_t numerator, std::int32_t denominator) {
    Element e = newElement(Kind::TimeSig);
    e.TimeSig.Numerator = numerator;
    e.TimeSig.Denominator = denominator;
    return e;
}

Stave staveOf(std::vector<Element> elements, std::int32_t staveNo = 1) {
    Stave stave;
    stave.StaveNo = staveNo;
    std::int32_t number = 0;
    for (Element &e : elements) {
        e.StaveNo = staveNo;
        e.ElementNo = ++number;
        stave.Elements.push_back(e);
    }
    stave.ElementCount = number;
    return stave;
}

Score scoreOf(Stave stave) {
    Score score;
    score.Staves.push_back(std::move(stave));
    score.StaveCount = 1;
    return score;
}

std::vector<Kind> kinds(const Stave &stave) {
    std::vector<Kind> result;
    for (const Element &e : stave.Elements)
        result.push_back(e.Kind);
    return result;
}

const Element &at(const Stave &stave, std::size_t i) {
    return *std::next(stave.Elements.begin(), static_cast<long>(i));
}

TEST(BarsSpanSum, CountsOnlyWhatTakesTime) {
    Element chord = newElement(Kind::Chord);
    chord.Note.Duration = 2; // 32
    Element member = note(2);
    member.Note.InChord = 1;
    Element grace = note(4);
    grace.Note.Grace = 1;
    Element graceChord = newElement(Kind::Chord);
    graceChord.Note.Grace = 1;
    Element restChord = newElement(Kind::RestChord);
    Stave stave = staveOf({bar(), note(3, 1), chord, member, grace, graceChord, restChord,
                           sign(Kind::Text), rest(4), bar()});
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
    Stave stave = staveOf({note(3), note(3), bar(), note(1), bar()}, 4);
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
    Element grace = note(3);
    grace.Note.Grace = 1;
    const std::vector<MeasuredCase> cases{
        {{note(3), note(3), note(3)}, "Warning 3: Inserted a time signature 3/4", 3, 4},
        {{note(4), note(4), note(4), note(4), note(4), note(4)},
         "Warning 3: Inserted a time signature 3/4",
         3,
         4},
        {{note(1), note(2)}, "Warning 3: Inserted a time signature 6/4", 6, 4},
        {{note(3, 1), note(3, 1), rest(3), grace, note(4)},
         "Warning 3: Inserted a time signature 9/8",
         9,
         8},
        {{note(3)}, "Error 3: Inserted a time signature 4/4 which doesn't match bar length", 4, 4},
    };
    for (const MeasuredCase &c : cases) {
        // The first bar is an upbeat of one crotchet: it is not measured.
        std::vector<Element> elements{sign(Kind::Clef), note(3), bar()};
        elements.insert(elements.end(), c.secondBar.begin(), c.secondBar.end());
        elements.push_back(bar());
        elements.push_back(note(1));
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
        {note(3), bar(), note(3)},         // one bar line only
        {note(3), bar()},                  // nothing after the first bar line
        {note(3)},                         // no bar line at all
        {note(3), bar(), note(3), bar(1)}, // second bar of 16
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
    Element key = sign(Kind::KeySig);
    Element text = sign(Kind::Text);
    struct Case {
        std::vector<Element> in;
        std::vector<Kind> out;
    };
    const std::vector<Case> cases{
        {{text, key, note(3)}, {Kind::Text, Kind::Clef, Kind::KeySig, Kind::TimeSig, Kind::Note}},
        {{bar(), note(3)}, {Kind::Clef, Kind::BarLine, Kind::TimeSig, Kind::Note}},
        {{sign(Kind::Clef), key, timeSig(2, 4), note(3)},
         {Kind::Clef, Kind::KeySig, Kind::TimeSig, Kind::Note}},
        {{sign(Kind::Clef), sign(Kind::Text)}, {Kind::Clef, Kind::Text}},
        {{text, sign(Kind::Symbol)}, {Kind::Text, Kind::Symbol}},
        {{timeSig(2, 4), note(3)}, {Kind::Clef, Kind::TimeSig, Kind::Note}},
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
    Element key1 = sign(Kind::KeySig);
    key1.KeySig = {1, 0, 2};
    Element key2 = key1;
    key2.KeySig.Sharps = 0; // Sharps is not compared
    Element key3 = key1;
    key3.KeySig.SignCount = 3;
    Element common = timeSig(4, 4);
    common.TimeSig.CommonTime = 1;
    Stave stave = staveOf({sign(Kind::NewStave), sign(Kind::Clef, 1), sign(Kind::Clef, 1),
                           sign(Kind::Clef, 2), sign(Kind::Clef, 1), key1, key2, key3,
                           timeSig(4, 4), common, timeSig(4, 4), timeSig(4, 4), note(3)});
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
        {{note(3), bar(2), sign(Kind::Text)}, 2, {Kind::Note, u, Kind::Text}},
        {{note(3), bar(0), bar(5), sign(Kind::Accent), sign(Kind::Unknown)},
         5,
         {Kind::Note, Kind::BarLine, u, Kind::Accent, u}},
        {{note(3), bar(2), note(3)}, 3, {Kind::Note, Kind::BarLine, Kind::Note}},
        {{note(3), bar(2), sign(Kind::Symbol)}, 3, {Kind::Note, Kind::BarLine, Kind::Symbol}},
        {{note(3), bar(4)}, 4, {Kind::Note, u}},
        {{note(3)}, 3, {Kind::Note}},
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
    Element cut = timeSig(3, 4);
    cut.TimeSig.CutTime = 1;
    Element grace = note(3);
    grace.Note.Grace = 1;
    const std::vector<Case> cases{
        {"half-full 4/4 bar", {note(1), bar(), note(2), bar(), sign(Kind::Text)}, true},
        {"full bar", {note(1), bar(), note(1), bar()}, false},
        {"styled bar line", {note(1), bar(), note(2), bar(1)}, false},
        {"note after bar", {note(1), bar(), note(2), bar(), note(3)}, false},
        {"full 3/4 bar", {timeSig(3, 4), note(2, 1), bar(), note(2, 1), bar()}, false},
        {"signature after the bar counts", {note(2, 1), bar(), timeSig(3, 4)}, false},
        {"cut time is 2/2", {cut, note(2, 1), bar(), note(2, 1), bar()}, true},
        {"only bar: first element counts", {note(1), bar()}, false},
        {"only bar after a short note", {note(2), bar()}, true},
        {"no bar line", {note(2)}, false},
        {"bar with only a grace note", {note(1), bar(), grace, bar()}, true},
    };
    for (const Case &c : cases) {
        Stave stave = staveOf(c.system);
        std::size_t lastBar = 0;
        for (std::size_t i = 0; i < c.system.size(); ++i)
            if (c.system[i].Kind == Kind::BarLine) lastBar = i;
        const ElementIt end = append(stave, {note(1), bar()});
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
    Element grace = note(4);
    grace.Note.Grace = 1;
    const std::vector<std::vector<Element>> systems{
        {sign(Kind::Clef), note(1), bar(), note(3), bar()},
        {sign(Kind::Text)}, // short last bar: its line goes
        {note(3), bar()},   // a note follows the remaining bar line
        {},                 // 16 + 16 since that bar line: short again
        {grace, sign(Kind::Text), bar(), bar()},
        {sign(Kind::Text)}, // the later of two bar lines is short
        {sign(Kind::Text)}, // and then the one before it, with no new bar line
        {timeSig(2, 4), note(2), bar(), note(3)},
        {bar()},
        {note(1), bar(2)},
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
    Element shortDotted = note(7, 1); // dotted hemidemisemiquaver: error 49, value 1
    Stave stave = staveOf({note(1), bar(), shortDotted, bar()});
    SplitBarTracker tracker;
    test::RecordingMessages messages;
    tracker.apply(stave, append(stave, {sign(Kind::Text)}), messages);
    // The short bar's line went; the bar before it is full and is kept.
    EXPECT_EQ(at(stave, 3).Kind, Kind::Unknown);
    EXPECT_EQ(messages.errors(49), 1);
    tracker.apply(stave, append(stave, {sign(Kind::Text)}), messages);
    EXPECT_EQ(at(stave, 1).Kind, Kind::BarLine);
    EXPECT_EQ(messages.errors(49), 1); // a note follows the last bar line: not measured
    Stave again = staveOf({note(2), shortDotted, bar(1), note(1), bar(), shortDotted, bar(),
                           note(1), bar(), shortDotted, note(1), bar()});
    SplitBarTracker another;
    test::RecordingMessages twice;
    another.apply(again, append(again, {sign(Kind::Text)}), twice);
    EXPECT_EQ(twice.errors(49), 1); // full bar of 65: kept
    another.apply(again, append(again, {sign(Kind::Text)}), twice);
    EXPECT_EQ(twice.errors(49), 2); // measured again, reported again
    EXPECT_EQ(at(again, 11).Kind, Kind::BarLine);
}

} // namespace
} // namespace qm
