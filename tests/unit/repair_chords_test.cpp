#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "repair/chord_groups.hpp"
#include "repair/chords.hpp"
#include "support/builders.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::at;
using test::make;
using test::scoreOf;
using test::staveOf;

char kindLetter(Kind kind) {
    switch (kind) {
    case Kind::Note: return 'N';
    case Kind::Rest: return 'R';
    case Kind::Chord: return 'C';
    case Kind::RestChord: return 'Q';
    case Kind::Text: return 'T';
    case Kind::BarLine: return 'B';
    case Kind::Unknown: return 'U';
    default: return '?';
    }
}

// The stave as kind letters and element numbers: "C2 N1 N2 T3".
std::string layout(const Stave &stave) {
    std::string out;
    for (const Element &e : stave.Elements) {
        if (!out.empty()) out += ' ';
        out += kindLetter(e.Kind) + std::to_string(e.ElementNo);
    }
    return out;
}

// The groups of the stave as "first-last" element numbers; with skipLone, skipLoneNotes runs
// before each search (as chord building does) and groups of one are left out.
std::string walkGroups(Stave &stave, bool skipLone) {
    std::string out;
    const ElementIt end = stave.Elements.end();
    ElementIt from = stave.Elements.begin();
    ChordGroupScratch scratch;
    for (;;) {
        if (skipLone) from = skipLoneNotes(from, end);
        const auto group = findChordGroup(from, end, scratch);
        if (!group) break;
        from = std::next(group->last);
        if (skipLone && group->first == group->last) continue;
        if (!out.empty()) out += ' ';
        out +=
            std::to_string(group->first->ElementNo) + '-' + std::to_string(group->last->ElementNo);
    }
    return out;
}

// Every group of the stave. Skipping lone notes must leave the other groups as they were.
std::string groups(Stave &stave) {
    const std::string all = walkGroups(stave, false);
    std::string withoutLone;
    for (std::size_t at = 0; at < all.size();) {
        std::size_t stop = all.find(' ', at);
        if (stop == std::string::npos) stop = all.size();
        const std::string group = all.substr(at, stop - at);
        const std::size_t dash = group.find('-');
        if (group.substr(0, dash) != group.substr(dash + 1))
            withoutLone += (withoutLone.empty() ? "" : " ") + group;
        at = stop + 1;
    }
    EXPECT_EQ(walkGroups(stave, true), withoutLone) << "with lone notes skipped";
    return all;
}

// --- Relation of two notes -------------------------------------------------------------------

struct RelationCase {
    const char *what;
    Element a;
    Element b;
    ChordRelation expected;
};

Element grace(Element e) {
    e.Note.Grace = 1;
    return e;
}

