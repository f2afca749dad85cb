#include "repair/slurs.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::RecordingMessages;

// Elements are numbered by their place in the list, as the reader numbers them.
struct Piece {
    Kind kind;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t next = 0; // slur points: number of the next point
};

Stave staveOfPieces(std::initializer_list<Piece> pieces) {
    Stave stave;
    stave.StaveNo = 1;
    std::int32_t number = 0;
    for (const Piece &piece : pieces) {
        Element element = newElement(piece.kind);
        element.StaveNo = 1;
        element.ElementNo = ++number;
        element.XPos = piece.x;
        element.YPos = piece.y;
        element.Code = piece.next;
        stave.Elements.push_back(element);
    }
    stave.ElementCount = number;
    return stave;
}

Piece note(std::int32_t x, std::int32_t y = 0) { return {Kind::Note, x, y}; }
Piece rest(std::int32_t x) { return {Kind::Rest, x}; }
Piece bar(std::int32_t x) { return {Kind::BarLine, x}; }
Piece point(std::int32_t x, std::int32_t y, std::uint8_t next) {
    return {Kind::SlurPoint, x, y, next};
}

Element &at(Stave &stave, std::int32_t number) {
    return *std::next(stave.Elements.begin(), number - 1);
}
ElementIt itAt(Stave &stave, std::int32_t number) {
    return std::next(stave.Elements.begin(), number - 1);
}

// The slur code the writer puts into a note record: 1 first, 3 inner, 2 last note.
std::vector<int> slurCodes(const Stave &stave) {
    std::vector<int> codes;
    for (const Element &element : stave.Elements) {
        if (element.Kind == Kind::Note || element.Kind == Kind::Rest)
            codes.push_back(element.Note.HasSlurTo | (element.Note.HasSlurFrom << 1));
    }
    return codes;
}

bool noSlurPointsLeft(const Stave &stave) {
    for (const Element &element : stave.Elements)
        if (element.Kind == Kind::SlurPoint) return false;
    return true;
}

TEST(SlurGeometry, GradientChoosesDirection) {
    RecordingMessages messages;
    Element a = newElement(Kind::SlurPoint), b = a, c = a;
    a.XPos = 10, b.XPos = 20, c.XPos = 30;
    b.YPos = 10;
    EXPECT_FALSE(slurGradientRises(a, b, c, messages)); // 1 then -1
    b.YPos = -10;
    EXPECT_TRUE(slurGradientRises(a, b, c, messages)); // -1 then 1
    b.YPos = 5;
    c.YPos = 10;
    EXPECT_FALSE(slurGradientRises(a, b, c, messages)); // equal gradients are not a rise
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SlurGeometry, PointsNotStrictlyLeftToRightAreAnError) {
    RecordingMessages messages;
    Element a = newElement(Kind::SlurPoint), c = a;
    a.XPos = 10, c.XPos = 30;
    c.YPos = -50;
    EXPECT_TRUE(slurGradientRises(a, a, c, messages)); // two-point chain: middle is first
    c.XPos = 10;
    Element b = a;
    b.XPos = 20;
    EXPECT_TRUE(slurGradientRises(a, b, c, messages));
    EXPECT_EQ(messages.errors(9), 2);
    EXPECT_TRUE(messages.has("Error 9: Gradient error for slur"));
}

