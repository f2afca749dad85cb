// Passes tested text in, text out: each case is a score in the NW text form and the model
// printed after one step. Only the step under test changes the model between the print of the
// step before it and this one, so the expected text shows what the step did.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "convert/passes.hpp"
#include "support/pass_text.hpp"

namespace qm {
namespace {

struct PassCase {
    const char *what;
    const char *pass;
    const char *score;
    const char *expected;
};

const PassCase Cases[] = {
    {"the NewStave goes ahead of everything; a file before version 200 must have one",
     "new-stave-to-front",
     R"(header staves=2 version=170
stave y=1000 count=3
stave y=2000 count=2
clef x=5
newstave x=10 y=1000
note x=20 dur=3
clef x=5
note x=20 dur=3
)",
     R"(== after new-stave-to-front, stave 1
stave 1 y=1000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=3
  #2 newstave x=10 y=1000 code=0
  #1 clef x=5 y=0 code=0
  #3 note x=20 y=0
== after new-stave-to-front, stave 2
Error 22: Not found NewStave element
stave 1 y=2000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=2
  #1 s=2 clef x=5 y=0 code=0
  #2 s=2 note x=20 y=0
)"},

    {"a file of version 200 may lack the NewStave", "new-stave-to-front",
     R"(header staves=1 version=200
stave y=1000 count=1
note x=20 dur=3
)",
     R"(== after new-stave-to-front, stave 1
stave 1 y=1000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=1
  #1 note x=20 y=0
)"},

    {"bar lines of the stave above go in by XPos, keeping their numbers and stave",
     "copy-bar-lines",
     R"(header staves=2 version=200
stave y=1000 count=4
stave y=2000 count=4
newstave x=10
bar x=300 style=1
note x=350 dur=3
bar x=600
newstave x=10
note x=100 dur=3
note x=400 dur=3
note x=700 dur=3
)",
     R"(== after copy-bar-lines, stave 1
stave 1 y=0 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=4
  #1 newstave x=10 y=0 code=0
  #2 bar x=300 y=0 code=1
  #3 note x=350 y=0
  #4 bar x=600 y=0 code=0
== after copy-bar-lines, stave 2
stave 2 y=0 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=6
  #1 newstave x=10 y=0 code=0
  #2 note x=100 y=0
  #2 s=1 bar x=300 y=0 code=1
  #3 note x=400 y=0
  #4 s=1 bar x=600 y=0 code=0
  #4 note x=700 y=0
)"},

    {"copies at one place keep their order, after a lone NewStave; they are copied as the "
     "stave above ended up (positions made relative)",
     "copy-bar-lines",
     R"(header staves=2 version=200
stave y=1000 count=4
stave y=2000 count=1
bar x=300 style=1
bar x=300 style=6
bar x=600
newstave x=5 y=1000
newstave x=10 y=2000
)",
     R"(== after copy-bar-lines, stave 1
stave 1 y=1000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=4
  #4 newstave x=5 y=1000 code=0
  #1 bar x=300 y=0 code=1
  #2 bar x=300 y=0 code=2
  #3 bar x=600 y=0 code=0
== after copy-bar-lines, stave 2
stave 2 y=2000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=4
  #1 newstave x=10 y=2000 code=0
  #1 s=1 bar x=300 y=-128 code=1
  #2 s=1 bar x=300 y=-128 code=2
  #3 s=1 bar x=600 y=-128 code=0
)"},

    {"a stave with bar lines of its own gets none, nor does the first", "copy-bar-lines",
     R"(header staves=2 version=200
stave y=1000 count=1
stave y=2000 count=2
bar x=300
note x=100 dur=3
bar x=500
)",
     R"(== after copy-bar-lines, stave 1
stave 2 y=1000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=1
  #1 s=1 bar x=300 y=0 code=0