TEST(ChordRelation, Table) {
    using R = ChordRelation;
    const RelationCase cases[] = {
        {"closer than 5, both up", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 0}),
         make({.kind = Kind::Note, .x = 4, .position = 9, .stem = 0}), R::Together},
        {"closer than 5, down then up",
         make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 1}),
         make({.kind = Kind::Note, .x = 4, .position = 0, .stem = 0}), R::Together},
        {"both up, 5 apart", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 0}),
         make({.kind = Kind::Note, .x = 5, .position = 3, .stem = 0}), R::Apart},
        {"down left, up right", make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 1}),
         make({.kind = Kind::Note, .x = 6, .position = 0, .stem = 0}), R::Apart},
        {"down left, down right", make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 1}),
         make({.kind = Kind::Note, .x = 6, .position = 0, .stem = 1}), R::Apart},
        {"up over down one step lower",
         make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 0}),
         make({.kind = Kind::Note, .x = 13, .position = 2, .stem = 1}), R::Together},
        {"up over down two steps lower",
         make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 0}),
         make({.kind = Kind::Note, .x = 13, .position = 1, .stem = 1}), R::Undecided},
        {"up over down, 14 apart", make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 0}),
         make({.kind = Kind::Note, .x = 14, .position = 2, .stem = 1}), R::Apart},
        {"graces: up over down, 6 apart",
         grace(make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 0})),
         grace(make({.kind = Kind::Note, .x = 6, .position = 2, .stem = 1})), R::Together},
        {"graces: up over down, 7 apart",
         grace(make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 0})),
         grace(make({.kind = Kind::Note, .x = 7, .position = 2, .stem = 1})), R::Apart},
        {"one grace keeps width 14",
         grace(make({.kind = Kind::Note, .x = 0, .position = 3, .stem = 0})),
         make({.kind = Kind::Note, .x = 10, .position = 2, .stem = 1}), R::Together},
        {"neighbour stem and up", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 2}),
         make({.kind = Kind::Note, .x = 10, .position = 7, .stem = 0}), R::Together},
        {"neighbour stem on both", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 2}),
         make({.kind = Kind::Note, .x = 10, .position = 7, .stem = 2}), R::Undecided},
        {"down left, open right", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 1}),
         make({.kind = Kind::Note, .x = 10, .position = 7, .stem = 4}), R::Undecided},
        {"neighbour stem 14 apart", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 2}),
         make({.kind = Kind::Note, .x = 14, .position = 7, .stem = 0}), R::Apart},
        {"open stems 27 apart", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4}),
         make({.kind = Kind::Note, .x = 27, .position = 0, .stem = 2}), R::Undecided},
        {"open stems 28 apart", make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4}),
         make({.kind = Kind::Note, .x = 28, .position = 0, .stem = 2}), R::Apart},
        {"open grace stems 13 apart",
         grace(make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4})),
         grace(make({.kind = Kind::Note, .x = 13, .position = 0, .stem = 4})), R::Undecided},
        {"open grace stems 14 apart",
         grace(make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4})),
         grace(make({.kind = Kind::Note, .x = 14, .position = 0, .stem = 4})), R::Apart},
        {"rests count like notes", make({.kind = Kind::Rest, .x = 0, .position = 0, .stem = 0}),
         make({.kind = Kind::Rest, .x = 6, .position = 0, .stem = 0}), R::Apart},
        {"far ends of the range",
         make({.kind = Kind::Note, .x = std::numeric_limits<std::int32_t>::min(), .stem = 4}),
         make({.kind = Kind::Note, .x = std::numeric_limits<std::int32_t>::max(), .stem = 4}),
         R::Apart},
    };
    for (const RelationCase &c : cases) {
        EXPECT_EQ(chordRelation(c.a, c.b), c.expected) << c.what;
        EXPECT_EQ(chordRelation(c.b, c.a), c.expected) << c.what << " (reversed)";
    }
}

// --- Group finding ---------------------------------------------------------------------------

TEST(ChordGroups, NotesAtOnePlaceFormOneGroupAndOthersAreSkipped) {
    Stave s = staveOf({make({.kind = Kind::Text, .x = 0}),
                       make({.kind = Kind::Note, .x = 100, .position = 0}),
                       make({.kind = Kind::Note, .x = 101, .position = 4}),
                       make({.kind = Kind::Note, .x = 103, .position = 7}),
                       make({.kind = Kind::Note, .x = 200, .position = 0}),
                       make({.kind = Kind::Text, .x = 300})});
    EXPECT_EQ(groups(s), "2-4 5-5");
}

TEST(ChordGroups, BarriersEndGroups) {
    for (Kind barrier : {Kind::Clef, Kind::BarLine, Kind::TimeSig, Kind::KeySig}) {
        Stave s = staveOf({make({.kind = Kind::Note, .x = 100, .position = 0}),
                           make({.kind = barrier, .x = 100}),
                           make({.kind = Kind::Note, .x = 100, .position = 4})});
        EXPECT_EQ(groups(s), "1-1 3-3") << kindName(barrier);
    }
    Stave textBetween = staveOf({make({.kind = Kind::Note, .x = 100, .position = 0}),
                                 make({.kind = Kind::Text, .x = 100}),
                                 make({.kind = Kind::Note, .x = 100, .position = 4})});
    EXPECT_EQ(groups(textBetween), "1-3");
}