TEST(SlurGeometry, XCostOnBothSidesOfAPoint) {
    Element p = newElement(Kind::SlurPoint);
    p.XPos = 100;
    const auto cost = [&](std::int32_t noteX, bool atStart) {
        Element n = newElement(Kind::Note);
        n.XPos = noteX;
        return slurXCost(n, p, atStart);
    };
    // A start point prefers notes at or left of it.
    EXPECT_EQ(cost(100, true), 0);
    EXPECT_EQ(cost(104, true), 4);
    EXPECT_EQ(cost(96, true), 4);
    EXPECT_EQ(cost(105, true), 5);
    EXPECT_EQ(cost(95, true), 5);
    EXPECT_EQ(cost(106, true), 8);
    EXPECT_EQ(cost(94, true), 6);
    EXPECT_EQ(cost(150, true), 140);
    // An end point prefers notes at or right of it.
    EXPECT_EQ(cost(106, false), 6);
    EXPECT_EQ(cost(94, false), 8);
    EXPECT_EQ(cost(97, false), 3);
    // Far-apart positions do not wrap the cost.
    p.XPos = 2'000'000'000;
    EXPECT_GT(cost(-2'000'000'000, false), 100);
}

TEST(SlurGeometry, YDistanceIsOnACircleOf256) {
    Element p = newElement(Kind::SlurPoint);
    Element n = newElement(Kind::Note);
    const auto distance = [&](std::int32_t pointY, std::int32_t noteY) {
        p.YPos = pointY;
        n.YPos = noteY;
        return slurYDistance(p, n);
    };
    EXPECT_EQ(distance(0, 0), 0);
    EXPECT_EQ(distance(10, 0), 10);
    EXPECT_EQ(distance(0, 10), 10);
    EXPECT_EQ(distance(128, 0), 128);
    EXPECT_EQ(distance(200, 0), 56);
    EXPECT_EQ(distance(0, 256), 0);
    // Differences below -256 land on the same circle instead of going negative.
    EXPECT_EQ(distance(0, 300), 44);
    EXPECT_EQ(distance(1000, 3000), 48);
}

TEST(SlurNearestNote, CheapestNoteWinsAndHeightBreaksNearTies) {
    RecordingMessages messages;
    // Equal cost 3 on both sides: the earlier note wins at equal height...
    Stave same = staveOfPieces({note(7, 0), point(10, 0, 0), note(13, 0)});
    EXPECT_EQ(nearestSlurNote(same, same.Elements.begin(), itAt(same, 2), same.Elements.end(), true,
                              messages),
              itAt(same, 1));
    // ...unless the later one is nearer in height.
    Stave higher = staveOfPieces({note(7, 40), point(10, 0, 0), note(13, 5)});
    EXPECT_EQ(nearestSlurNote(higher, higher.Elements.begin(), itAt(higher, 2),
                              higher.Elements.end(), true, messages),
              itAt(higher, 3));
    // A note one unit dearer may still win on height; two units dearer may not.
    Stave oneMore = staveOfPieces({point(10, 0, 0), note(10, 40), note(11, 0)});
    EXPECT_EQ(nearestSlurNote(oneMore, oneMore.Elements.begin(), itAt(oneMore, 1),
                              oneMore.Elements.end(), true, messages),
              itAt(oneMore, 3));
    Stave twoMore = staveOfPieces({point(10, 0, 0), note(10, 40), note(12, 0)});
    EXPECT_EQ(nearestSlurNote(twoMore, twoMore.Elements.begin(), itAt(twoMore, 1),
                              twoMore.Elements.end(), true, messages),
              itAt(twoMore, 2));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SlurNearestNote, OnlyCostsBelow100QualifyAndRestsNeverDo) {
    RecordingMessages messages;
    Stave near = staveOfPieces({point(10, 0, 0), rest(10), note(109)});
    EXPECT_EQ(nearestSlurNote(near, near.Elements.begin(), itAt(near, 1), near.Elements.end(),
                              false, messages),
              itAt(near, 3));
    Stave far = staveOfPieces({bar(0), bar(1), point(10, 0, 0), rest(10), note(110)});
    EXPECT_EQ(nearestSlurNote(far, far.Elements.begin(), itAt(far, 3), far.Elements.end(), false,
                              messages),
              far.Elements.end());
    ASSERT_EQ(messages.lines.size(), 1u);
    EXPECT_EQ(messages.lines[0],
              "Error 11: Not found note at end of slur in stave 1, starting in bar 3, element 3");
}

TEST(SlurResolve, FiveNotesUnderAThreePointSlur) {
    RecordingMessages messages;
    Stave stave = staveOfPieces({note(0), point(3, 0, 4), note(20), point(40, -10, 6), note(40),
                                 point(77, 0, 0), note(60), note(80)});
    resolveSlurs(stave, messages);
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{1, 3, 3, 3, 2}));
    for (const Element &element : stave.Elements)
        if (element.Kind == Kind::Note) EXPECT_EQ(element.Note.SlurDir, 0);
    EXPECT_TRUE(noSlurPointsLeft(stave));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SlurResolve, TheReadPointCountEndsTheSearchOnlyAfterTheLastChain) {
    // Two chains, the second broken (its last point names one that does not exist): five
    // points in all.
    const auto build = [] {
        return staveOfPieces({note(0), point(3, 0, 4), note(20), point(40, -10, 6), note(40),
                              point(77, 0, 0), note(60), bar(70), note(100), point(103, 0, 12),
                              note(120), point(140, -10, 99), note(140)});
    };
    RecordingMessages unbounded;
    Stave expected = build();
    resolveSlurs(expected, unbounded);
    RecordingMessages counted;
    Stave stave = build();
    resolveSlurs(stave, counted, 5);
    EXPECT_EQ(slurCodes(stave), slurCodes(expected));
    EXPECT_TRUE(noSlurPointsLeft(stave));
    EXPECT_EQ(counted.lines, unbounded.lines);
    EXPECT_EQ(unbounded.errors(10), 1); // the broken chain
}

