#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

// An NW score in the text form, converted and listed: the records the writer owns must come
// out. Other passes add records of their own (opening signs, ...), so only ours are asserted.

namespace qm {
namespace {

struct Converted {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> dump;
    test::RecordingMessages messages;
};

Converted convert(std::string_view text) {
    Converted converted;
    converted.bytes = convertScore(nwtext::build(text), converted.messages);
    std::istringstream in(dumpNwc(converted.bytes));
    for (std::string line; std::getline(in, line);)
        converted.dump.push_back(line);
    return converted;
}

bool hasLine(const Converted &c, const std::string &line) {
    return std::find(c.dump.begin(), c.dump.end(), line) != c.dump.end();
}

bool hasLineStarting(const Converted &c, const std::string &start) {
    return std::any_of(c.dump.begin(), c.dump.end(),
                       [&](const std::string &line) { return line.rfind(start, 0) == 0; });
}

TEST(NwcWritePipeline, OneStaveOfNotesAndRestsConvertsAndLists) {
    const Converted c = convert("header staves=1 version=200\n"
                                "stave y=1000 count=4\n"
                                "newstave x=10 y=1000\n"
                                "note x=100 y=1000 dur=3 pos=0 stem=0\n"
                                "rest x=140 y=1000 dur=3\n"
                                "note x=180 y=1000 dur=4 pos=2 stem=0\n");
    ASSERT_GE(c.bytes.size(), 407u);
    EXPECT_TRUE(hasLine(c, "staves count=1"));
    EXPECT_TRUE(hasLine(c, "layout staff_mask=01"));
    EXPECT_TRUE(hasLineStarting(c, "staff 1 name=\"Staff-1\" group=\"Standard\""));
    EXPECT_TRUE(hasLineStarting(c, "note dur=2 "));
    EXPECT_TRUE(hasLineStarting(c, "rest dur=2 "));
    EXPECT_TRUE(hasLineStarting(c, "note dur=3 "));
    for (const std::string &line : c.dump)
        EXPECT_EQ(line.find('@'), std::string::npos) << line;
}

TEST(NwcWritePipeline, PageTextsReachTheFileInformation) {
    const Converted c = convert("header staves=1 version=200\n"
                                "stave y=1000 count=2\n"
                                "newstave x=10 y=1000\n"
                                "note x=100 y=1000 dur=3 pos=0 stem=0\n"
                                "trailer part=1 text=\"Head\"\n"
                                "trailer part=2 text=\"Foot\"\n");
    EXPECT_TRUE(hasLineStarting(c, "info title=\"\" author=\"\" copyright1=\"Foot "));
    EXPECT_NE(c.dump[1].find(" comment=\"Head "), std::string::npos) << c.dump[1];
    const std::vector<std::string> &plain = c.messages.plain;
    const auto header = std::find(plain.begin(), plain.end(),
                                  "   NW file header written as \"Comment\" in File/Info");
    const auto footer =
        std::find(plain.begin(), plain.end(),
                  "   NW file footer written as \"Copyright Notice 1\" in File/Info");
    ASSERT_NE(header, plain.end());
    ASSERT_NE(footer, plain.end());
    EXPECT_LT(header, footer);
}

TEST(NwcWritePipeline, NoStavesGivesTheBareHeader) {
    test::RecordingMessages messages;
    const std::vector<std::uint8_t> bytes =
        convertScore(nwtext::build("header staves=0 version=200\n"), messages);
    ASSERT_EQ(bytes.size(), 407u);
    EXPECT_EQ(bytes[126], 0x00); // staff mask
    EXPECT_EQ(bytes[405], 0x00); // staff count
    EXPECT_NE(dumpNwc(bytes).find("staves count=0"), std::string::npos);
}

} // namespace
} // namespace qm
