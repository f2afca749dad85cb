#include "repair/beams_ties.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::RecordingMessages;

// One element of a test stave; link numbers of 0 mean "no link".
struct Linked {
    Kind kind = Kind::Note;
    std::int32_t beamFrom = 0;
    std::int32_t beamTo = 0;
    std::int32_t tieFrom = 0;
    std::int32_t tieTo = 0;
};

Element linkedElement(const Linked &shape, std::int32_t staveNo, std::int32_t number) {
    Element element = newElement(shape.kind);
    element.StaveNo = staveNo;
    element.ElementNo = number;
    element.Note.BeamFrom = shape.beamFrom;
    element.Note.HasBeamFrom = shape.beamFrom != 0;
    element.Note.BeamTo = shape.beamTo;
    element.Note.HasBeamTo = shape.beamTo != 0;
    element.Note.TieFrom = shape.tieFrom;
    element.Note.HasTieFrom = shape.tieFrom != 0;
    element.Note.TieTo = shape.tieTo;
    element.Note.HasTieTo = shape.tieTo != 0;
    return element;
}

// Elements are numbered by their place in the list, as the reader numbers them.
Stave staveOfLinks(std::initializer_list<Linked> shapes, std::int32_t staveNo = 1) {
    Stave stave;
    stave.StaveNo = staveNo;
    std::int32_t number = 0;
    for (const Linked &shape : shapes)
        stave.Elements.push_back(linkedElement(shape, staveNo, ++number));
    stave.ElementCount = number;
    return stave;
}

using Links = std::vector<std::pair<std::int32_t, std::int32_t>>;

// (source, target) of every element's beam, 0 where the flag is not set.
Links beams(const Stave &stave) {
    Links links;
    for (const Element &e : stave.Elements)
        links.emplace_back(e.Note.HasBeamFrom ? e.Note.BeamFrom : 0,
                           e.Note.HasBeamTo ? e.Note.BeamTo : 0);
    return links;
}

Links ties(const Stave &stave) {
    Links links;
    for (const Element &e : stave.Elements)
        links.emplace_back(e.Note.HasTieFrom ? e.Note.TieFrom : 0,
                           e.Note.HasTieTo ? e.Note.TieTo : 0);
    return links;
}

Linked beam(std::int32_t from, std::int32_t to) { return {Kind::Note, from, to}; }
Linked tie(std::int32_t from, std::int32_t to) { return {Kind::Note, 0, 0, from, to}; }

TEST(BeamPairing, ConsistentLinksPassSilently) {
    RecordingMessages messages;
    Stave stave = staveOfLinks({beam(0, 2), beam(1, 3), beam(2, 0)});
    pairBeams(stave, messages);
    EXPECT_EQ(beams(stave), (Links{{0, 2}, {1, 3}, {2, 0}}));
    EXPECT_TRUE(messages.lines.empty());
    EXPECT_EQ(std::next(stave.Elements.begin(), 2)->Note.BeamMatched, 1);
}

TEST(BeamPairing, TargetThatIsMissingOrDoesNotPointBack) {
    RecordingMessages messages;
    Stave toRest = staveOfLinks({beam(0, 2), {Kind::Rest}});
    pairBeams(toRest, messages);
    EXPECT_EQ(beams(toRest), (Links{{0, 0}, {0, 0}}));
    Stave toNowhere = staveOfLinks({beam(0, 255), beam(0, 0)});
    pairBeams(toNowhere, messages);
    EXPECT_EQ(beams(toNowhere), (Links{{0, 0}, {0, 0}}));
    Stave notBack = staveOfLinks({beam(0, 2), beam(0, 0)});
    pairBeams(notBack, messages);
    EXPECT_EQ(beams(notBack), (Links{{0, 0}, {0, 0}}));
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{
                  "Error 53: Missing beam end, from element 1 to element 2, in stave 1",
                  "Error 53: Missing beam end, from element 1 to element 255, in stave 1",
                  "Error 53: Missing beam end, from element 1 to element 2, in stave 1"}));
}

TEST(BeamPairing, SelfTargetPassesOnlyWhenItsSourceNamesItself) {
    RecordingMessages messages;
    Stave both = staveOfLinks({{Kind::Clef}, beam(2, 2)});
    pairBeams(both, messages);
    EXPECT_EQ(beams(both)[1], std::make_pair(2, 2));
    EXPECT_TRUE(messages.lines.empty());
    Stave targetOnly = staveOfLinks({{Kind::Clef}, beam(0, 2)});
    pairBeams(targetOnly, messages);
    EXPECT_EQ(beams(targetOnly)[1], std::make_pair(0, 0));
    EXPECT_TRUE(
        messages.has("Error 53: Missing beam end, from element 2 to element 2, in stave 1"));
}

TEST(BeamPairing, SourceIsCheckedOnlyOnNotesWithoutATarget) {
    RecordingMessages messages;
    Stave stave = staveOfLinks({beam(0, 0), beam(1, 3), beam(2, 0), beam(3, 0)});
    pairBeams(stave, messages);
    // Note 2 keeps its unconfirmed source because it has a target; note 4's is cleared.
    EXPECT_EQ(beams(stave), (Links{{0, 0}, {1, 3}, {2, 0}, {0, 0}}));
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{
                  "Error 54: Missing beam start, to element 4 from element 3, in stave 1"}));
}