TEST(SlurResolve, RestsBetweenGetBothFlagsButAreNeverEnds) {
    RecordingMessages messages;
    // The rest after the last point is the limit; the note before it is the end note.
    Stave stave = staveOfPieces(
        {note(0), point(2, 0, 5), rest(10), note(20, 20), point(19, 0, 0), rest(21), note(22)});
    resolveSlurs(stave, messages);
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{1, 3, 2, 0, 0}));
    EXPECT_EQ(at(stave, 3).Note.SlurDir, 0); // two points: gradient error, direction 0
    EXPECT_EQ(messages.errors(9), 1);
    EXPECT_EQ(messages.lines.size(), 1u);
}

TEST(SlurResolve, AnchorsBoundTheCandidatesOnBothSides) {
    for (Kind anchorKind : {Kind::BarLine, Kind::Clef, Kind::Rest, Kind::TimeSig, Kind::KeySig}) {
        RecordingMessages messages;
        // An anchor between the near note and the first point shuts that note out.
        Stave before = staveOfPieces(
            {note(10), {anchorKind, 11}, point(12, 0, 5), note(30), point(39, 0, 0), note(40)});
        resolveSlurs(before, messages);
        const std::vector<int> codes = slurCodes(before);
        EXPECT_EQ(codes.front(), 0) << kindName(anchorKind);
        EXPECT_EQ(codes.back(), 2) << kindName(anchorKind);
        // An anchor after the last point ends the candidates, even before a nearer note.
        Stave after = staveOfPieces(
            {note(0), point(1, 0, 4), note(20), point(44, 0, 0), {anchorKind, 45}, note(46)});
        resolveSlurs(after, messages);
        EXPECT_EQ(at(after, 3).Note.HasSlurFrom, 1) << kindName(anchorKind);
        EXPECT_EQ(at(after, 6).Note.HasSlurFrom, 0) << kindName(anchorKind);
    }
    // Other kinds bound nothing: the nearer notes win.
    RecordingMessages messages;
    Stave open = staveOfPieces({note(10),
                                {Kind::Text, 11},
                                point(12, 0, 5),
                                note(30),
                                point(44, 0, 0),
                                {Kind::Text, 45},
                                note(46)});
    resolveSlurs(open, messages);
    EXPECT_EQ(slurCodes(open), (std::vector<int>{1, 3, 2}));
}

