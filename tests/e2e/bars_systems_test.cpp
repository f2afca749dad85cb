// Whole conversions of page scores with several systems: text form -> NWC dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

struct Staff {
    std::string finalBar;
    std::vector<std::string> music; // "clef 0", "3/4", "note 2", "rest 1.", "|0", ...
};

std::string field(const std::string &line, const std::string &name) {
    std::istringstream words(line);
    for (std::string word; words >> word;)
        if (word.rfind(name + "=", 0) == 0) return word.substr(name.size() + 1);
    return "";
}

bool hasWord(const std::string &line, const std::string &wanted) {
    std::istringstream words(line);
    for (std::string word; words >> word;)
        if (word == wanted) return true;
    return false;
}

// The staffs of a dump, each reduced to the records that carry its bars and their time.
std::vector<Staff> staffsOf(const std::string &dump) {
    std::vector<Staff> staffs;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        const std::string kind = line.substr(0, line.find(' '));
        if (kind == "staff") {
            staffs.push_back(Staff{field(line, "final_bar"), {}});
        } else if (staffs.empty()) {
            continue;
        } else if (kind == "clef") {
            staffs.back().music.push_back("clef " + field(line, "code"));
        } else if (kind == "timesig") {
            staffs.back().music.push_back(field(line, "num") + "/" + field(line, "den"));
        } else if (kind == "bar") {
            staffs.back().music.push_back("|" + field(line, "style"));
        } else if (kind == "note" || kind == "rest") {
            staffs.back().music.push_back(kind + " " + field(line, "dur") +
                                          (hasWord(line, "dotted") ? "." : ""));
        }
    }
    return staffs;
}

std::vector<Staff> convert(const std::string &text, test::RecordingMessages &messages) {
    const std::vector<std::uint8_t> nw = nwtext::build(text);
    return staffsOf(dumpNwc(convertScore(nw, messages)));
}

using Music = std::vector<std::string>;

// Systems of 3, 2 and 3 staves. Stave 1 brings its own clef and 3/4 and ends its first system
// with a one-crotchet bar; stave 2 has no opening signs; the middle system lacks stave 3.
constexpr const char *ThreeSystems = R"(header staves=8 version=200
stave y=1000 count=14 join=1
stave y=1200 count=10 join=1
stave y=1400 count=4
stave y=1000 count=8 join=1
stave y=1200 count=6
stave y=1000 count=5 join=1
stave y=1200 count=3 join=1
stave y=1400 count=3
# system 1
newstave x=10 y=1000
clef x=20 y=1000 clef=4
timedigit x=30 y=996 digit=3
timedigit x=30 y=1004 digit=4
note x=100 y=1000 dur=3
note x=120 y=1000 dur=3
note x=140 y=1000 dur=3
bar x=160 y=1000 style=0
note x=180 y=1000 dur=3
note x=200 y=1000 dur=3
note x=220 y=1000 dur=3
bar x=240 y=1000 style=0
note x=260 y=1000 dur=3
bar x=280 y=1000 style=0
newstave x=10 y=1200
note x=100 y=1200 dur=2 dots=1
bar x=160 y=1200 style=0
note x=180 y=1200 dur=3
note x=200 y=1200 dur=3
note x=220 y=1200 dur=3
bar x=240 y=1200 style=0
note x=260 y=1200 dur=3
bar x=280 y=1200 style=0
rest x=300 y=1200 dur=2
newstave x=10 y=1400
rest x=100 y=1400 dur=1
bar x=160 y=1400 style=0
rest x=180 y=1400 dur=2
# system 2: the short bar of stave 1 goes on with two crotchets
newstave x=10 y=1000
clef x=20 y=1000 clef=4
note x=100 y=1000 dur=3
note x=120 y=1000 dur=3
bar x=140 y=1000 style=0
note x=160 y=1000 dur=2 dots=1
bar x=180 y=1000 style=0
rest x=200 y=1000 dur=3
newstave x=10 y=1200
rest x=100 y=1200 dur=2
bar x=160 y=1200 style=0
rest x=180 y=1200 dur=3
rest x=190 y=1200 dur=3
rest x=200 y=1200 dur=3
# system 3: every stave closes with a final bar line (style 3)
newstave x=10 y=1000
note x=100 y=1000 dur=2
note x=120 y=1000 dur=3
bar x=140 y=1000 style=3
text x=150 y=990 style=1 text="Hello"
newstave x=10 y=1200
rest x=100 y=1200 dur=2 dots=1
bar x=140 y=1200 style=3
newstave x=10 y=1400
rest x=100 y=1400 dur=2 dots=1
bar x=140 y=1400 style=3
)";

