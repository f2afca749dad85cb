#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <vector>

#include "repair/stems.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using stems::StemExtremes;

// A chord group held in a list so that member pointers stay valid; element numbers 1, 2, ...
struct Group {
    std::list<Element> elements;
    ChordMembers members;

    Element &add(Kind kind, std::int32_t position, std::uint8_t stem, std::uint8_t duration = 3) {
        Element e = newElement(kind);
        e.StaveNo = 1;
        e.ElementNo = static_cast<std::int32_t>(elements.size()) + 1;
        e.Note.Position = position;
        e.Note.Stem = stem;
        e.Note.Duration = duration;
        elements.push_back(e);
        members.push_back(&elements.back());
        return elements.back();
    }
    Element &note(std::int32_t position, std::uint8_t stem, std::uint8_t duration = 3) {
        return add(Kind::Note, position, stem, duration);
    }
    Element &rest(std::int32_t position, std::uint8_t stem, std::uint8_t duration = 3) {
        return add(Kind::Rest, position, stem, duration);
    }
    std::vector<int> stems() const {
        std::vector<int> out;
        for (const Element *e : members)
            out.push_back(e->Note.Stem);
        return out;
    }
};

using Stems = std::vector<int>;

// --- Rest-chord rule -------------------------------------------------------------------------

TEST(RestChordStems, DefiniteNoteStemsWinAndTheRestKeepsItsOwn) {
    Group g;
    g.note(4, 0);
    g.note(2, 4);
    Element &r = g.rest(0, 4);
    chooseRestChordStems(g.members, r);
    EXPECT_EQ(g.stems(), (Stems{0, 0, 4}));
}

TEST(RestChordStems, WithoutDefiniteStemsTheNotesTakeTheSideWhereMostLie) {
    Group above;
    above.note(4, 4);
    above.note(2, 4);
    above.note(-3, 4);
    Element &r1 = above.rest(0, 4);
    chooseRestChordStems(above.members, r1);
    EXPECT_EQ(above.stems(), (Stems{0, 0, 0, 1}));

    Group balanced; // equal counts: notes down, rest up
    balanced.note(4, 4);
    balanced.note(-4, 4);
    Element &r2 = balanced.rest(0, 4);
    chooseRestChordStems(balanced.members, r2);
    EXPECT_EQ(balanced.stems(), (Stems{1, 1, 0}));
}

TEST(RestChordStems, AReferenceEqualToTheRestsStemFallsBackToCounting) {
    Group g;
    g.note(-2, 1);
    g.note(-4, 4);
    Element &r = g.rest(0, 1);
    chooseRestChordStems(g.members, r);
    EXPECT_EQ(g.stems(), (Stems{1, 1, 0}));
}

TEST(RestChordStems, ReferenceSearchPrefersLongPlainNotesOverGraceAndWholeNotes) {
    Group g;
    Element &grace = g.note(3, 1, 4);
    grace.Note.Grace = 1;
    g.note(2, 1, 1); // a semibreve: searched after the minims and shorter
    g.note(1, 0, 2);
    Element &r = g.rest(-5, 4);
    chooseRestChordStems(g.members, r);
    EXPECT_EQ(g.stems(), (Stems{0, 0, 0, 4}));
}

TEST(RestChordStems, TheRestItselfIsTheReferenceWhenNoNoteIsDefinite) {
    // D comes from the rest, equals its stem, so positions decide: two notes below.
    Group g;
    g.note(-2, 4);
    g.note(-4, 4);
    Element &r = g.rest(0, 0);
    chooseRestChordStems(g.members, r);
    EXPECT_EQ(g.stems(), (Stems{1, 1, 0}));
}

// --- Note-chord rule: stages -----------------------------------------------------------------

TEST(NoteChordStems, NeighbourRuleFollowsTheAdjacentDefiniteNote) {
    Group g;
    g.note(5, 1);
    g.note(4, 2); // one below a down stem: down
    g.note(-1, 0);
    g.note(0, 2);  // one above an up stem: up
    g.note(10, 2); // no neighbour: stays
    stems::applyNeighbourRule(g.members);
    EXPECT_EQ(g.stems(), (Stems{1, 1, 0, 0, 2}));
}

TEST(NoteChordStems, NeighbourRuleLaterMatchOverridesAndResolvedNotesCount) {
    Group g;
    g.note(3, 2); // first: below 4 (down) -> down, then above 2 (up) -> up
    g.note(4, 1);
    g.note(2, 0);
    g.note(1, 2);  // no down note at 2, no up note at 0: stays
    g.note(-1, 2); // nothing at -2 or 0: stays
    stems::applyNeighbourRule(g.members);
    EXPECT_EQ(g.stems(), (Stems{0, 1, 0, 2, 2}));

    Group chain;
    chain.note(0, 0);
    chain.note(1, 2); // resolved up from the note at 0 ...
    chain.note(2, 2); // ... and then serves as the neighbour of this one
    stems::applyNeighbourRule(chain.members);
    EXPECT_EQ(chain.stems(), (Stems{0, 0, 0}));
}