TEST(ChordGroups, GroupIsMeasuredFromTheLeftmostNote) {
    // The leftmost note comes second in the list; the first note is apart from it.
    Stave apart = staveOf({make({.kind = Kind::Note, .x = 100, .position = 0, .stem = 0}),
                           make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 0})});
    EXPECT_EQ(groups(apart), "1-1 2-2");
    // Here it is close to it, so both and the note after them join.
    Stave close = staveOf({make({.kind = Kind::Note, .x = 3, .position = 0, .stem = 0}),
                           make({.kind = Kind::Note, .x = 0, .position = 2, .stem = 0}),
                           make({.kind = Kind::Note, .x = 4, .position = 4, .stem = 0}),
                           make({.kind = Kind::Note, .x = 30, .position = 0, .stem = 0})});
    EXPECT_EQ(groups(close), "1-3 4-4");
}

TEST(ChordGroups, AnApartPairPullsTheGroupBack) {
    // Both later notes relate to the leftmost one, but a down stem left of an up stem is apart:
    // the group ends before the note that the walk had reached.
    Stave s = staveOf({make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 2}),
                       make({.kind = Kind::Note, .x = 5, .position = 0, .stem = 1}),
                       make({.kind = Kind::Note, .x = 13, .position = 9, .stem = 0})});
    EXPECT_EQ(groups(s), "1-1 2-2 3-3");
}

TEST(ChordGroups, UndecidedPairsKeepOnlyTheProvenRun) {
    // The third note is only undecided with the others: the group ends at the second one.
    Stave s = staveOf({make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4}),
                       make({.kind = Kind::Note, .x = 3, .position = 4, .stem = 4}),
                       make({.kind = Kind::Note, .x = 20, .position = 0, .stem = 4})});
    EXPECT_EQ(groups(s), "1-2 3-3");
    // Without the undecided pair every related note stays.
    Stave decided = staveOf({make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4}),
                             make({.kind = Kind::Note, .x = 3, .position = 4, .stem = 4}),
                             make({.kind = Kind::Note, .x = 4, .position = 2, .stem = 4})});
    EXPECT_EQ(groups(decided), "1-3");
}

TEST(ChordGroups, TrimmedGroupMayEndOnAnotherElement) {
    Stave s = staveOf({make({.kind = Kind::Note, .x = 0, .position = 0, .stem = 4}),
                       make({.kind = Kind::Note, .x = 3, .position = 4, .stem = 4}),
                       make({.kind = Kind::Text, .x = 5}),
                       make({.kind = Kind::Note, .x = 20, .position = 0, .stem = 4})});
    EXPECT_EQ(groups(s), "1-3 4-4");
}

TEST(ChordGroups, ManyNotesAtOnePlaceFormOneGroup) {
    Stave s;
    s.StaveNo = 1;
    for (int i = 1; i <= 255; ++i) {
        Element e = make({.kind = Kind::Note,
                          .x = 50,
                          .position = i % 20,
                          .stem = static_cast<std::uint8_t>(i % 5)});
        e.ElementNo = i;
        s.Elements.push_back(e);
    }
    EXPECT_EQ(groups(s), "1-255");
}

// --- Building chords -------------------------------------------------------------------------

