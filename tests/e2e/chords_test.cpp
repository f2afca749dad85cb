// Scores in the NW text form converted whole: chords and rest chords must arrive as a Chord or
// RestChord record followed by their member notes, counted once in the staff's object count.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

struct Conversion {
    std::string staff;                // the staff header line
    std::vector<std::string> records; // the records of staff 1 after its clef and time signature
    test::RecordingMessages messages;
};

// Converts a one-stave score; the opening clef and time signature are left out of `records`.
Conversion convert(const std::string &text) {
    Conversion c;
    std::istringstream in(dumpNwc(convertScore(nwtext::build(text), c.messages)));
    bool inStaff = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("staff ", 0) == 0) {
            c.staff = line;
            inStaff = true;
        } else if (inStaff && line.rfind("clef", 0) != 0 && line.rfind("timesig", 0) != 0) {
            c.records.push_back(line);
        }
    }
    return c;
}

bool holds(const std::string &line, const std::string &piece) {
    return line.find(piece) != std::string::npos;
}

std::string kindOf(const std::string &record) { return record.substr(0, record.find(' ')); }

std::vector<std::string> kinds(const Conversion &c) {
    std::vector<std::string> out;
    for (const std::string &r : c.records)
        out.push_back(kindOf(r));
    return out;
}

using Kinds = std::vector<std::string>;

TEST(ChordsEndToEnd, NotesAtOnePlaceBecomeOneChordWithATextAfterIt) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=6
newstave x=10 y=1000
note x=100 y=1000 dur=3 pos=0 stem=0
text x=100 y=900 style=1 text="solo voice"
note x=101 y=1000 dur=4 pos=4 stem=0
note x=102 y=1000 dur=3 pos=2 stem=0
note x=160 y=1000 dur=3 pos=1 stem=0
)");
    ASSERT_EQ(kinds(c), (Kinds{"chord", "note", "note", "note", "text", "note"})) << c.staff;
    // The chord shows its shortest note (the quaver) and its three members.
    EXPECT_TRUE(holds(c.records[0], "members=3")) << c.records[0];
    EXPECT_TRUE(holds(c.records[0], "pos=4")) << c.records[0];
    EXPECT_FALSE(holds(c.records[0], "chord_flag")) << c.records[0];
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(holds(c.records[i], "in_chord")) << c.records[i];
    EXPECT_FALSE(holds(c.records[5], "in_chord")) << c.records[5];
    // Clef, time signature, the chord with its notes, the text and the last note.
    EXPECT_TRUE(holds(c.staff, "objects=7")) << c.staff;
}

TEST(ChordsEndToEnd, KeptRestIsWrittenAsARestChordBeforeItsChord) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000
note x=100 y=1000 dur=3 pos=0 stem=0
rest x=100 y=1000 dur=3 pos=4 stem=3
note x=101 y=1000 dur=3 pos=2 stem=0
)");
    ASSERT_EQ(kinds(c), (Kinds{"restchord", "chord", "note", "note"}));
    EXPECT_TRUE(holds(c.records[0], "members=1")) << c.records[0];
    EXPECT_TRUE(holds(c.records[1], "members=2")) << c.records[1];
    EXPECT_TRUE(holds(c.records[1], "chord_flag")) << c.records[1];
    for (int i = 2; i <= 3; ++i) {
        EXPECT_TRUE(holds(c.records[i], "in_chord chord_flag")) << c.records[i];
        EXPECT_TRUE(holds(c.records[i], "stem=up")) << c.records[i];
    }
    EXPECT_TRUE(holds(c.staff, "objects=5")) << c.staff;
}

TEST(ChordsEndToEnd, ChordLeftWithOneNoteIsDissolved) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=3
newstave x=10 y=1000
note x=100 y=1000 dur=3 pos=0 stem=1
rest x=100 y=1000 dur=3 pos=4 stem=3
)");
    ASSERT_EQ(kinds(c), (Kinds{"restchord", "note"}));
    EXPECT_FALSE(holds(c.records[1], "in_chord")) << c.records[1];
    EXPECT_FALSE(holds(c.records[1], "chord_flag")) << c.records[1];
    EXPECT_TRUE(holds(c.staff, "objects=5")) << c.staff;
}

TEST(ChordsEndToEnd, UpStemBelowADownStemIsResolvedWithWarning8) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=3
newstave x=10 y=1000
note x=100 y=1000 dur=3 pos=-2 stem=0
note x=102 y=1000 dur=3 pos=3 stem=1
)");
    ASSERT_EQ(kinds(c), (Kinds{"chord", "note", "note"}));
    EXPECT_TRUE(holds(c.records[1], "stem=up")) << c.records[1];
    EXPECT_TRUE(holds(c.records[2], "stem=up")) << c.records[2];
    EXPECT_TRUE(c.messages.has("Warning 8: The stem direction had to be changed on 1 notes in the "
                               "chord at element 2 of NW stave 1"));
}

} // namespace
} // namespace qm