TEST(BeamPairing, ReversedPairInsideAChainOfFourIsRelinked) {
    RecordingMessages messages;
    // Written P(1) -> L(3) -> E(2) -> Q(4).
    Stave stave = staveOfLinks({beam(0, 3), beam(3, 4), beam(1, 2), beam(2, 0)});
    pairBeams(stave, messages);
    EXPECT_EQ(beams(stave), (Links{{0, 2}, {1, 3}, {2, 4}, {3, 0}}));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BeamPairing, BareReversedPairIsRelinkedAndKept) {
    RecordingMessages messages;
    Stave stave = staveOfLinks({{Kind::Clef}, beam(3, 0), beam(0, 2), beam(0, 0)});
    pairBeams(stave, messages);
    EXPECT_EQ(beams(stave), (Links{{0, 0}, {0, 3}, {2, 0}, {0, 0}}));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BeamPairing, BackwardLinksWithoutPartners) {
    RecordingMessages messages;
    // Element 1 is a clef, element 9 does not exist: both halves of the check run.
    Stave missing = staveOfLinks({{Kind::Clef}, beam(9, 1)});
    pairBeams(missing, messages);
    EXPECT_EQ(beams(missing)[1], std::make_pair(0, 0));
    // Partners that exist but do not name the note back: reported, left as they were.
    Stave improper = staveOfLinks({beam(3, 0), beam(0, 1), beam(0, 0)});
    pairBeams(improper, messages);
    EXPECT_EQ(beams(improper), (Links{{3, 0}, {0, 1}, {0, 0}}));
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{
                  "Error 68: Missing beam end from element 2 to element 1, in stave 1",
                  "Error 70: Missing beam start from element 9 to element 2, in stave 1",
                  "Error 71: Improperly matched beam ends between elements 1 and 3, in stave 1",
                  "Error 69: Improperly matched beam ends between elements 2 and 1, in stave 1"}));
}

// A bar line copied from the stave above keeps that stave's numbers; it must not stand in for
// the partner that follows it.
Stave withCopiedBarLine(std::initializer_list<Linked> shapes) {
    Stave stave = staveOfLinks(shapes, 2);
    Element copied = newElement(Kind::BarLine);
    copied.StaveNo = 1;
    copied.ElementNo = 3;
    stave.Elements.insert(std::next(stave.Elements.begin()), copied);
    return stave;
}

TEST(BeamTiePairing, ForwardSearchPassesOverElementsOfAnotherStave) {
    RecordingMessages messages;
    Stave beamed = withCopiedBarLine({beam(0, 3), beam(0, 0), beam(1, 0)});
    pairBeams(beamed, messages);
    EXPECT_EQ(beams(beamed), (Links{{0, 3}, {0, 0}, {0, 0}, {1, 0}}));
    Stave tied = withCopiedBarLine({tie(0, 3), tie(0, 0), tie(1, 0)});
    pairTies(tied, messages);
    EXPECT_EQ(ties(tied), (Links{{0, 3}, {0, 0}, {0, 0}, {1, 0}}));
    EXPECT_TRUE(messages.lines.empty());
}

TEST(TiePairing, ForwardOnlyAndUnconfirmedStarts) {
    RecordingMessages messages;
    Stave stave = staveOfLinks({tie(0, 2), tie(1, 0), tie(0, 0), tie(0, 3), tie(5, 0)});
    pairTies(stave, messages);
    // 1 -> 2 holds; 4 -> 3 points backwards and is cut; 5's source was never confirmed.
    EXPECT_EQ(ties(stave), (Links{{0, 2}, {1, 0}, {0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(messages.lines,
              (std::vector<std::string>{
                  "Error 55: Missing tie end, from element 4 to element 3, in stave 1",
                  "Error 56: Missing tie start, to element 5 from element 5, in stave 1"}));
}

// Links naming anything from 0 to 255, themselves and rests: the passes end, every surviving tie
// target names its note back, and a surviving tie source on a note that never had a target was
// confirmed by the note it names.
TEST(BeamTiePairing, ArbitraryLinksEndAndSurvivingTiesAreConsistent) {
    std::mt19937 random(8);
    for (int round = 0; round < 300; ++round) {
        Stave stave;
        std::vector<bool> hadTieTo;
        std::uniform_int_distribution<std::int32_t> anyNumber(0, 255), near(0, 14);
        for (std::int32_t number = 1; number <= 12; ++number) {
            auto link = [&] { return random() % 2 ? near(random) : anyNumber(random); };
            Linked shape{random() % 5 ? Kind::Note : Kind::Rest, link(), link(), link(), link()};
            stave.Elements.push_back(linkedElement(shape, 1, number));
            hadTieTo.push_back(shape.tieTo != 0);
        }
        RecordingMessages messages;
        pairBeams(stave, messages);
        pairTies(stave, messages);
        for (const std::string &line : messages.lines) {
            const std::string code = line.substr(0, line.find(':'));
            EXPECT_TRUE(code == "Error 53" || code == "Error 54" || code == "Error 55" ||
                        code == "Error 56" || (code >= "Error 68" && code <= "Error 71"))
                << line;
        }
        for (auto it = stave.Elements.begin(); it != stave.Elements.end(); ++it) {
            if (it->Kind != Kind::Note) continue;
            if (it->Note.HasTieTo) {
                auto target = std::find_if(it, stave.Elements.end(), [&](const Element &e) {
                    return e.ElementNo == it->Note.TieTo;
                });
                ASSERT_NE(target, stave.Elements.end());
                EXPECT_TRUE(target->Kind == Kind::Note && target->Note.HasTieFrom &&
                            target->Note.TieFrom == it->ElementNo);
            } else if (it->Note.HasTieFrom && !hadTieTo[it->ElementNo - 1]) {
                const bool confirmed =
                    std::any_of(stave.Elements.begin(), it, [&](const Element &e) {
                        return e.Kind == Kind::Note && e.ElementNo == it->Note.TieFrom &&
                               e.Note.HasTieTo && e.Note.TieTo == it->ElementNo;
                    });
                EXPECT_TRUE(confirmed) << "round " << round << ", element " << it->ElementNo;
            }
        }
    }
}

} // namespace
} // namespace qm
