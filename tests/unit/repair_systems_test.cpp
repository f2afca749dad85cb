#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "repair/systems.hpp"
#include "support/builders.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::make;

// Appends a stave with the given elements, numbered as the reader numbers them.
Stave &addStave(Score &score, bool systemStart, std::vector<Element> elements) {
    Stave &stave = score.Staves.emplace_back();
    stave.StaveNo = ++score.StaveCount;
    stave.SystemStart = systemStart ? 1 : 0;
    for (Element &e : elements) {
        e.StaveNo = stave.StaveNo;
        e.ElementNo = ++stave.ElementCount;
        stave.Elements.push_back(e);
    }
    return stave;
}

// One note per stave, tagged 10 * system + stave, closed by a full 4/4 bar.
void addSystem(Score &score, std::int32_t system, std::int32_t staves) {
    for (std::int32_t k = 1; k <= staves; ++k)
        addStave(score, k == 1,
                 {make({.kind = Kind::Note, .x = 10 * system + k, .duration = 1}),
                  make({.kind = Kind::BarLine})});
}

std::vector<std::int32_t> noteTags(const Stave &stave) {
    std::vector<std::int32_t> tags;
    for (const Element &e : stave.Elements)
        if (e.Kind == Kind::Note) tags.push_back(e.XPos);
    return tags;
}

const Stave &staveNo(const Score &score, std::size_t i) {
    return *std::next(score.Staves.begin(), static_cast<long>(i) - 1);
}

TEST(Systems, OneSystemIsOnlyRenumbered) {
    Score score;
    addSystem(score, 1, 3);
    for (Stave &s : score.Staves)
        s.StaveNo = 9; // as the reader leaves them: not 1..n
    test::RecordingMessages messages;
    joinSystems(score, messages);
    ASSERT_EQ(score.Staves.size(), 3u);
    EXPECT_EQ(score.StaveCount, 3);
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(staveNo(score, i).StaveNo, static_cast<std::int32_t>(i));
        EXPECT_EQ(noteTags(staveNo(score, i)),
                  std::vector<std::int32_t>{10 + static_cast<std::int32_t>(i)});
    }
    EXPECT_TRUE(messages.lines.empty());

    Score empty;
    joinSystems(empty, messages);
    EXPECT_TRUE(empty.Staves.empty());
    EXPECT_EQ(empty.StaveCount, 0);
}