TEST(BuildChords, ChordLeadsItsMembersAndOtherElementsFollowInReverse) {
    Stave s = staveOf({make({.kind = Kind::BarLine, .x = 50}),
                       make({.kind = Kind::Note, .x = 100, .position = 0, .stem = 0}),
                       make({.kind = Kind::Text, .x = 100}),
                       make({.kind = Kind::Note, .x = 101, .position = 4, .stem = 0}),
                       make({.kind = Kind::Unknown, .x = 101}),
                       make({.kind = Kind::Note, .x = 102, .position = 2, .stem = 0}),
                       make({.kind = Kind::Note, .x = 200, .position = 0, .stem = 0})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    EXPECT_EQ(layout(s), "B1 C4 N2 N4 N6 U5 T3 N7");
    const Element &chord = at(s, 1);
    EXPECT_EQ(chord.Note.MemberCount, 3);
    EXPECT_EQ(chord.Note.InChord, 1);
    EXPECT_EQ(chord.Note.ChordFlag, 0);
    EXPECT_EQ(chord.XPos, 101);
    for (std::size_t i : {2u, 3u, 4u})
        EXPECT_EQ(at(s, i).Note.InChord, 1);
    EXPECT_EQ(at(s, 7).Note.InChord, 0);
    EXPECT_EQ(s.ElementCount, 7 - 3 + 1);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BuildChords, ChordShowsItsShortestHighestNote) {
    // A higher minim, and two quavers on the same highest quaver position: the first wins.
    Stave s =
        staveOf({make({.kind = Kind::Note, .x = 100, .duration = 2, .position = 9, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 2, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 4, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 4, .stem = 0})});
    at(s, 2).Note.Accidental = 3;
    test::RecordingMessages messages;
    buildChords(s, messages);
    ASSERT_EQ(layout(s), "C3 N1 N2 N3 N4");
    Element expected = at(s, 3);
    expected.Kind = Kind::Chord;
    expected.Note.MemberCount = 4;
    EXPECT_EQ(at(s, 0).Note, expected.Note);
    EXPECT_EQ(at(s, 0).Note.Accidental, 3);
    EXPECT_EQ(at(s, 0).ElementNo, 3);
}

TEST(BuildChords, ShortestRestIsKeptAndOthersBecomeGraceNotes) {
    Stave s =
        staveOf({make({.kind = Kind::Note, .x = 100, .duration = 3, .position = 4, .stem = 0}),
                 make({.kind = Kind::Rest, .x = 100, .duration = 4, .position = 0, .stem = 4}),
                 make({.kind = Kind::Rest, .x = 100, .duration = 3, .position = -4, .stem = 4}),
                 make({.kind = Kind::Rest, .x = 101, .duration = 4, .position = -6, .stem = 4})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    // The chord shows the shortest note, here a rest turned grace note.
    EXPECT_EQ(layout(s), "C4 N1 R2 N3 N4");
    EXPECT_EQ(at(s, 0).Note.ChordFlag, 1);
    EXPECT_EQ(at(s, 3).Note.Grace, 1);
    EXPECT_EQ(at(s, 4).Note.Grace, 1); // as short as the kept rest, but not the first
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{"Error 58: Changed some rests in chord to grace notes with "
                                        "meaningless pitch"}));
    // Rest-chord stems: the crotchet's up stem is the reference; the rest keeps its own.
    EXPECT_EQ(at(s, 1).Note.Stem, 0);
    EXPECT_EQ(at(s, 3).Note.Stem, 0);
    EXPECT_EQ(at(s, 2).Note.Stem, 4);
}

TEST(BuildChords, RestLongerThanANoteIsNotKept) {
    Stave s =
        staveOf({make({.kind = Kind::Note, .x = 100, .duration = 4, .position = -4, .stem = 4}),
                 make({.kind = Kind::Rest, .x = 100, .duration = 3, .position = 0, .stem = 4})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    EXPECT_EQ(layout(s), "C1 N1 N2");
    EXPECT_EQ(at(s, 0).Note.ChordFlag, 0);
    EXPECT_EQ(at(s, 2).Note.Grace, 1);
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{"Error 58: Changed some rests in chord to grace notes with "
                                        "meaningless pitch"}));
    // Handled as a chord of notes: the quaver below goes down, the grace crotchet up.
    EXPECT_EQ(at(s, 1).Note.Stem, 1);
    EXPECT_EQ(at(s, 2).Note.Stem, 0);
}

TEST(BuildChords, SlurMarksFollowTheLastSlurredNoteOfTheSameLength) {
    Stave s =
        staveOf({make({.kind = Kind::Note, .x = 100, .duration = 3, .position = 0, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 3, .position = 2, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 4, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 3, .position = 6, .stem = 0})});
    at(s, 0).Note.HasSlurFrom = 1;
    at(s, 0).Note.SlurDir = 0;
    at(s, 1).Note.HasSlurTo = 1;
    at(s, 1).Note.SlurDir = 2;
    test::RecordingMessages messages;
    buildChords(s, messages);
    // Stems: all up, so the crotchets have become quavers before the slur merge.
    ASSERT_EQ(layout(s), "C4 N1 N2 N3 N4");
    for (std::size_t i = 1; i <= 4; ++i) {
        EXPECT_EQ(at(s, i).Note.HasSlurFrom, 0) << i;
        EXPECT_EQ(at(s, i).Note.HasSlurTo, 1) << i;
        EXPECT_EQ(at(s, i).Note.SlurDir, 2) << i;
    }
}

TEST(BuildChords, SlurMarksSkipNotesOfAnotherLength) {
    Stave s =
        staveOf({make({.kind = Kind::Note, .x = 100, .duration = 2, .position = 0, .stem = 1}),
                 make({.kind = Kind::Note, .x = 100, .duration = 3, .position = 4, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 3, .position = 6, .stem = 0})});
    at(s, 2).Note.HasSlurTo = 1;
    test::RecordingMessages messages;
    buildChords(s, messages);
    ASSERT_EQ(layout(s), "C3 N1 N2 N3");
    EXPECT_EQ(at(s, 1).Note.HasSlurTo, 0); // a minim
    EXPECT_EQ(at(s, 2).Note.HasSlurTo, 1);
}

TEST(BuildChords, BeamAndAuxMarksAreSharedPerStemSide) {
    Stave s =
        staveOf({make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 6, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 4, .stem = 0}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = 0, .stem = 1}),
                 make({.kind = Kind::Note, .x = 100, .duration = 4, .position = -2, .stem = 1})});
    at(s, 1).Note.HasBeamTo = 1;
    at(s, 0).Note.AuxFrom = 1;
    at(s, 3).Note.HasBeamFrom = 1;
    test::RecordingMessages messages;
    buildChords(s, messages);
    ASSERT_EQ(layout(s), "C1 N1 N2 N3 N4");
    const auto flags = [&](std::size_t i) {
        const NoteData &n = at(s, i).Note;
        return std::to_string(n.HasBeamFrom) + std::to_string(n.HasBeamTo) +
               std::to_string(n.AuxFrom) + std::to_string(n.AuxTo);
    };
    EXPECT_EQ(flags(1), "0110");
    EXPECT_EQ(flags(2), "0110");
    EXPECT_EQ(flags(3), "1000");
    EXPECT_EQ(flags(4), "1000");
}

