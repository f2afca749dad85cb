#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "nwcwrite/staff.hpp"
#include "support/builders.hpp"
#include "support/hex_bytes.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::Bytes;
using test::hex;
using test::make;

struct WrittenStaff {
    Bytes bytes;
    test::RecordingMessages messages;
};

WrittenStaff write(Stave &stave, const Score &score = {}) {
    WrittenStaff written;
    NwcOutput out;
    writeStaff(out, stave, score, written.messages);
    written.bytes = out.take();
    return written;
}

// The 37 bytes after the name and group strings of "Staff-1".
Bytes headerTail(const Bytes &bytes) {
    const std::size_t start =
        std::string("Staff-1").size() + 1 + std::string("Standard").size() + 1;
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                 bytes.begin() + static_cast<std::ptrdiff_t>(start + 37));
}

TEST(NwcWriteStaff, EmptyStaveIsTheHeaderAlone) {
    Stave stave;
    stave.StaveNo = 1;
    Bytes expected = {'S', 't', 'a', 'f', 'f', '-', '1', 0, 'S',
                      't', 'a', 'n', 'd', 'a', 'r', 'd', 0};
    const Bytes tail = hex("00  00 00 00 00 00 00 00 00 00 00 00 00  00 00 F4 FF 0C 00 05"
                           "  00 00 00 00 7F 00 40 00 00 00 00 00 00 00 00 02 00");
    ASSERT_EQ(tail.size(), 37u);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(write(stave).bytes, expected);
}

TEST(NwcWriteStaff, NameFinalBarFlagAndStyle) {
    Stave stave;
    stave.StaveNo = 12;
    stave.StaffStyle = 3;
    const Bytes bytes = write(stave).bytes;
    const std::string name(bytes.begin(), bytes.begin() + 9);
    EXPECT_EQ(name, std::string("Staff-12\0", 9));

    for (std::uint8_t style = 0; style <= 8; ++style) {
        Stave s;
        s.StaveNo = 1;
        s.FinalBarStyle = style;
        s.StaffStyle = 2;
        const Bytes tail = headerTail(write(s).bytes);
        EXPECT_EQ(tail[0], (style == 5 || style == 7) ? 1 : 0) << int(style);
        EXPECT_EQ(tail[13], 2);
    }
}

TEST(NwcWriteStaff, TopExtentFromTheHighestMark) {
    struct Case {
        Element mark;
        std::uint8_t byte; // the extent 4 - (topmost mark), at least 12, negated
    };
    const Case cases[] = {
        {make({.kind = Kind::Text, .y = -56}), 0xC4},
        {make({.kind = Kind::Text, .y = 200}), 0xC4},
        {make({.kind = Kind::Text, .y = 5}), 0xF4},
        {make({.kind = Kind::Text, .y = 128}), 0xF4},
        {make({.kind = Kind::Text, .y = 129}), 0x80},
        {make({.kind = Kind::Volume, .y = -10}), 0xF2},
        {make({.kind = Kind::DynamicVar, .y = -10}), 0xF2},
        {make({.kind = Kind::Pedal, .y = -10}), 0xF2},
        {make({.kind = Kind::TempoVar, .y = -10}), 0xF2},
        {make({.kind = Kind::Symbol, .y = -10}), 0xF2},
        {make({.kind = Kind::Accent, .y = -10}), 0xF2},
        {make({.kind = Kind::PerformanceStyle, .y = -56}), 0xF4},
        {make({.kind = Kind::Note, .y = -56}), 0xF4},
        {make({.kind = Kind::Unknown, .y = -56}), 0xF4},
        // Beyond what the header byte holds: the byte is pinned at 80.
        {make({.kind = Kind::Text, .y = -1000}), 0x80},
        {make({.kind = Kind::Text, .y = std::numeric_limits<std::int32_t>::min()}), 0x80},
    };
    for (const Case &c : cases) {
        Stave stave;
        stave.StaveNo = 1;
        stave.Elements = {make({.kind = Kind::Text, .y = -2}), c.mark};
        EXPECT_EQ(headerTail(write(stave).bytes)[15], c.byte)
            << int(c.mark.Kind) << " " << c.mark.YPos;
    }
}

TEST(NwcWriteStaff, TopExtentIsTakenBeforeMarksArePlaced) {
    // The flow control is written at F8, but the header reflects where it stood in the model.
    Stave stave;
    stave.StaveNo = 1;
    stave.Elements = {make({.kind = Kind::FlowControl, .y = -40, .code = 3})};
    const Bytes bytes = write(stave).bytes;
    EXPECT_EQ(headerTail(bytes)[15], 0xD4);
    EXPECT_EQ(Bytes(bytes.end() - 7, bytes.end()), hex("0C 00 00 F8 00 03 00"));
}

TEST(NwcWriteStaff, ObjectCountOfSingleElements) {
    const std::pair<Kind, int> kinds[] = {
        {Kind::Clef, 1},        {Kind::BarLine, 1},
        {Kind::Note, 1},        {Kind::Rest, 1},
        {Kind::TimeSig, 1},     {Kind::KeySig, 1},
        {Kind::Text, 1},        {Kind::Volume, 1},
        {Kind::DynamicVar, 1},  {Kind::PerformanceStyle, 1},
        {Kind::Pedal, 1},       {Kind::TempoVar, 1},
        {Kind::FlowControl, 1}, {Kind::Symbol, 1},
        {Kind::RestChord, 0},   {Kind::NewStave, 0},
        {Kind::LineSegment, 0}, {Kind::Accidental, 0},
        {Kind::SlurPoint, 0},   {Kind::Accent, 0},
        {Kind::Arpeggio, 0},    {Kind::Unknown, 0},
    };
    for (auto [kind, adds] : kinds) {
        Stave stave;
        stave.StaveNo = 1;
        stave.Elements = {make({.kind = kind})};
        const Bytes tail = headerTail(write(stave).bytes);
        EXPECT_EQ(tail[35] | tail[36] << 8, 2 + adds) << int(kind);
    }
}