TEST(NoteChordStems, CrotchetsTakeTheShortestCodeOfTheirSide) {
    Group g;
    g.note(4, 0, 3);
    g.note(6, 0, 5);
    g.note(8, 0, 4);
    g.note(-2, 1, 3);
    g.note(-4, 1, 2); // a minim is longer: the down crotchet stays
    g.note(-6, 4, 6); // undetermined: neither read nor changed
    stems::adjustCrotchets(g.members);
    std::vector<int> durations;
    for (const Element *e : g.members)
        durations.push_back(e->Note.Duration);
    EXPECT_EQ(durations, (std::vector<int>{5, 5, 4, 3, 2, 6}));
}

TEST(NoteChordStems, EqualLengthsGoOneWay) {
    Group none;
    none.note(0, 4);
    none.note(3, 2);
    test::RecordingMessages messages;
    stems::settleUndetermined(none.members, messages);
    EXPECT_EQ(none.stems(), (Stems{0, 0}));

    Group down;
    down.note(0, 4);
    down.note(3, 1);
    stems::settleUndetermined(down.members, messages);
    EXPECT_EQ(down.stems(), (Stems{1, 1}));

    Group mixed;
    mixed.note(0, 4);
    mixed.note(3, 1);
    mixed.note(5, 0);
    stems::settleUndetermined(mixed.members, messages);
    EXPECT_EQ(mixed.stems(), (Stems{4, 1, 0}));
}

TEST(NoteChordStems, UnequalLengthsSplitShortestFromTheRest) {
    test::RecordingMessages messages;
    Group known; // the quaver is shortest with a known stem: it keeps it
    known.note(0, 4, 3);
    known.note(3, 1, 4);
    stems::settleUndetermined(known.members, messages);
    EXPECT_EQ(known.stems(), (Stems{0, 1}));

    Group stale; // shortest undetermined: it goes against the crotchet's down stem
    stale.note(0, 1, 3);
    stale.note(3, 4, 4);
    stems::settleUndetermined(stale.members, messages);
    EXPECT_EQ(stale.stems(), (Stems{1, 0}));

    Group nothing; // nothing known at all: shortest down, the others up
    nothing.note(0, 4, 3);
    nothing.note(3, 4, 4);
    nothing.note(5, 4, 4);
    stems::settleUndetermined(nothing.members, messages);
    EXPECT_EQ(nothing.stems(), (Stems{0, 1, 1}));

    Group dotted; // a dotted crotchet is longer than a crotchet
    dotted.note(0, 4, 3).Note.Dotted = 1;
    dotted.note(2, 0, 3);
    stems::settleUndetermined(dotted.members, messages);
    EXPECT_EQ(dotted.stems(), (Stems{1, 0}));
}

TEST(NoteChordStems, PositionRuleUsesBothExtremes) {
    Group g;
    g.note(5, 0);
    g.note(0, 1);
    g.note(-2, 4);
    g.note(7, 4);
    g.note(3, 4); // between: stays
    g.note(5, 3); // on the lowest up note: up
    const StemExtremes x = stems::findExtremes(g.members);
    ASSERT_EQ(x.lowestUp, g.members[0]);
    ASSERT_EQ(x.highestDown, g.members[1]);
    stems::applyPositionRule(g.members, x);
    EXPECT_EQ(g.stems(), (Stems{0, 1, 1, 0, 4, 0}));
}

TEST(NoteChordStems, PositionRuleWithOneSideMissing) {
    Group onlyDown; // notes above the down side stay open for the final rule
    onlyDown.note(2, 1);
    onlyDown.note(3, 4);
    onlyDown.note(2, 4);
    stems::applyPositionRule(onlyDown.members, stems::findExtremes(onlyDown.members));
    EXPECT_EQ(onlyDown.stems(), (Stems{1, 4, 1}));

    Group onlyUp; // notes below the up side stay open for the final rule
    onlyUp.note(2, 0);
    onlyUp.note(3, 4);
    onlyUp.note(1, 4);
    stems::applyPositionRule(onlyUp.members, stems::findExtremes(onlyUp.members));
    EXPECT_EQ(onlyUp.stems(), (Stems{0, 0, 4}));
}

TEST(NoteChordStems, ConflictWithEqualSidesMovesTheHighestDownNoteFirst) {
    Group g;
    g.note(-2, 0, 3);
    g.note(3, 1, 4);
    test::RecordingMessages messages;
    StemExtremes x = stems::findExtremes(g.members);
    EXPECT_EQ(stems::resolveConflicts(g.members, x, messages), 1);
    EXPECT_EQ(g.stems(), (Stems{0, 0}));
    EXPECT_EQ(g.members[1]->Note.Duration, 3); // took the up note's length
    EXPECT_EQ(x.highestDown, nullptr);
    EXPECT_EQ(messages.lines, (std::vector<std::string>{
                                  "Warning 8: The stem direction had to be changed on 1 notes "
                                  "in the chord at element 1 of NW stave 1"}));
}

