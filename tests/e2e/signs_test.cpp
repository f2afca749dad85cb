// Scores in the NW text form converted whole, checked in the listing of the NWC file. Each test
// asserts only on the records its signs produce: other passes may add records of their own.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"
#include "support/conversion.hpp"

namespace qm {
namespace {

using Converted = test::Conversion;

std::unique_ptr<Converted> convert(const std::string &text) { return test::convertText(text); }

TEST(SignsEndToEnd, ClefKeyTimeAndBarLinesWithTheTitleInTheHeader) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=10
newstave x=10 y=1000 clef=2
text x=50 y=400 style=2 text="Far Title"
keysig x=20 y=1000 n=253
timedigit x=30 y=990 digit=1
timedigit x=32 y=990 digit=2
timedigit x=31 y=1010 digit=8
note x=60 y=1000 dur=1 pos=0
bar x=100 y=1000 style=2
clef x=110 y=1000 clef=1
note x=140 y=1000 dur=1 pos=0 dots=1
)");
    // A title 200 steps above the stave is still above it.
    EXPECT_TRUE(c->has("info", {"title=\"Far Title\""})) << c->listing();
    EXPECT_FALSE(c->has("text", {"Far Title"}));
    const std::size_t key = c->find("keysig", {"flats=ABE", "sharps=-"});
    const std::size_t time = c->find("timesig", {"num=12", "den=8", "sym=none"}, key);
    const std::size_t bar = c->find("bar", {"style=4"}, time);
    const std::size_t clef = c->find("clef", {"code=1"}, bar);
    EXPECT_NE(key, Converted::npos) << c->listing();
    EXPECT_NE(time, Converted::npos) << c->listing();
    EXPECT_NE(bar, Converted::npos) << c->listing();
    EXPECT_NE(clef, Converted::npos) << c->listing();
    EXPECT_TRUE(c->messages.lines.empty()) << c->messages.lines.front();
}

TEST(SignsEndToEnd, TextsDynamicsTempoPedalFlowAndSymbols) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=14
newstave x=10 y=1000
text x=20 y=960 style=1 text="Allegro ma n"
text x=116 y=960 style=1 text="on troppo"
text x=300 y=960 style=1 text="Cresc."
text x=400 y=960 style=1 text="dolce"
text x=500 y=960 style=1 text="D.C. al Fine"
sign x=600 y=970 sub=141
sign x=610 y=1020 sub=134
sign x=620 y=980 sub=65
sign x=630 y=980 sub=115
sign x=640 y=970 sub=75
sign x=650 y=970 sub=146
sign x=660 y=970 sub=118
note x=700 y=1000 dur=1 pos=0
)");
    EXPECT_TRUE(c->has("text", {"font=5", "\"Allegro ma non troppo\""})) << c->listing();
    EXPECT_TRUE(c->has("dynamic_var", {"code=0"})) << c->listing();
    EXPECT_TRUE(c->has("performance_style", {"code=4"})) << c->listing();
    EXPECT_TRUE(c->has("flow", {"code=6"})) << c->listing();
    EXPECT_TRUE(c->has("volume", {"code=4", "velocity=75"})) << c->listing();
    EXPECT_TRUE(c->has("pedal", {"place=7", "code=1"})) << c->listing();
    EXPECT_TRUE(c->has("tempo_var", {"code=1"})) << c->listing();
    EXPECT_TRUE(c->has("flow", {"code=0"})) << c->listing();
    EXPECT_TRUE(c->has("text", {"font=6", "\"Marcato\""})) << c->listing();
    EXPECT_TRUE(c->has("text", {"font=6", "\"8va\""})) << c->listing();
    // The unknown ending has no record.
    EXPECT_FALSE(c->has("flow", {"code=10"})) << c->listing();
    EXPECT_TRUE(c->messages.has("Warning 6: Symbol 75 changed to text: Marcato"));
    EXPECT_TRUE(c->messages.has("Error 25: Unknown Ending"));
}

TEST(SignsEndToEnd, AccidentalsAndAccentsLandOnTheirNotes) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=9
newstave x=10 y=1000
accidental x=100 y=1000 pos=2 alt=1
note x=105 y=1000 dur=1 pos=2
sign x=150 y=985 sub=64
note x=155 y=1000 dur=1 pos=0
accidental x=200 y=1000 pos=-2 alt=-1
note x=205 y=1000 dur=1 pos=-2
sign x=208 y=985 sub=129
rest x=300 y=1000 dur=1
)");
    const std::size_t sharp = c->find("note", {"pos=2", "accidental=0"});
    const std::size_t accent = c->find("note", {"pos=0", "accent", "accidental=5"}, sharp);
    const std::size_t flat = c->find("note", {"pos=-2", "accidental=1"}, accent);
    EXPECT_NE(sharp, Converted::npos) << c->listing();
    EXPECT_NE(accent, Converted::npos) << c->listing();
    EXPECT_NE(flat, Converted::npos) << c->listing();
    // The mordent's nearest note lies behind it, close enough: it becomes an accent there.
    EXPECT_TRUE(c->has("note", {"pos=-2", "accent"})) << c->listing();
    EXPECT_TRUE(c->messages.has(
        "Error 14: Noteworthy is unable to display Mordent. It has been changed to an accent."));
}

TEST(SignsEndToEnd, AZeroByteInATextIsDroppedAndLaterRecordsStayInPlace) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=5
newstave x=10 y=1000
text x=20 y=960 style=1 text="a\x00b"
note x=100 y=1000 dur=1 pos=0
bar x=150 y=1000 style=2
note x=200 y=1000 dur=1 pos=0
)");
    EXPECT_TRUE(c->has("text", {"\"ab\""})) << c->listing();
    EXPECT_TRUE(c->has("bar", {"style=4"})) << c->listing();
}

TEST(SignsEndToEnd, TextsPastAThousandKeepTheirOwnCharacters) {
    std::string text = "header staves=4 version=200\n";
    const int perStave[] = {255, 255, 255, 237};
    for (int n : perStave)
        text += "stave y=1000 count=" + std::to_string(n) + "\n";
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < perStave[k]; ++i) {
            const int number = k * 255 + i + 1;
            text += "text x=" + std::to_string(100 * (i + 1)) + " y=960 style=1 text=\"t" +
                    std::to_string(number) + "\"\n";
        }
    }
    auto c = convert(text);
    EXPECT_TRUE(c->has("text", {"\"t999\""})) << c->listing();
    EXPECT_TRUE(c->has("text", {"\"t1000\""})) << c->listing();
    EXPECT_TRUE(c->has("text", {"\"t1002\""})) << c->listing();
    EXPECT_EQ(c->messages.errors(37), 0);
}

} // namespace
} // namespace qm