TEST(NwcWriteStaff, ChordGroupsCountOnce) {
    Stave three;
    three.StaveNo = 1;
    three.Elements = {make({.kind = Kind::Chord, .members = 3}), make({.kind = Kind::Note}),
                      make({.kind = Kind::Note}), make({.kind = Kind::Note})};
    const Bytes bytes = write(three).bytes;
    const std::size_t records = 17 + 37;
    ASSERT_EQ(bytes.size(), records + 13 + 3 * 11);
    EXPECT_EQ(bytes[records], 10);
    EXPECT_EQ(bytes[records + 11], 3);
    EXPECT_EQ(bytes[records + 12], 0);
    for (std::size_t note = 0; note < 3; ++note)
        EXPECT_EQ(bytes[records + 13 + note * 11], 8);
    EXPECT_EQ(Bytes(bytes.begin() + records - 2, bytes.begin() + records), hex("03 00"));

    Element restChord = newElement(Kind::RestChord);
    restChord.Note.MemberCount = 1;
    Stave withRest;
    withRest.StaveNo = 1;
    withRest.Elements = {restChord, make({.kind = Kind::Chord, .members = 2}),
                         make({.kind = Kind::Note}), make({.kind = Kind::Note})};
    const Bytes restBytes = write(withRest).bytes;
    EXPECT_EQ(Bytes(restBytes.begin() + records - 2, restBytes.begin() + records), hex("03 00"));
    ASSERT_EQ(restBytes.size(), records + 13 + 13 + 2 * 11);
    EXPECT_EQ(restBytes[records], 18);
    EXPECT_EQ(Bytes(restBytes.begin() + records + 11, restBytes.begin() + records + 13),
              hex("01 00"));
    EXPECT_EQ(restBytes[records + 13], 10);
    EXPECT_EQ(Bytes(restBytes.begin() + records + 24, restBytes.begin() + records + 26),
              hex("02 00"));
}

TEST(NwcWriteStaff, ObjectCountOutsideAWordIsClamped) {
    const auto countWord = [](Stave &stave) {
        const Bytes tail = headerTail(write(stave).bytes);
        return Bytes(tail.end() - 2, tail.end());
    };
    Stave many;
    many.StaveNo = 1;
    many.Elements.assign(70000, make({.kind = Kind::BarLine, .y = 0, .code = 1}));
    EXPECT_EQ(countWord(many), hex("FF FF"));
    EXPECT_EQ(write(many).bytes.size(), 17u + 37 + 70000 * 5);

    // A chord claiming more members than follow drives the count below zero.
    Stave negative;
    negative.StaveNo = 1;
    negative.Elements = {make({.kind = Kind::Chord, .members = 100})};
    EXPECT_EQ(countWord(negative), hex("00 00"));

    // Chords claiming the most negative counts sum beyond what a word holds.
    Stave huge;
    huge.StaveNo = 1;
    huge.Elements = {
        make({.kind = Kind::Chord, .members = std::numeric_limits<ElementNumber>::min()}),
        make({.kind = Kind::Chord, .members = std::numeric_limits<ElementNumber>::min()})};
    EXPECT_EQ(countWord(huge), hex("FF FF"));
}

TEST(NwcWriteStaff, RecordsFollowInListOrderAndSkippedKindsLeaveNoTrace) {
    Stave stave;
    stave.StaveNo = 1;
    stave.Elements = {make({.kind = Kind::Clef, .y = 0, .code = 1}), make({.kind = Kind::Unknown}),
                      make({.kind = Kind::BarLine, .y = 0, .code = 5}),
                      make({.kind = Kind::DynamicVar, .y = 0, .code = 5}),
                      make({.kind = Kind::Pedal, .y = 3, .code = 0})};
    const WrittenStaff written = write(stave);
    const Bytes records(written.bytes.begin() + 17 + 37, written.bytes.end());
    EXPECT_EQ(records, hex("00 00 00 01 00 00 00  02 00 00 05 02  0B 00 00 03 00 00"));
    EXPECT_TRUE(written.messages.lines.empty());
}

TEST(NwcWriteStaff, EachKeySignatureNamesThePreviousOne) {
    // Many key changes on one stave: each record names the one before it.
    Stave stave;
    stave.StaveNo = 1;
    const int changes = 2000;
    for (int i = 0; i < changes; ++i) {
        Element key = newElement(Kind::KeySig);
        key.KeySig.Sharps = 1;
        key.KeySig.SignCount = i % 8;
        stave.Elements.push_back(key);
        stave.Elements.push_back(make({.kind = Kind::BarLine, .y = 0, .code = 1}));
    }
    const Bytes bytes = write(stave).bytes;
    ASSERT_EQ(bytes.size(), 17u + 37 + changes * (13 + 5));
    const std::uint8_t sharpMasks[] = {0x00, 0x20, 0x24, 0x64, 0x6C, 0x6D, 0x7D, 0x7F};
    for (int i = 0; i < changes; ++i) {
        const std::size_t at = 17 + 37 + static_cast<std::size_t>(i) * 18;
        ASSERT_EQ(bytes[at], 1) << i;
        EXPECT_EQ(bytes[at + 5], sharpMasks[i % 8]) << i;
        EXPECT_EQ(bytes[at + 11], i == 0 ? 0 : sharpMasks[(i - 1) % 8]) << i;
    }
}

} // namespace
} // namespace qm
