#include <gtest/gtest.h>

#include <random>

#include "nwtext/nwtext.hpp"

namespace qm {
namespace {

TEST(NwText, BuildsRecordsWithStaveAndElementNumbers) {
    const auto bytes = nwtext::build(R"(
        header staves=2 version=200
        stave y=1000 count=1
        stave y=-20 count=2 pair=1 join=1 style=30
        note x=100 y=1000 dur=4 pos=-2 stem=1 beam_to=2
        text x=5 y=300 style=2 text="Hi \"x\"\x80"
        timedigit digit=4 y=990
        trailer part=1 text="Head"
        raw 01 02
    )");
    ASSERT_EQ(bytes.size(), 7u * 22 + 2);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[8], 200);
    // Stave 2's header: y = -20 is low 0xEC, high 0xFF.
    EXPECT_EQ(bytes[44], 0xEC);
    EXPECT_EQ(bytes[45], 0xFF);
    EXPECT_EQ(bytes[44 + 6], 1);
    EXPECT_EQ(bytes[44 + 7], 2);
    EXPECT_EQ(bytes[44 + 12], 1);
    EXPECT_EQ(bytes[44 + 13], 30);
    const std::uint8_t *note = &bytes[66];
    EXPECT_EQ(note[0], 1); // stave 1
    EXPECT_EQ(note[1], 1); // element 1
    EXPECT_EQ(note[2], 100);
    EXPECT_EQ(note[4], 0xE8); // 1000 = 0x03E8
    EXPECT_EQ(note[5], 0x03);
    EXPECT_EQ(note[6], 25);
    EXPECT_EQ(note[7], 5);
    EXPECT_EQ(note[8], 4);
    EXPECT_EQ(note[9], 254);
    EXPECT_EQ(note[11], 1);
    EXPECT_EQ(note[13], 2);
    const std::uint8_t *text = &bytes[88];
    EXPECT_EQ(text[0], 2); // first element of stave 2
    EXPECT_EQ(text[1], 1);
    EXPECT_EQ(text[7], 9);
    EXPECT_EQ(text[9], 7);
    EXPECT_EQ(std::string(text + 10, text + 17), "Hi \"x\"\x80");
    const std::uint8_t *digit = &bytes[110];
    EXPECT_EQ(digit[1], 2);
    EXPECT_EQ(digit[6], 12);
    EXPECT_EQ(digit[7], 2);
    const std::uint8_t *trailer = &bytes[132];
    EXPECT_EQ(trailer[0], 0);
    EXPECT_EQ(trailer[1], 1);
    EXPECT_EQ(trailer[9], 4);
    EXPECT_EQ(bytes[154], 1);
    EXPECT_EQ(bytes[155], 2);
}

TEST(NwText, ReportsTheLineOfASyntaxError) {
    EXPECT_THROW(nwtext::build("header staves=1\nbogus x=1\n"), nwtext::SyntaxError);
    try {
        nwtext::build("header staves=1\nstave count=300\n");
        FAIL();
    } catch (const nwtext::SyntaxError &error) {
        EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos);
    }
    EXPECT_THROW(nwtext::build("text text=\"thirteen chars\"\n"), nwtext::SyntaxError);
    EXPECT_THROW(nwtext::build("note color=3\n"), nwtext::SyntaxError);
}

TEST(NwText, DumpShowsNamedFields) {
    const auto bytes = nwtext::build("header staves=1 version=150\nstave y=1000 count=2\n"
                                     "note x=100 y=1000 dur=3 pos=1 slur_to=2\n"
                                     "bar x=200 y=1000 style=3 b21=9\n");
    const std::string text = nwtext::dump(bytes);
    EXPECT_NE(text.find("stave y=1000 count=2\n"), std::string::npos);
    EXPECT_NE(text.find("note x=100 y=1000 dur=3 pos=1 slur_to=2\n"), std::string::npos);
    // Bar styles go by name; a byte beyond the styles stays a number.
    EXPECT_NE(text.find("bar x=200 y=1000 style=repeat-close b21=9\n"), std::string::npos);
    EXPECT_EQ(nwtext::build("header staves=1 version=200\nstave y=1000 count=2\n"
                            "bar x=1 y=1000 style=final\nbar x=2 y=1000 style=9\n"),
              nwtext::build("header staves=1 version=200\nstave y=1000 count=2\n"
                            "bar x=1 y=1000 style=7\nbar x=2 y=1000 style=9\n"));
    EXPECT_NE(nwtext::dump(nwtext::build("header staves=1 version=200\nstave y=1000 count=1\n"
                                         "bar x=2 y=1000 style=9\n"))
                  .find("style=9\n"),
              std::string::npos);
}

// Whatever the bytes, dump then build gives them back.
TEST(NwText, RoundTripsArbitraryBytes) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bytes(random() % 400);
        for (auto &b : bytes)
            b = static_cast<std::uint8_t>(random() % (round % 2 ? 256 : 16));
        if (bytes.size() > 0 && round % 3 == 0) bytes[0] = static_cast<std::uint8_t>(random() % 4);
        const std::string text = nwtext::dump(bytes);
        EXPECT_EQ(nwtext::build(text), bytes) << text;
    }
}

TEST(NwText, RoundTripsAScore) {
    const std::string source = "header staves=2 version=200\n"
                               "stave y=1000 count=3\n"
                               "stave y=2000 count=1\n"
                               "newstave x=10 y=1000 clef=2\n"
                               "note x=100 y=1000 pos=-3 stem=1 art=3\n"
                               "text x=100 y=950 style=5 text=\"Title\"\n"
                               "rest x=100 y=2000 sub=41 dur=2\n"
                               "trailer part=2 text=\"(c) 1990\"\n";
    const auto bytes = nwtext::build(source);
    EXPECT_EQ(nwtext::dump(bytes), source);
}

} // namespace
} // namespace qm