TEST(SlurResolve, ChainFollowsItsOwnLinksAndUsesThePointBeforeTheLast) {
    RecordingMessages messages;
    // S(0,0) M1(10,50) M2(20,0) E(30,40): through M2 the curve rises (direction 0); through M1
    // it would not.
    Stave stave = staveOfPieces({note(0), point(0, 0, 4), note(10), point(10, 50, 6), note(20),
                                 point(20, 0, 8), note(30), point(30, 40, 0)});
    resolveSlurs(stave, messages);
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{1, 3, 3, 2}));
    EXPECT_EQ(at(stave, 7).Note.SlurDir, 0);
    EXPECT_TRUE(noSlurPointsLeft(stave));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(SlurResolve, InterleavedChainsAreEachFollowedByTheirOwnLinks) {
    RecordingMessages messages;
    Stave stave = staveOfPieces({note(0), point(1, 0, 5), note(10), point(11, 0, 7),
                                 point(19, 0, 0), note(20), point(29, 0, 0), note(30)});
    resolveSlurs(stave, messages);
    // Slur A binds notes 1..6, slur B notes 3..8; note 6 ends A and goes on under B.
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{1, 3, 3, 2}));
    EXPECT_TRUE(noSlurPointsLeft(stave));
    EXPECT_EQ(messages.errors(9), 2);
    EXPECT_EQ(messages.lines.size(), 2u);
}

TEST(SlurResolve, BrokenChainMarksNothingAndRetiresItsPoints) {
    RecordingMessages messages;
    // The first point names number 1, which lies before it.
    Stave stave = staveOfPieces({note(0), point(1, 0, 1), note(20), point(30, 0, 0), note(31)});
    resolveSlurs(stave, messages);
    // Point 4 then starts a one-point chain of its own: it is its own start and end.
    EXPECT_EQ(messages.lines, (std::vector<std::string>{"Error 10: Missing slur end element",
                                                        "Error 9: Gradient error for slur",
                                                        "Error 9: Gradient error for slur"}));
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{0, 0, 0}));
    EXPECT_TRUE(noSlurPointsLeft(stave));
}

TEST(SlurResolve, LoopingChainsEnd) {
    RecordingMessages messages;
    // 2 -> 3 -> 2 loops back; 5 names itself. Both end as broken chains.
    Stave stave = staveOfPieces(
        {note(0), point(1, 0, 3), point(5, 0, 2), note(10), point(11, 0, 5), note(20)});
    resolveSlurs(stave, messages);
    EXPECT_EQ(messages.errors(10), 2);
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{0, 0, 0}));
    EXPECT_TRUE(noSlurPointsLeft(stave));
}

TEST(SlurResolve, EndNoteBeforeStartNoteMarksOnlyBetweenThem) {
    RecordingMessages messages;
    // The start point lies right of the end point: the end note comes first in the list.
    Stave stave =
        staveOfPieces({note(10), note(30), note(50), point(51, 0, 5), point(9, 0, 0), note(70)});
    resolveSlurs(stave, messages);
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{1, 3, 2, 0}));
    EXPECT_EQ(messages.errors(9), 1);
}

TEST(SlurResolve, MissingNotesReportBothEndsWithTheirBar) {
    RecordingMessages messages;
    Stave stave = staveOfPieces({{Kind::Clef, 0}, bar(5), point(10, 0, 4), point(20, 0, 0)});
    resolveSlurs(stave, messages);
    EXPECT_EQ(
        messages.lines,
        (std::vector<std::string>{
            "Error 9: Gradient error for slur",
            "Error 11: Not found note at start of slur in stave 1, starting in bar 2, element 3",
            "Error 11: Not found note at end of slur in stave 1, starting in bar 2, element 4"}));
    EXPECT_TRUE(noSlurPointsLeft(stave));
}

TEST(SlurResolve, SameStartAndEndNoteSetsNothingAndOldFlagsStay) {
    RecordingMessages messages;
    Stave stave = staveOfPieces({note(10), point(10, 0, 3), point(11, 0, 0), note(100)});
    at(stave, 4).Note.HasSlurFrom = 1; // from an older file's own record
    resolveSlurs(stave, messages);
    EXPECT_EQ(slurCodes(stave), (std::vector<int>{0, 2}));
    EXPECT_EQ(at(stave, 1).Note.SlurDir, 1);
}

} // namespace
} // namespace qm