TEST(BuildChords, ConflictDropsADuplicateAndCountsOnlyLiveMembers) {
    Stave s = staveOf({make({.kind = Kind::Note, .x = 100, .position = 0, .stem = 0}),
                       make({.kind = Kind::Note, .x = 100, .position = 0, .stem = 0}),
                       make({.kind = Kind::Note, .x = 100, .position = 6, .stem = 0}),
                       make({.kind = Kind::Note, .x = 100, .position = 3, .stem = 1}),
                       make({.kind = Kind::Note, .x = 200, .position = 0, .stem = 0})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    EXPECT_EQ(layout(s), "C3 N1 N3 N4 U2 N5");
    EXPECT_EQ(at(s, 0).Note.MemberCount, 3);
    EXPECT_EQ(at(s, 4).Note.InChord, 0);
    EXPECT_TRUE(messages.has("Warning 8: The stem direction had to be changed on 1 notes in the "
                             "chord at element 1 of NW stave 1"));
}

TEST(BuildChords, SeveralChordsOnOneStave) {
    Stave s = staveOf(
        {make({.kind = Kind::Note, .x = 10, .position = 0, .stem = 4}),
         make({.kind = Kind::Note, .x = 11, .position = 3, .stem = 4}),
         make({.kind = Kind::BarLine, .x = 20}), make({.kind = Kind::Rest, .x = 30, .stem = 4}),
         make({.kind = Kind::Note, .x = 40, .position = 0, .stem = 4}),
         make({.kind = Kind::Rest, .x = 40, .duration = 2, .position = 2, .stem = 4})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    EXPECT_EQ(layout(s), "C2 N1 N2 B3 R4 C5 N5 N6");
    EXPECT_EQ(s.ElementCount, 6 - 2 + 1 - 2 + 1);
    EXPECT_EQ(at(s, 5).Note.ChordFlag, 0); // the minim rest was longer than the note
}

TEST(BuildChords, HostileStaveOfManyNotesAtOnePlaceStaysFast) {
    Stave s;
    s.StaveNo = 1;
    for (int i = 1; i <= 255; ++i) {
        Element e = make({.kind = Kind::Note,
                          .x = 50,
                          .duration = static_cast<std::uint8_t>(i % 8),
                          .position = (i * 7) % 40 - 20,
                          .stem = static_cast<std::uint8_t>(i % 5)});
        if (i % 3 == 0) e.Kind = Kind::Rest;
        e.ElementNo = i;
        s.Elements.push_back(e);
    }
    s.ElementCount = 255;
    test::RecordingMessages messages;
    const auto start = std::chrono::steady_clock::now();
    buildChords(s, messages);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(500));
    ASSERT_EQ(s.Elements.front().Kind, Kind::Chord);
    int live = 0;
    for (const Element &e : s.Elements)
        live += e.isNoteOrRest();
    EXPECT_EQ(s.Elements.front().Note.MemberCount, live);
    EXPECT_GT(live, 40);
}

// --- Rest chords and small chords ------------------------------------------------------------

TEST(SplitRestChords, KeptRestGoesBeforeItsChord) {
    Stave s = staveOf({make({.kind = Kind::Note, .x = 100, .position = 4, .stem = 0}),
                       make({.kind = Kind::Rest, .x = 100, .position = 0, .stem = 4}),
                       make({.kind = Kind::Note, .x = 100, .position = 6, .stem = 0}),
                       make({.kind = Kind::Note, .x = 200, .position = 0})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    ASSERT_EQ(layout(s), "C3 N1 R2 N3 N4");
    Score score = scoreOf(std::move(s));
    splitRestChords(score, messages);
    Stave &out = score.Staves.front();
    EXPECT_EQ(layout(out), "Q2 C3 N1 N3 N4");
    EXPECT_EQ(at(out, 0).Note.MemberCount, 1);
    EXPECT_EQ(at(out, 0).Note.ChordFlag, 1);
    EXPECT_EQ(at(out, 1).Note.MemberCount, 2);
    EXPECT_EQ(at(out, 2).Note.ChordFlag, 1);
    EXPECT_EQ(at(out, 3).Note.ChordFlag, 1);
    EXPECT_EQ(at(out, 4).Note.ChordFlag, 0);
    EXPECT_EQ(out.ElementCount, 4 - 3 + 1 - 1);
}

TEST(SplitRestChords, ChordLeftWithOneNoteIsDissolved) {
    Stave s = staveOf({make({.kind = Kind::Note, .x = 100, .position = 4, .stem = 0}),
                       make({.kind = Kind::Rest, .x = 100, .position = 0, .stem = 4})});
    test::RecordingMessages messages;
    buildChords(s, messages);
    Score score = scoreOf(std::move(s));
    splitRestChords(score, messages);
    Stave &out = score.Staves.front();
    EXPECT_EQ(layout(out), "Q2 U1 N1");
    EXPECT_EQ(at(out, 2).Note.InChord, 0);
    EXPECT_EQ(at(out, 2).Note.ChordFlag, 0);
    EXPECT_EQ(at(out, 0).Kind, Kind::RestChord);
}

TEST(SplitRestChords, OnlyTheChordsOwnMembersAreTouched) {
    // A rest-chord mark without a rest among the members: a later rest stays where it is,
    // and a chord of one member is dissolved without reaching past it.
    Element chord = make({.kind = Kind::Note, .x = 100, .position = 0});
    chord.Kind = Kind::Chord;
    chord.Note.ChordFlag = 1;
    chord.Note.MemberCount = 1;
    Element member = make({.kind = Kind::Note, .x = 100, .position = 0});
    member.Note.InChord = 1;
    Element later = make({.kind = Kind::Note, .x = 200, .position = 0});
    later.Note.InChord = 1;
    Stave s = staveOf({chord, member, make({.kind = Kind::Text, .x = 150}), later,
                       make({.kind = Kind::Rest, .x = 300, .stem = 4})});
    Score score = scoreOf(std::move(s));
    test::RecordingMessages messages;
    splitRestChords(score, messages);
    Stave &out = score.Staves.front();
    EXPECT_EQ(layout(out), "U1 N2 T3 N4 R5");
    EXPECT_EQ(at(out, 1).Note.InChord, 0);
    EXPECT_EQ(at(out, 3).Note.InChord, 1);
}

} // namespace
} // namespace qm
