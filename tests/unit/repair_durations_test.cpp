#include "repair/durations.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/builders.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::make;

using test::RecordingMessages;

TEST(DurationValue, Table) {
    struct Row {
        std::uint8_t duration;
        int dots;
        std::int32_t value;
        int error; // 0: none
    };
    const Row rows[] = {
        {0, 0, 128, 0}, {1, 0, 64, 0}, {2, 0, 32, 0}, {3, 0, 16, 0}, {4, 0, 8, 0},   {5, 0, 4, 0},
        {6, 0, 2, 0},   {7, 0, 1, 0},  {3, 1, 24, 0}, {3, 2, 28, 0}, {0, 1, 192, 0}, {0, 2, 224, 0},
        {5, 2, 7, 0},   {6, 1, 3, 0},  {6, 2, 3, 48}, {7, 1, 1, 49}, {7, 2, 1, 48},
    };
    for (const Row &row : rows) {
        const Duration measured =
            measureDuration(make({.kind = Kind::Note, .duration = row.duration, .dots = row.dots}));
        EXPECT_EQ(measured.Value, row.value);
        EXPECT_EQ(static_cast<int>(measured.Fault), row.error);
        RecordingMessages messages;
        EXPECT_EQ(
            durationValue(make({.kind = Kind::Note, .duration = row.duration, .dots = row.dots}),
                          messages),
            row.value)
            << int{row.duration} << " with " << row.dots << " dots";
        EXPECT_EQ(messages.lines.size(), row.error ? 1u : 0u);
        if (row.error == 48) EXPECT_TRUE(messages.has("Error 48: Too short a double dotted note"));
        if (row.error == 49) EXPECT_TRUE(messages.has("Error 49: Too short a dotted note"));
    }
}

TEST(DurationValue, KindsDotsAndRepeatedErrors) {
    RecordingMessages messages;
    Element both = make({.kind = Kind::Note, .duration = 3, .dots = 1});
    both.Note.DoubleDotted = 1; // double dots win
    EXPECT_EQ(durationValue(both, messages), 28);
    EXPECT_EQ(durationValue(make({.kind = Kind::Rest, .duration = 2}), messages), 32);
    EXPECT_EQ(durationValue(make({.kind = Kind::Chord, .duration = 2}), messages), 32);
    EXPECT_EQ(durationValue(make({.kind = Kind::RestChord, .duration = 2}), messages), 0);
    EXPECT_EQ(durationValue(newElement(Kind::BarLine), messages), 0);
    const Element shortDotted = make({.kind = Kind::Note, .duration = 7, .dots = 1});
    durationValue(shortDotted, messages);
    durationValue(shortDotted, messages);
    EXPECT_EQ(messages.errors(49), 2); // reported each time the value is taken
}

std::int32_t spanOf(const ElementList &list, Messages &messages) {
    return barSpanValue(list.begin(), list.end(), messages);
}

TEST(BarSpan, CountsNotesRestsAndChordsUpToTheFirstBreak) {
    RecordingMessages messages;
    Element grace = make({.kind = Kind::Note, .duration = 4});
    grace.Note.Grace = 1;
    Element member = make({.kind = Kind::Note, .duration = 2});
    member.Note.InChord = 1;
    Element graceChord = make({.kind = Kind::Chord, .duration = 3});
    graceChord.Note.Grace = 1;
    ElementList bar{make({.kind = Kind::Note, .duration = 3}), grace, member,
                    newElement(Kind::Text)};
    EXPECT_EQ(spanOf(bar, messages), 16);
    bar.push_back(make({.kind = Kind::Rest, .duration = 3, .dots = 1}));
    bar.push_back(graceChord); // a chord counts whatever its grace flag
    bar.push_back(newElement(Kind::Symbol));
    EXPECT_EQ(spanOf(bar, messages), 56);

    for (Kind stop : {Kind::BarLine, Kind::TimeSig, Kind::Volume, Kind::DynamicVar,
                      Kind::PerformanceStyle, Kind::Pedal, Kind::TempoVar, Kind::FlowControl}) {
        ElementList broken{make({.kind = Kind::Note, .duration = 2}), newElement(stop),
                           make({.kind = Kind::Note, .duration = 2})};
        EXPECT_EQ(spanOf(broken, messages), 32) << kindName(stop);
    }
    ElementList unbroken{make({.kind = Kind::Note, .duration = 2}), newElement(Kind::Clef),
                         newElement(Kind::KeySig), newElement(Kind::Accent),
                         make({.kind = Kind::Note, .duration = 2})};
    EXPECT_EQ(spanOf(unbroken, messages), 64);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BarSpan, IsNotCutToAByte) {
    RecordingMessages messages;
    ElementList bar{make({.kind = Kind::Note, .duration = 0}),
                    make({.kind = Kind::Note, .duration = 0}),
                    make({.kind = Kind::Note, .duration = 0}),
                    make({.kind = Kind::Note, .duration = 0, .dots = 1})};
    EXPECT_EQ(spanOf(bar, messages), 576);
}

// The rests that fill `length`, longest first, as the system pass takes them.
std::vector<RestStep> restsFilling(std::int32_t length) {
    std::vector<RestStep> rests;
    for (; length > 0; length -= rests.back().Covers)
        rests.push_back(largestRest(length));
    return rests;
}

// "2." a dotted minim, "4" a quaver, "0.." a double-dotted breve.
std::string describe(const std::vector<RestStep> &steps) {
    std::string text;
    for (const RestStep &step : steps) {
        if (!text.empty()) text += ' ';
        text += std::to_string(step.Duration);
        if (step.DoubleDotted)
            text += "..";
        else if (step.Dotted)
            text += '.';
    }
    return text;
}

TEST(RestDecomposition, Table) {
    const std::pair<std::int32_t, std::string> rows[] = {
        {64, "1"},    {48, "2."},   {56, "2.."},       {40, "2 4"}, {200, "0. 4"}, {24, "3."},
        {28, "3.."},  {20, "3 5"},  {1, "7"},          {3, "6."},   {7, "5.."},    {128, "0"},
        {224, "0.."}, {256, "0 0"}, {300, "0 0 2 4."}, {0, ""},     {-5, ""},
    };
    for (const auto &[length, rests] : rows)
        EXPECT_EQ(describe(restsFilling(length)), rests) << length;
}

TEST(RestDecomposition, RestsMeasureBackToTheLength) {
    for (std::int32_t length = 1; length <= 600; ++length) {
        RecordingMessages messages;
        std::int32_t total = 0;
        for (const RestStep &step : restsFilling(length)) {
            Element rest = make({.kind = Kind::Note,
                                 .duration = step.Duration,
                                 .dots = step.DoubleDotted ? 2 : int{step.Dotted}});
            rest.Kind = Kind::Rest;
            EXPECT_EQ(durationValue(rest, messages), step.Covers) << length;
            total += step.Covers;
        }
        EXPECT_EQ(total, length);
        EXPECT_TRUE(messages.lines.empty()) << length;
    }
}

} // namespace
} // namespace qm
