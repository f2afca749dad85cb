// Scores in the NW text form converted whole: beams, ties and slurs must arrive as the flags of
// the NWC note records. Each test looks only at the note records and messages it is about.
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

constexpr std::size_t npos = std::string::npos;

using test::Conversion;

std::unique_ptr<Conversion> convert(const std::string &text) { return test::convertText(text); }

bool holds(const std::string &line, const std::string &piece) { return line.find(piece) != npos; }

TEST(SlursBeamsEndToEnd, BeamTieAndSlurFlagsReachTheNoteRecords) {
    // Elements: 1 new stave, 2 note, 3 point, 4 note, 5 point, 6 note, 7 note, 8 point, 9 note.
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=9
newstave x=10 y=1000
note x=100 y=1000 dur=4 pos=0 beam_to=4
slurpoint x=101 y=990 next=5
note x=130 y=1000 dur=4 pos=1 beam_from=2 tie_to=6
slurpoint x=150 y=980 next=8
note x=160 y=1000 dur=4 pos=1 tie_from=4
note x=190 y=1000 dur=4 pos=2
slurpoint x=220 y=990 next=0
note x=220 y=1000 dur=4 pos=3
)");
    const std::vector<std::string> notes = c->notes(c->find("staff 1", {}));
    ASSERT_EQ(notes.size(), 5u) << c->listing();
    EXPECT_TRUE(holds(notes[0], "beam=start") && holds(notes[0], "slur=1")) << c->listing();
    EXPECT_TRUE(holds(notes[1], "beam=end") && holds(notes[1], "tie_to") &&
                holds(notes[1], "slur=3"))
        << c->listing();
    EXPECT_TRUE(holds(notes[2], "tie_from") && holds(notes[2], "slur=3")) << c->listing();
    EXPECT_FALSE(holds(notes[2], "beam=")) << c->listing();
    EXPECT_TRUE(holds(notes[3], "slur=3")) << c->listing();
    EXPECT_TRUE(holds(notes[4], "slur=2")) << c->listing();
    for (int code : {9, 10, 11, 53, 54, 55, 56})
        EXPECT_EQ(c->messages.errors(code), 0) << code << "\n" << c->listing();
}

TEST(SlursBeamsEndToEnd, ReversedBeamPairIsWrittenAsStartAndEnd) {
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000
note x=100 y=1000 dur=4 pos=0 beam_from=3
note x=130 y=1000 dur=4 pos=2 beam_to=2
note x=160 y=1000 dur=4 pos=4
)");
    const std::vector<std::string> notes = c->notes(c->find("staff 1", {}));
    ASSERT_EQ(notes.size(), 3u) << c->listing();
    EXPECT_TRUE(holds(notes[0], "beam=start")) << c->listing();
    EXPECT_TRUE(holds(notes[1], "beam=end")) << c->listing();
    EXPECT_FALSE(holds(notes[2], "beam=")) << c->listing();
    for (int code : {53, 54, 68, 69, 70, 71})
        EXPECT_EQ(c->messages.errors(code), 0) << code << "\n" << c->listing();
}

TEST(SlursBeamsEndToEnd, BeamAndTieCrossABarLineCopiedFromTheStaveAbove) {
    // The lower stave has no bar line of its own: it gets a copy of element 4 of the upper
    // stave, which stands between its note 3 and its note 4.
    auto c = convert(R"(header staves=2 version=200
stave y=1000 count=4 join=1
stave y=1200 count=4
newstave x=10 y=1000
note x=100 y=1000 dur=3 pos=0
note x=130 y=1000 dur=3 pos=0
bar x=150 y=1000
newstave x=10 y=1200
note x=100 y=1200 dur=4 pos=0 beam_to=4 tie_to=4
note x=130 y=1200 dur=4 pos=0
note x=160 y=1200 dur=4 pos=0 beam_from=2 tie_from=2
)");
    const std::size_t staff = c->find("staff 2", {});
    const std::size_t first = c->find("note", {"beam=start", "tie_to"}, staff);
    const std::size_t bar = c->find("bar", {}, first);
    const std::size_t last = c->find("note", {"beam=end", "tie_from"}, bar);
    EXPECT_NE(staff, npos) << c->listing();
    EXPECT_NE(first, npos) << c->listing();
    EXPECT_NE(bar, npos) << c->listing();
    EXPECT_NE(last, npos) << c->listing();
    EXPECT_EQ(c->messages.errors(53), 0) << c->listing();
    EXPECT_EQ(c->messages.errors(55), 0) << c->listing();
}

TEST(SlursBeamsEndToEnd, BrokenLinksLeaveNoFlags) {
    // A beam and a tie to element 9, which does not exist, and a slur whose first point names a
    // point that lies before it.
    auto c = convert(R"(header staves=1 version=200
stave y=1000 count=5
newstave x=10 y=1000
slurpoint x=90 y=990 next=0
note x=100 y=1000 dur=4 pos=0 beam_to=9 tie_to=9
slurpoint x=101 y=990 next=2
note x=130 y=1000 dur=4 pos=0
)");
    const std::vector<std::string> notes = c->notes(c->find("staff 1", {}));
    ASSERT_EQ(notes.size(), 2u) << c->listing();
    for (const std::string &note : notes) {
        EXPECT_FALSE(holds(note, "beam=")) << c->listing();
        EXPECT_FALSE(holds(note, "tie_")) << c->listing();
        EXPECT_FALSE(holds(note, "slur=")) << c->listing();
    }
    EXPECT_TRUE(
        c->messages.has("Error 53: Missing beam end, from element 3 to element 9, in stave 1"));
    EXPECT_TRUE(
        c->messages.has("Error 55: Missing tie end, from element 3 to element 9, in stave 1"));
    EXPECT_EQ(c->messages.errors(10), 1) << c->listing();
}

} // namespace
} // namespace qm
