#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "nwcwrite/header.hpp"
#include "support/hex_bytes.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::Bytes;
using test::hex;

// The characters of a text and the terminating zero.
Bytes str(const std::string &text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Score scoreWithStaves(int staves) {
    Score score;
    score.StaveCount = staves;
    for (int i = 1; i <= staves; ++i)
        score.Staves.emplace_back().StaveNo = i;
    return score;
}

struct Written {
    Bytes bytes;
    test::RecordingMessages messages;
};

Written writeHeader(const Score &score) {
    Written written;
    NwcOutput out;
    writeFileHeader(out, score, written.messages);
    written.bytes = out.take();
    return written;
}

Bytes fontRecord(unsigned style, unsigned size) {
    return join({str("Times New Roman"),
                 Bytes{static_cast<std::uint8_t>(style), static_cast<std::uint8_t>(size), 0, 0}});
}

// The whole header of a one-staff score without texts, spelled out block by block.
Bytes plainOneStaffHeader() {
    const Bytes identification =
        join({str("[NoteWorthy ArtWare]"), hex("00 00"), str("[NoteWorthy Composer]"),
              hex("4B 01 02 00 00 00 00 00 00 00 00 00 00 00 00 00 10 00")});
    const Bytes information = hex("00 00 00 00 00");
    const Bytes setup = join({str("NY_"), str("F2"), hex("00 00 01 00"),
                              str("0.50000000 0.50000000 0.50000000 0.50000000"), hex("00 08 00")});
    const Bytes layout = join({hex("01"), Bytes(31, 0), hex("00 18 00")});
    const Bytes fonts =
        join({fontRecord(3, 12), fontRecord(1, 10), fontRecord(2, 12), fontRecord(1, 20),
              fontRecord(0, 12), fontRecord(0, 9), fontRecord(0, 8), fontRecord(1, 9),
              fontRecord(2, 9), fontRecord(3, 9), fontRecord(1, 12), fontRecord(0, 10)});
    const Bytes count = hex("FF 00 00 00 01 00");
    EXPECT_EQ(identification.size(), 63u);
    EXPECT_EQ(setup.size(), 58u);
    EXPECT_EQ(layout.size(), 35u);
    EXPECT_EQ(fonts.size(), 240u);
    return join({identification, information, setup, layout, fonts, count});
}

TEST(NwcWriteHeader, OneStaffWithoutTextsIsExactly407Bytes) {
    const Written written = writeHeader(scoreWithStaves(1));
    ASSERT_EQ(written.bytes.size(), 407u);
    EXPECT_EQ(written.bytes, plainOneStaffHeader());
    EXPECT_TRUE(written.messages.plain.empty());
    EXPECT_TRUE(written.messages.lines.empty());
}

TEST(NwcWriteHeader, TitleComesAtOffset63AndShiftsTheRest) {
    Score score = scoreWithStaves(1);
    score.TextTable = {"", "Other", "Sonata"};
    score.TitleIndex = 2;
    const Written written = writeHeader(score);
    ASSERT_EQ(written.bytes.size(), 407u + 6);
    const Bytes title(written.bytes.begin() + 63, written.bytes.begin() + 70);
    EXPECT_EQ(title, str("Sonata"));
    // Everything after the title is the plain header shifted by the title's characters.
    const Bytes plain = plainOneStaffHeader();
    EXPECT_TRUE(std::equal(plain.begin() + 64, plain.end(), written.bytes.begin() + 70));
}

TEST(NwcWriteHeader, PageTextsBecomeCopyrightAndCommentWithLogLinesInOrder) {
    Score score = scoreWithStaves(1);
    score.HeaderText = "Head";
    score.FooterText = "Foot";
    const Written written = writeHeader(score);
    const Bytes information(written.bytes.begin() + 63, written.bytes.begin() + 63 + 13);
    EXPECT_EQ(information, join({hex("00 00"), str("Foot"), hex("00"), str("Head")}));
    EXPECT_EQ(written.messages.plain,
              (std::vector<std::string>{
                  "   NW file header written as \"Comment\" in File/Info",
                  "   NW file footer written as \"Copyright Notice 1\" in File/Info"}));
    EXPECT_TRUE(written.messages.lines.empty());
}

TEST(NwcWriteHeader, OnlyFooterTextLogsOnlyTheCopyrightLine) {
    Score score = scoreWithStaves(1);
    score.FooterText = "Foot";
    const Written written = writeHeader(score);
    EXPECT_EQ(written.messages.plain,
              std::vector<std::string>{
                  "   NW file footer written as \"Copyright Notice 1\" in File/Info"});
}

TEST(NwcWriteHeader, TitleIndexOutsideTheTableWritesAnEmptyTitle) {
    for (std::int32_t index : {-1, 3, 1000}) {
        Score score = scoreWithStaves(1);
        score.TextTable = {"", "a", "b"};
        score.TitleIndex = index;
        EXPECT_EQ(writeHeader(score).bytes, plainOneStaffHeader()) << index;
    }
}

TEST(NwcWriteHeader, TextsDropZeroBytesAndStopAt255Characters) {
    Score score = scoreWithStaves(1);
    score.TextTable = {"", std::string("A\0B", 3) + std::string(300, 'x')};
    score.TitleIndex = 1;
    const Bytes bytes = writeHeader(score).bytes;
    ASSERT_EQ(bytes.size(), 407u + 255);
    EXPECT_EQ(bytes[63], 'A');
    EXPECT_EQ(bytes[64], 'B');
    EXPECT_EQ(bytes[63 + 254], 'x');
    EXPECT_EQ(bytes[63 + 255], 0);
}

// Offset of the staff mask and of the staff count block in a header without texts.
constexpr std::size_t MaskOffset = 63 + 5 + 58;
constexpr std::size_t CountOffset = 407 - 6;

TEST(NwcWriteHeader, StaffMaskAndCountFollowTheStaves) {
    struct Case {
        int staves;
        std::uint8_t mask;
        Bytes count;
    };
    const Case cases[] = {
        {0, 0x00, hex("FF 00 00 00 00 00")},   {1, 0x01, hex("FF 00 00 00 01 00")},
        {3, 0x07, hex("FF 00 00 00 03 00")},   {8, 0xFF, hex("FF 00 00 00 08 00")},
        {9, 0xFF, hex("FF 00 00 00 09 00")},   {255, 0xFF, hex("FF 00 00 00 FF 00")},
        {300, 0xFF, hex("FF 00 00 00 2C 01")},
    };
    for (const Case &c : cases) {
        const Bytes bytes = writeHeader(scoreWithStaves(c.staves)).bytes;
        ASSERT_EQ(bytes.size(), 407u) << c.staves;
        EXPECT_EQ(bytes[MaskOffset], c.mask) << c.staves;
        EXPECT_EQ(Bytes(bytes.begin() + CountOffset, bytes.end()), c.count) << c.staves;
    }
}

} // namespace
} // namespace qm