TEST(Systems, EvenSystemsAreJoinedStaveByStave) {
    Score score;
    addSystem(score, 1, 2);
    addSystem(score, 2, 2);
    addSystem(score, 3, 2);
    test::RecordingMessages messages;
    joinSystems(score, messages);
    ASSERT_EQ(score.Staves.size(), 2u);
    EXPECT_EQ(score.StaveCount, 2);
    EXPECT_EQ(noteTags(staveNo(score, 1)), (std::vector<std::int32_t>{11, 21, 31}));
    EXPECT_EQ(noteTags(staveNo(score, 2)), (std::vector<std::int32_t>{12, 22, 32}));
    EXPECT_EQ(staveNo(score, 2).ElementCount, 6);
    EXPECT_EQ(staveNo(score, 2).Elements.size(), 6u);
    // joined elements keep the stave number they were read with
    EXPECT_EQ(staveNo(score, 2).Elements.back().StaveNo, 6);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(Systems, ShortMiddleSystemIsFilledWithWholeBarRests) {
    Score score;
    addSystem(score, 1, 3);
    // The middle system's first stave decides the bars of the added stave.
    addStave(score, true,
             {make({.kind = Kind::Clef}), make({.kind = Kind::KeySig}),
              make({.kind = Kind::TimeSig, .numerator = 3, .denominator = 4}),
              make({.kind = Kind::Note, .x = 21, .duration = 3}),
              make({.kind = Kind::Note, .duration = 3}), make({.kind = Kind::Note, .duration = 3}),
              make({.kind = Kind::BarLine, .x = 1}), make({.kind = Kind::Note, .duration = 2}),
              make({.kind = Kind::Note, .duration = 4}), make({.kind = Kind::BarLine, .x = 2}),
              make({.kind = Kind::Volume, .x = 3}), make({.kind = Kind::Note, .duration = 1}),
              make({.kind = Kind::Text})});
    addStave(score, false,
             {make({.kind = Kind::Note, .x = 22, .duration = 1}), make({.kind = Kind::BarLine})});
    addSystem(score, 3, 3);
    test::RecordingMessages messages;
    joinSystems(score, messages);
    ASSERT_EQ(score.Staves.size(), 3u);
    EXPECT_EQ(score.StaveCount, 3);
    EXPECT_EQ(noteTags(staveNo(score, 1)), (std::vector<std::int32_t>{11, 21, 0, 0, 0, 0, 0, 31}));
    EXPECT_EQ(noteTags(staveNo(score, 2)), (std::vector<std::int32_t>{12, 22, 32}));
    EXPECT_EQ(noteTags(staveNo(score, 3)), (std::vector<std::int32_t>{13, 33}));

    // The third output stave: system 1, the stave of rests, system 3.
    const Stave &third = staveNo(score, 3);
    std::vector<Element> added(std::next(third.Elements.begin(), 2),
                               std::prev(third.Elements.end(), 2));
    ASSERT_EQ(added.size(), 8u);
    const Kind expectedKinds[] = {Kind::TimeSig, Kind::Rest,    Kind::BarLine, Kind::Rest,
                                  Kind::Rest,    Kind::BarLine, Kind::Volume,  Kind::Rest};
    const std::uint8_t durations[] = {0, 2, 0, 2, 4, 0, 0, 1};
    const std::uint8_t dotted[] = {0, 1, 0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < added.size(); ++i) {
        EXPECT_EQ(added[i].Kind, expectedKinds[i]) << i;
        if (added[i].Kind != Kind::Rest) continue;
        EXPECT_EQ(added[i].Note.Duration, durations[i]) << i;
        EXPECT_EQ(added[i].Note.Dotted, dotted[i]) << i;
        EXPECT_EQ(added[i].Note.DoubleDotted, 0) << i;
        EXPECT_EQ(added[i].ElementNo, static_cast<std::int32_t>(i) + 1) << i;
        EXPECT_EQ(added[i].StaveNo, 0) << i; // the new stave had no number yet
    }
    // copies keep every field of the source element, its numbers included
    EXPECT_EQ(added[0].TimeSig.Numerator, 3);
    EXPECT_EQ(added[0].ElementNo, 3);
    EXPECT_EQ(added[0].StaveNo, 4);
    EXPECT_EQ(added[2].XPos, 1);
    EXPECT_EQ(added[5].XPos, 2);
    EXPECT_EQ(added[6].XPos, 3);
    EXPECT_EQ(third.ElementCount, 2 + 8 + 2);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(Systems, ShortFirstSystemTakesStylesAndClefFromTheLargest) {
    Score score;
    addSystem(score, 1, 2);
    addSystem(score, 2, 3);
    addSystem(score, 3, 3);
    auto style = [&](std::size_t i, std::uint8_t staffStyle, std::uint8_t clef) {
        Stave &s = *std::next(score.Staves.begin(), static_cast<long>(i) - 1);
        s.StaffStyle = staffStyle;
        s.InitialClef = clef;
    };
    style(1, 0, 1);
    style(2, 0, 1);
    style(3, 1, 2);
    style(4, 2, 3);
    style(5, 3, 4);
    style(6, 0, 5); // the later 3-stave system does not count
    style(7, 0, 5);
    style(8, 0, 5);
    test::RecordingMessages messages;
    joinSystems(score, messages);
    ASSERT_EQ(score.Staves.size(), 3u);
    EXPECT_EQ(staveNo(score, 1).StaffStyle, 1);
    EXPECT_EQ(staveNo(score, 2).StaffStyle, 2);
    EXPECT_EQ(staveNo(score, 3).StaffStyle, 3);
    EXPECT_EQ(staveNo(score, 1).InitialClef, 1); // the first system's own staves keep theirs
    EXPECT_EQ(staveNo(score, 2).InitialClef, 1);
    EXPECT_EQ(staveNo(score, 3).InitialClef, 4);
    EXPECT_EQ(staveNo(score, 3).StaveNo, 3);
    // the added stave holds a whole-bar rest in place of the first stave's semibreve
    EXPECT_EQ(noteTags(staveNo(score, 3)), (std::vector<std::int32_t>{23, 33}));
    EXPECT_EQ(staveNo(score, 3).Elements.front().Kind, Kind::Rest);
    EXPECT_EQ(staveNo(score, 3).Elements.front().Note.Duration, 1);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(Systems, FirstStaveWithoutSystemStartIsReportedAndJoinedAsFarAsPossible) {
    Score score;
    addStave(score, false, {make({.kind = Kind::Note, .x = 1, .duration = 1})});
    addStave(score, true, {make({.kind = Kind::Note, .x = 2, .duration = 1})});
    addStave(score, false, {make({.kind = Kind::Note, .x = 3, .duration = 1})});
    addStave(score, false, {make({.kind = Kind::Note, .x = 4, .duration = 1})});
    std::uint8_t n = 0;
    for (Stave &s : score.Staves)
        s.StaffStyle = s.InitialClef = ++n;
    test::RecordingMessages messages;
    joinSystems(score, messages);
    EXPECT_EQ(messages.lines, (std::vector<std::string>{
                                  "Error 6: Failed to detect first stave in system",
                                  "Error 50: Unexpected first system length of 1 staves.",
                                  "Error 50: Unexpected loss of start of system",
                                  "Error 51: Unexpected missing stave",
                                  "Error 51: Unexpected missing stave",
                              }));
    ASSERT_EQ(score.Staves.size(), 3u);
    EXPECT_EQ(score.StaveCount, 3);
    EXPECT_EQ(noteTags(staveNo(score, 1)), (std::vector<std::int32_t>{1, 4}));
    EXPECT_EQ(noteTags(staveNo(score, 2)), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(noteTags(staveNo(score, 3)), (std::vector<std::int32_t>{3}));
    // the first three staves of the list take over from the largest run, which starts at 2
    EXPECT_EQ(staveNo(score, 1).StaffStyle, 2);
    EXPECT_EQ(staveNo(score, 1).InitialClef, 1);
    EXPECT_EQ(staveNo(score, 2).StaffStyle, 3);
    EXPECT_EQ(staveNo(score, 2).InitialClef, 3);
    EXPECT_EQ(staveNo(score, 3).StaffStyle, 4);
    EXPECT_EQ(staveNo(score, 3).InitialClef, 4);
    for (std::size_t i = 1; i <= 3; ++i)
        EXPECT_EQ(staveNo(score, i).StaveNo, static_cast<std::int32_t>(i));
}

TEST(Systems, ShortBarAtASystemsEndRunsIntoTheNext) {
    Score score;
    addStave(score, true,
             {make({.kind = Kind::Clef}), make({.kind = Kind::Note, .duration = 1}),
              make({.kind = Kind::BarLine}), make({.kind = Kind::Note, .duration = 2}),
              make({.kind = Kind::BarLine, .x = 7}), make({.kind = Kind::Text})});
    addStave(score, true,
             {make({.kind = Kind::Note, .duration = 2}), make({.kind = Kind::BarLine, .x = 8}),
              make({.kind = Kind::Text})});
    addStave(score, true,
             {make({.kind = Kind::Note, .duration = 1}), make({.kind = Kind::BarLine, .x = 9})});
    test::RecordingMessages messages;
    joinSystems(score, messages);
    std::vector<std::int32_t> bars;
    for (const Element &e : score.Staves.front().Elements)
        if (e.Kind == Kind::BarLine) bars.push_back(e.XPos);
    // the half bar's line goes; the bar it runs into is full, so its line stays
    EXPECT_EQ(bars, (std::vector<std::int32_t>{0, 8, 9}));
    EXPECT_EQ(score.Staves.front().ElementCount, 11);
}

} // namespace
} // namespace qm