TEST(NoteChordStems, ConflictTheLargerSideGivesAndDuplicatesAreDropped) {
    Group g;
    g.note(0, 0, 4);
    g.note(0, 0, 4); // same position as the note moved down: dropped
    g.note(6, 0, 4);
    g.note(3, 1, 4);
    test::RecordingMessages messages;
    StemExtremes x = stems::findExtremes(g.members);
    EXPECT_EQ(stems::resolveConflicts(g.members, x, messages), 1);
    EXPECT_EQ(g.members[0]->Note.Stem, 1);
    EXPECT_EQ(g.members[1]->Kind, Kind::Unknown);
    EXPECT_EQ(x.lowestUp, g.members[2]);
    EXPECT_EQ(x.highestDown, g.members[3]);
}

TEST(NoteChordStems, ConflictAlternatesWhenTheSidesAreEven) {
    Group g;
    g.note(0, 0);
    g.note(1, 0);
    g.note(5, 1);
    g.note(6, 1);
    test::RecordingMessages messages;
    StemExtremes x = stems::findExtremes(g.members);
    EXPECT_EQ(stems::resolveConflicts(g.members, x, messages), 3);
    EXPECT_EQ(g.stems(), (Stems{1, 0, 0, 0}));
    EXPECT_EQ(messages.warnings(8), 1);
}

TEST(NoteChordStems, ConflictEndsWithManyDuplicates) {
    Group g;
    for (int i = 0; i < 120; ++i)
        g.note(0, 0);
    for (int i = 0; i < 120; ++i)
        g.note(5, 1);
    test::RecordingMessages messages;
    StemExtremes x = stems::findExtremes(g.members);
    EXPECT_EQ(stems::resolveConflicts(g.members, x, messages), 1);
    // The first down note moved up; its 119 duplicates at 5 are dropped.
    int unknown = 0;
    for (const Element *e : g.members)
        unknown += e->Kind == Kind::Unknown;
    EXPECT_EQ(unknown, 119);
    EXPECT_EQ(g.members[120]->Note.Stem, 0);
}

TEST(NoteChordStems, FinalRuleBetweenTheSidesDecidesByLength) {
    Group g;
    g.note(6, 0, 3);
    g.note(0, 1, 4);
    g.note(3, 4, 4); // as long as the highest down note: down, and is the new highest down
    g.note(2, 4, 3); // now below the highest down note: down
    g.note(4, 4, 3); // between 3 and 6, other length: up, the new lowest up
    g.note(5, 4, 4); // above 4: up
    test::RecordingMessages messages;
    StemExtremes x = stems::findExtremes(g.members);
    stems::applyFinalRule(g.members, x, messages);
    EXPECT_EQ(g.stems(), (Stems{0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(x.highestDown, g.members[2]);
    EXPECT_EQ(x.lowestUp, g.members[4]);
}

TEST(NoteChordStems, FinalRuleWithoutADownSidePutsOpenNotesUp) {
    Group g;
    g.note(4, 0);
    g.note(1, 4);
    test::RecordingMessages messages;
    StemExtremes x = stems::findExtremes(g.members);
    stems::applyFinalRule(g.members, x, messages);
    EXPECT_EQ(g.stems(), (Stems{0, 0}));
    EXPECT_EQ(x.lowestUp, g.members[1]);
}

// --- Note-chord rule: the whole rule ---------------------------------------------------------

TEST(NoteChordStems, WholeRuleOnSimpleChords) {
    test::RecordingMessages messages;
    Group same; // equally long, all open: up
    same.note(0, 4);
    same.note(4, 4);
    chooseNoteChordStems(same.members, messages);
    EXPECT_EQ(same.stems(), (Stems{0, 0}));

    Group split; // crotchet open, quaver down: split by length
    split.note(4, 4, 3);
    split.note(0, 1, 4);
    chooseNoteChordStems(split.members, messages);
    EXPECT_EQ(split.stems(), (Stems{0, 1}));

    Group neighbour;
    neighbour.note(3, 2);
    neighbour.note(4, 1);
    chooseNoteChordStems(neighbour.members, messages);
    EXPECT_EQ(neighbour.stems(), (Stems{1, 1}));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(NoteChordStems, WholeRuleResolvesMixedStemsAndOpenNotes) {
    // Crossed definite stems and an open note between them: the first position rule leaves it
    // open, the conflict moves the down note up, and the second position rule puts it up too.
    Group between;
    between.note(0, 0);
    between.note(5, 1);
    between.note(3, 4);
    test::RecordingMessages messages;
    chooseNoteChordStems(between.members, messages);
    EXPECT_EQ(between.stems(), (Stems{0, 0, 0}));
    EXPECT_EQ(messages.warnings(8), 1);

    // An open note below both sides goes down at once; the conflict then hands the high down
    // note to the up side (the down side is larger).
    Group below;
    below.note(0, 0);
    below.note(5, 1);
    below.note(-3, 4);
    chooseNoteChordStems(below.members, messages);
    EXPECT_EQ(below.stems(), (Stems{0, 0, 1}));
    EXPECT_EQ(messages.warnings(8), 2);
}

} // namespace
} // namespace qm
