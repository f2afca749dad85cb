#include "repair/durations.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::RecordingMessages;

Element noteOf(std::uint8_t duration, int dots, Kind kind = Kind::Note) {
    Element element = newElement(kind);
    element.Note.Duration = duration;
    element.Note.Dotted = dots == 1;
    element.Note.DoubleDotted = dots == 2;
    return element;
}

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
        const Duration measured = measureDuration(noteOf(row.duration, row.dots));
        EXPECT_EQ(measured.Value, row.value);
        EXPECT_EQ(static_cast<int>(measured.Fault), row.error);
        RecordingMessages messages;
        EXPECT_EQ(durationValue(noteOf(row.duration, row.dots), messages), row.value)
            << int{row.duration} << " with " << row.dots << " dots";
        EXPECT_EQ(messages.lines.size(), row.error ? 1u : 0u);
        if (row.error == 48) EXPECT_TRUE(messages.has("Error 48: Too short a double dotted note"));
        if (row.error == 49) EXPECT_TRUE(messages.has("Error 49: Too short a dotted note"));
    }
}

TEST(DurationValue, KindsDotsAndRepeatedErrors) {
    RecordingMessages messages;
    Element both = noteOf(3, 1);
    both.Note.DoubleDotted = 1; // double dots win
    EXPECT_EQ(durationValue(both, messages), 28);
    EXPECT_EQ(durationValue(noteOf(2, 0, Kind::Rest), messages), 32);
    EXPECT_EQ(durationValue(noteOf(2, 0, Kind::Chord), messages), 32);
    EXPECT_EQ(durationValue(noteOf(2, 0, Kind::RestChord), messages), 0);
    EXPECT_EQ(durationValue(newElement(Kind::BarLine), messages), 0);
    const Element shortDotted = noteOf(7, 1);
    durationValue(shortDotted, messages);
    durationValue(shortDotted, messages);
    EXPECT_EQ(messages.errors(49), 2); // reported each time the value is taken
}

std::int32_t spanOf(const ElementList &list, Messages &messages) {
    return barSpanValue(list.begin(), list.end(), messages);
}

TEST(BarSpan, CountsNotesRestsAndChordsUpToTheFirstBreak) {
    RecordingMessages messages;
    Element grace = noteOf(4, 0);
    grace.Note.Grace = 1;
    Element member = noteOf(2, 0);
    member.Note.InChord = 1;
    Element graceChord = noteOf(3, 0, Kind::Chord);
    graceChord.Note.Grace = 1;
    ElementList bar{noteOf(3, 0), grace, member, newElement(Kind::Text)};
    EXPECT_EQ(spanOf(bar, messages), 16);
    bar.push_back(noteOf(3, 1, Kind::Rest));
    bar.push_back(graceChord); // a chord counts whatever its grace flag
    bar.push_back(newElement(Kind::Symbol));
    EXPECT_EQ(spanOf(bar, messages), 56);

    for (Kind stop : {Kind::BarLine, Kind::TimeSig, Kind::Volume, Kind::DynamicVar,
                      Kind::PerformanceStyle, Kind::Pedal, Kind::TempoVar, Kind::FlowControl}) {
        ElementList broken{noteOf(2, 0), newElement(stop), noteOf(2, 0)};
        EXPECT_EQ(spanOf(broken, messages), 32) << kindName(stop);
    }
    ElementList unbroken{noteOf(2, 0), newElement(Kind::Clef), newElement(Kind::KeySig),
                         newElement(Kind::Accent), noteOf(2, 0)};
    EXPECT_EQ(spanOf(unbroken, messages), 64);
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BarSpan, IsNotCutToAByte) {
    RecordingMessages messages;
    ElementList bar{noteOf(0, 0), noteOf(0, 0), noteOf(0, 0), noteOf(0, 1)};
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
            Element rest = noteOf(step.Duration, step.DoubleDotted ? 2 : step.Dotted);
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