== after copy-bar-lines, stave 2
stave 1 y=2000 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=2
  #1 s=2 note x=100 y=0
  #2 s=2 bar x=500 y=0 code=0
)"},

    {"a clef and the time signature of the second bar go before the first note",
     "insert-opening-signs",
     R"(header staves=1 version=200
stave y=1000 count=8
newstave x=5 y=1000
note x=20 y=1000 dur=2
bar x=30 y=1000
note x=40 y=1000 dur=3
note x=50 y=1000 dur=3
note x=60 y=1000 dur=3
bar x=70 y=1000
note x=80 y=1000 dur=3
)",
     R"(== after insert-opening-signs
Warning 3: Inserted a time signature 3/4
score version=200 staves=1 title=0
stave 1 y=0 start=1 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=10
  #1 newstave x=5 y=0 code=0
  #0 clef x=0 y=0 code=0
  #0 timesig x=0 y=0 code=0 num=3 den=4 top=1 common=0 cut=0
  #2 note x=20 y=0 dur=2 beam_matched=0 tie_matched=0
  #3 bar x=30 y=0 code=0
  #4 note x=40 y=0 beam_matched=0 tie_matched=0
  #5 note x=50 y=0 beam_matched=0 tie_matched=0
  #6 note x=60 y=0 beam_matched=0 tie_matched=0
  #7 bar x=70 y=0 code=0
  #8 note x=80 y=0 beam_matched=0 tie_matched=0
)"},

    {"a one-stave system after a two-stave one gets a stave of whole-bar rests, numbered "
     "as it fills, with the bar lines of its first stave",
     "join-systems",
     R"(header staves=3 version=200
stave y=1000 count=4 join=1
stave y=1100 count=4
stave y=1400 count=5
newstave x=5 y=1000
note x=20 y=1000 dur=2 dots=1
bar x=60 y=1000
note x=80 y=1000 dur=1
newstave x=5 y=1100
note x=20 y=1100 dur=1
bar x=60 y=1100
note x=80 y=1100 dur=1
newstave x=5 y=1400
note x=20 y=1400 dur=3
bar x=60 y=1400
note x=80 y=1400 dur=1
bar x=100 y=1400
)",
     R"(== after join-systems
score version=200 staves=2 title=0
stave 1 y=0 start=1 end=0 style=0 clef=0 lyrics=0 final_bar=0 count=9
  #1 newstave x=5 y=0 code=0
  #2 note x=20 y=0 dur=2 beam_matched=0 tie_matched=0 dotted=1
  #3 bar x=60 y=0 code=0
  #4 note x=80 y=0 dur=1 beam_matched=0 tie_matched=0
  #1 s=3 newstave x=5 y=0 code=0
  #2 s=3 note x=20 y=0 beam_matched=0 tie_matched=0
  #3 s=3 bar x=60 y=0 code=0
  #4 s=3 note x=80 y=0 dur=1 beam_matched=0 tie_matched=0
  #5 s=3 bar x=100 y=0 code=0
stave 2 y=0 start=0 end=1 style=0 clef=0 lyrics=0 final_bar=0 count=8
  #1 newstave x=5 y=0 code=0
  #2 note x=20 y=0 dur=1 beam_matched=0 tie_matched=0
  #3 bar x=60 y=0 code=0
  #4 note x=80 y=0 dur=1 beam_matched=0 tie_matched=0
  #1 s=0 rest x=0 y=0
  #3 s=3 bar x=60 y=0 code=0
  #3 s=0 rest x=0 y=0 dur=1
  #5 s=3 bar x=100 y=0 code=0
)"},
};

TEST(Passes, ModelAfterTheStep) {
    for (const PassCase &c : Cases)
        EXPECT_EQ(test::modelAfter(c.pass, c.score), c.expected) << c.what;
}

TEST(Passes, EveryStepIsPrintedByNameAndOnlyStepsAreNamed) {
    const char *score = "header staves=1 version=200\nstave y=1000 count=1\nnote x=20 dur=3\n";
    const std::string all = test::modelAfter("all", score);
    for (const Pass &pass : conversionPasses())
        EXPECT_NE(all.find("== after " + std::string(pass.Name)), std::string::npos) << pass.Name;
    EXPECT_THROW(test::modelAfter("no-such-step", score), std::invalid_argument);
}

} // namespace
} // namespace qm
