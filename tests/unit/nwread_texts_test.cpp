#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repair/expressions.hpp"
#include "repair/texts.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

// A stave at YPos 0 (positions already relative) and the score holding its texts.
struct TextStave {
    Score score;
    Stave stave;

    Element &text(std::string chars, std::int32_t x, std::int32_t y = -10, std::uint8_t style = 1) {
        score.TextTable.push_back(std::move(chars));
        score.TextCount = static_cast<std::int32_t>(score.TextTable.size() - 1);
        Element e = newElement(Kind::Text);
        e.XPos = x;
        e.YPos = y;
        e.Text.TextIndex = score.TextCount;
        e.Text.TextStyle = style;
        stave.Elements.push_back(e);
        return stave.Elements.back();
    }
    Element &other(Kind kind, std::int32_t x) {
        Element e = newElement(kind);
        e.XPos = x;
        stave.Elements.push_back(e);
        return stave.Elements.back();
    }
    const std::string &textOf(const Element &e) const {
        return score.TextTable[static_cast<std::size_t>(e.Text.TextIndex)];
    }
};

// --- Fragments joined ------------------------------------------------------------------------

TEST(JoinTextFragments, AFullFragmentJoinsWithoutABlank) {
    TextStave s;
    Element &first = s.text("Allegro ma n", 100);
    Element &second = s.text("on troppo", 196);
    joinTextFragments(s.stave, s.score);
    EXPECT_EQ(s.textOf(first), "Allegro ma non troppo");
    EXPECT_EQ(first.Kind, Kind::Text);
    EXPECT_EQ(second.Kind, Kind::Unknown);
    // Style 1 moves the joined text one step down.
    EXPECT_EQ(first.YPos, -9);
}

TEST(JoinTextFragments, TheGapDecidesOneBlankTwoOrNoJoin) {
    struct Case {
        std::int32_t x;
        std::string joined;
    };
    // "hello" at 0 in style 1 reaches to 64; 1.5 characters short of that is 52.
    const Case cases[] = {
        {50, "hello world"}, {52, "hello  world"}, {60, "hello  world"}, {64, "hello"}};
    for (const Case &c : cases) {
        TextStave s;
        Element &first = s.text("hello", 0);
        Element &second = s.text("world", c.x);
        joinTextFragments(s.stave, s.score);
        EXPECT_EQ(s.textOf(first), c.joined) << c.x;
        EXPECT_EQ(second.Kind, c.joined == "hello" ? Kind::Text : Kind::Unknown) << c.x;
    }
}

TEST(JoinTextFragments, OnlyTheSameLineAndStyleJoinAndOtherElementsDoNotInterrupt) {
    TextStave s;
    Element &first = s.text("one", 0, -10, 2);
    Element &lower = s.text("two", 20, -8, 2);  // two steps lower: skipped
    Element &styled = s.text("xx", 25, -10, 1); // another style: skipped
    s.other(Kind::Note, 30);
    Element &next = s.text("three", 40, -9, 2); // one step lower: joins
    joinTextFragments(s.stave, s.score);
    EXPECT_EQ(s.textOf(first), "one three");
    EXPECT_EQ(next.Kind, Kind::Unknown);
    EXPECT_EQ(lower.Kind, Kind::Text);
    EXPECT_EQ(styled.Kind, Kind::Text);
    EXPECT_EQ(first.YPos, -7); // style 2 moves three steps
    EXPECT_EQ(lower.YPos, -5);
    EXPECT_EQ(styled.YPos, -9);
}

TEST(JoinTextFragments, EachFragmentSetsTheReachOfTheNext) {
    TextStave s;
    // Style 5 is 30 wide: "ab" at 0 reaches 150; "cd" at 140 reaches 290; "ef" at 280 joins
    // although it lies far beyond the first fragment's reach.
    Element &first = s.text("ab", 0, 0, 5);
    s.text("cd", 140, 0, 5);
    s.text("ef", 280, 0, 5);
    Element &beyond = s.text("gh", 430, 0, 5);
    joinTextFragments(s.stave, s.score);
    EXPECT_EQ(s.textOf(first), "ab  cd  ef");
    EXPECT_EQ(beyond.Kind, Kind::Text);
    EXPECT_EQ(first.YPos, 8);
}