TEST(BarsSystemsConversion, ThreeUnevenSystemsBecomeThreeContinuousStaffs) {
    test::RecordingMessages messages;
    const std::vector<Staff> staffs = convert(ThreeSystems, messages);
    ASSERT_EQ(staffs.size(), 3u);

    // Stave 1: the one-crotchet bar's line is gone, so the bar runs on into system 2; the
    // repeated clef of system 2 is dropped; the closing bar becomes the final bar style.
    EXPECT_EQ(staffs[0].music, (Music{"clef 0", "3/4", "note 2", "note 2", "note 2", "|0", "note 2",
                                      "note 2", "note 2", "|0", "note 2", "note 2", "note 2", "|0",
                                      "note 1.", "|0", "rest 2", "note 1", "note 2"}));
    EXPECT_EQ(staffs[0].finalBar, "1");

    // Stave 2: clef and 3/4 inserted, chosen from its second bar of three crotchets.
    EXPECT_EQ(staffs[1].music,
              (Music{"clef 0", "3/4", "note 1.", "|0", "note 2", "note 2", "note 2", "|0", "note 2",
                     "|0", "rest 1", "rest 1", "|0", "rest 2", "rest 2", "rest 2", "rest 1."}));
    EXPECT_EQ(staffs[1].finalBar, "1");

    // Stave 3: system 2 lent it whole-bar rests with the bar lines of that system's stave 1
    // (two crotchets: a minim rest; a dotted minim; a crotchet rest).
    EXPECT_EQ(staffs[2].music, (Music{"clef 0", "4/4", "rest 0", "|0", "rest 1", "rest 1", "|0",
                                      "rest 1.", "|0", "rest 2", "rest 1."}));
    EXPECT_EQ(staffs[2].finalBar, "1");

    EXPECT_EQ(messages.warnings(3), 2);
    EXPECT_TRUE(messages.has("Warning 3: Inserted a time signature 3/4"));
    EXPECT_TRUE(messages.has("Warning 3: Inserted a time signature 4/4"));
    EXPECT_EQ(messages.counts.ErrorCount, 0);
}

// A first system of two staves and a later one of three: the first system is filled up and its
// new stave takes the clef of the larger system's third stave.
TEST(BarsSystemsConversion, ShortFirstSystemGetsAStaveWithTheLargerSystemsClef) {
    test::RecordingMessages messages;
    std::string text = "header staves=5 version=200\n"
                       "stave y=1000 count=5 join=1\nstave y=1200 count=5\n"
                       "stave y=1000 count=5 join=1\nstave y=1200 count=5 join=1\n"
                       "stave y=1400 count=5\n";
    const char *clefs[] = {"0", "0", "0", "0", "1"};
    for (const char *clef : clefs) {
        text += std::string("newstave x=10 y=1000 clef=") + clef + "\n";
        text += "note x=100 y=1000 dur=1\nbar x=140 y=1000 style=0\n"
                "note x=160 y=1000 dur=1\nbar x=180 y=1000 style=0\n";
    }
    const std::vector<Staff> staffs = convert(text, messages);
    ASSERT_EQ(staffs.size(), 3u);
    EXPECT_EQ(staffs[0].music,
              (Music{"clef 0", "4/4", "note 0", "|0", "note 0", "|0", "note 0", "|0", "note 0"}));
    EXPECT_EQ(staffs[2].music,
              (Music{"clef 1", "4/4", "rest 0", "|0", "rest 0", "|0", "note 0", "|0", "note 0"}));
    EXPECT_EQ(staffs[2].finalBar, "0");
    EXPECT_EQ(messages.warnings(3), 3);
    EXPECT_EQ(messages.counts.ErrorCount, 0);
}

// A file at the format's limits: 255 systems of one stave, each of 255 records, whose last
// bar is short. They join into one staff; every short bar but the last runs on.
TEST(BarsSystemsConversion, TwoHundredFiftyFiveSystemsJoinIntoOneStaff) {
    std::string text = "header staves=255 version=200\n";
    for (int s = 0; s < 255; ++s)
        text += "stave y=1000 count=255\n";
    for (int s = 0; s < 255; ++s) {
        text += "newstave x=10 y=1000\n";
        int x = 20;
        for (int bar = 0; bar < 51; ++bar) {
            for (int n = 0; n < (bar < 50 ? 4 : 3); ++n, x += 20)
                text += "note x=" + std::to_string(x) + " y=1000 dur=3\n";
            text += "bar x=" + std::to_string(x) + " y=1000 style=0\n";
            x += 20;
        }
    }
    test::RecordingMessages messages;
    const std::vector<Staff> staffs = convert(text, messages);
    ASSERT_EQ(staffs.size(), 1u);
    const Music &music = staffs[0].music;
    EXPECT_EQ(std::count(music.begin(), music.end(), "note 2"), 255 * 203);
    EXPECT_EQ(std::count(music.begin(), music.end(), "|0"), 255 * 50);
    // a short bar plus the next system's first bar: 48 + 64 units, then a bar line
    const auto firstShortBar = music.begin() + 2 + 50 * 5;
    EXPECT_EQ(Music(firstShortBar, firstShortBar + 8),
              (Music{"note 2", "note 2", "note 2", "note 2", "note 2", "note 2", "note 2", "|0"}));
    EXPECT_EQ(music.back(), "note 2"); // the closing bar became the final bar style
    EXPECT_EQ(messages.lines, std::vector<std::string>{"Warning 3: Inserted a time signature 4/4"});
}

} // namespace
} // namespace qm