TEST(JoinTextFragments, AJoinedTextIsCutAt255Characters) {
    TextStave s;
    Element &first = s.text(std::string(12, 'a'), 0);
    for (int i = 1; i <= 30; ++i)
        s.text(std::string(12, 'b'), 96 * i);
    joinTextFragments(s.stave, s.score);
    EXPECT_EQ(s.textOf(first).size(), 255u);
    EXPECT_EQ(s.textOf(first).substr(0, 13), "aaaaaaaaaaaab");
}

// --- Texts classified ------------------------------------------------------------------------

TEST(Expressions, NormalisedTextsMatchTheirWords) {
    EXPECT_EQ(normaliseText("D.C. al Fine"), "dcalfine");
    struct Case {
        const char *text;
        int dynamic, style, flow;
    };
    const Case cases[] = {
        {"Cresc.", 0, 23, 10},      {"cre", 5, 23, 10},         {"DECRESC", 1, 23, 10},
        {"dim.", 2, 23, 10},        {"sf", 4, 23, 10},          {"s", 5, 23, 10},
        {"rfz", 3, 23, 10},         {"rf", 5, 23, 10},          {"poco a poco", 5, 11, 10},
        {"poco", 5, 23, 10},        {"ten.", 5, 20, 10},        {"Volta subito", 5, 22, 10},
        {"legatissimo", 5, 23, 10}, {"D.C. al Fine", 5, 23, 6}, {"Fine", 5, 23, 2},
        {"To Coda", 5, 23, 3},      {"Segno", 5, 23, 10},       {"", 5, 23, 10},
        {" . ", 5, 23, 10},
    };
    for (const Case &c : cases) {
        const std::string u = normaliseText(c.text);
        EXPECT_EQ(matchDynamicVariation(u), c.dynamic) << c.text;
        EXPECT_EQ(matchPerformanceStyle(u), c.style) << c.text;
        EXPECT_EQ(matchFlowDirection(u), c.flow) << c.text;
    }
}

TEST(ClassifyTexts, MatchingTextsBecomeTheirDirections) {
    TextStave s;
    Element &cresc = s.text("Cresc.", 0);
    Element &style = s.text("dolce", 10);
    Element &flow = s.text("D.S. al Coda", 20);
    Element &plain = s.text("Segno", 30);
    classifyTexts(s.stave, s.score);
    EXPECT_EQ(cresc.Kind, Kind::DynamicVar);
    EXPECT_EQ(cresc.Code, 0);
    EXPECT_EQ(style.Kind, Kind::PerformanceStyle);
    EXPECT_EQ(style.Code, 4);
    EXPECT_EQ(flow.Kind, Kind::FlowControl);
    EXPECT_EQ(flow.Code, 8);
    EXPECT_EQ(plain.Kind, Kind::Text);
    // The element keeps its text and place.
    EXPECT_EQ(s.textOf(flow), "D.S. al Coda");
    EXPECT_EQ(flow.XPos, 20);
}

// --- Title found -----------------------------------------------------------------------------

TEST(FindTitle, TheTopmostTitleStyleTextAboveTheStave) {
    TextStave s;
    s.text("Subtitle", 0, -20, 2);
    Element &title = s.text("Title", 0, -25, 5);
    s.text("Higher but plain", 0, -40, 1);
    s.text("Same height, later", 0, -25, 2);
    findTitle(s.stave, s.score);
    EXPECT_EQ(s.score.TitleIndex, title.Text.TextIndex);
    EXPECT_EQ(title.Kind, Kind::Unknown);
    std::size_t texts = 0;
    for (const Element &e : s.stave.Elements)
        texts += e.Kind == Kind::Text;
    EXPECT_EQ(texts, 3u);
}

TEST(FindTitle, NothingOnOrBelowTheStaveIsATitle) {
    TextStave s;
    Element &on = s.text("On", 0, 0, 2);
    s.text("Below", 0, 12, 5);
    findTitle(s.stave, s.score);
    EXPECT_EQ(s.score.TitleIndex, 0);
    EXPECT_EQ(on.Kind, Kind::Text);
}

} // namespace
} // namespace qm
