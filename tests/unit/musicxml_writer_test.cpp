// The MusicXML writer through a whole conversion: scores in the NW text form in, documents
// that the MusicXML 4.0 schema accepts out, and their content read back with XPath.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <libxml/entities.h>
#include <libxml/xmlmemory.h>

#include "musicxmlwrite/xml_out.hpp"
#include "nwcdump/nwcdump.hpp"
#include "support/musicxml.hpp"

namespace qm {
namespace {

using Checks = std::vector<std::pair<std::string, std::string>>; // XPath, values joined

// The pitches of a part as a musician names them: "C#4", "Bb3", "G4".
std::string pitches(const test::MusicXmlDoc &doc, int part) {
    const std::string notes = "//part[" + std::to_string(part) + "]//note/pitch/";
    const std::vector<std::string> steps = doc.all(notes + "step");
    const std::vector<std::string> alters = doc.all(notes + "alter");
    const std::vector<std::string> octaves = doc.all(notes + "octave");
    std::string text;
    for (std::size_t i = 0; i < steps.size() && i < alters.size() && i < octaves.size(); ++i) {
        const int alter = std::stoi(alters[i]);
        text += (text.empty() ? "" : " ") + steps[i];
        for (int a = 0; a < alter; ++a)
            text += '#';
        for (int a = 0; a > alter; --a)
            text += 'b';
        text += octaves[i];
    }
    return text;
}

struct WriterCase {
    const char *name;
    const char *score;
    Checks checks;
    int omitted = 0;
};

const std::vector<WriterCase> &writerCases() {
    static const std::vector<WriterCase> cases = {
        {"ClefsAndSharpKey",
         R"(header staves=1 version=200
stave y=1000 count=12
newstave x=10 y=1000 clef=0
keysig x=20 y=1000 n=2
note x=50 y=1000 dur=3 pos=-6
note x=70 y=1000 dur=3 pos=-3
note x=90 y=1000 dur=3 pos=-2
clef x=110 y=1000 clef=1
note x=130 y=1000 dur=3 pos=0
note x=150 y=1000 dur=3 pos=-1
clef x=170 y=1000 clef=2
note x=190 y=1000 dur=3 pos=0
clef x=210 y=1000 clef=3
note x=230 y=1000 dur=3 pos=0
)",
         {{"pitches 1", "C#4 F#4 G4 D3 C#3 C#4 A3"},
          {"//key/fifths", "2"},
          {"//clef/sign", "G F C C"},
          {"//clef/line", "2 4 3 4"},
          {"count(//note/accidental)", "0"}}},
        {"FlatKeyInCommonTime",
         R"(header staves=1 version=200
stave y=1000 count=7
newstave x=10 y=1000 clef=0
keysig x=20 y=1000 n=253
timesym x=30 y=1000 sub=19
note x=50 y=1000 dur=3 pos=0
note x=70 y=1000 dur=3 pos=-4
note x=90 y=1000 dur=3 pos=-1
note x=110 y=1000 dur=3 pos=-3
)",
         {{"pitches 1", "Bb4 Eb4 Ab4 F4"},
          {"//key/fifths", "-3"},
          {"//time/@symbol", "common"},
          {"//time/beats", "4"},
          {"//time/beat-type", "4"}}},
        {"AccidentalsHoldThroughTheBarAndOverATie",
         R"(header staves=1 version=200
stave y=1000 count=11
newstave x=10 y=1000 clef=0
accidental x=45 y=1000 pos=-6 alt=1
note x=50 y=1000 dur=3 pos=-6
note x=70 y=1000 dur=3 pos=-6
note x=90 y=1000 dur=3 pos=-5
note x=110 y=1000 dur=3 pos=-6 tie_to=8
bar x=130 y=1000
note x=150 y=1000 dur=3 pos=-6 tie_from=6
accidental x=165 y=1000 pos=-6 alt=0
note x=170 y=1000 dur=3 pos=-6
bar x=190 y=1000
)",
         {{"pitches 1", "C#4 C#4 D4 C#4 C#4 C4"},
          // The natural after the tied C sharp is a courtesy sign.
          {"//note/accidental", "sharp natural"},
          {"//note/accidental/@cautionary", "yes"},
          {"//note/tie/@type", "start stop"},
          {"//note/notations/tied/@type", "start stop"},
          {"count(//measure)", "2"}}},
        {"ChordsAndAChordSplitByItsStems",
         R"(header staves=1 version=200
stave y=1000 count=9
newstave x=10 y=1000 clef=0
timedigit x=30 y=990 digit=2
timedigit x=30 y=1010 digit=4
note x=100 y=1000 dur=3 pos=-6 stem=0
note x=101 y=1000 dur=3 pos=-4 stem=0
note x=102 y=1000 dur=3 pos=-2 stem=0
note x=150 y=1000 dur=3 pos=2 stem=3
note x=151 y=1000 dur=4 pos=-2 stem=1
note x=180 y=1000 dur=4 pos=-3 stem=1
)",
         {{"pitches 1", "C4 E4 G4 D5 G4 F4"},
          {"count(//note[chord])", "2"},
          {"//note[voice='1']/type", "quarter quarter quarter quarter"},
          {"//note[voice='2']/type", "eighth eighth"},
          {"//note/stem", "up up up up down down"},
          {"//backup/duration", "32"},
          {"//forward/duration", "16"},
          {"sum(//note[voice='1' and not(chord)]/duration)", "32"},
          {"sum(//note[voice='2']/duration) + sum(//forward[voice='2']/duration)", "32"}}},
        {"RestChordIsARestInASecondVoice",
         R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=3 pos=2 stem=0
rest x=101 y=1000 dur=3 pos=-4 stem=1
note x=130 y=1000 dur=3 pos=1 stem=0
)",
         {{"//note[rest]/voice", "2"},
          {"//note[not(rest)]/voice", "1 1"},
          {"//note[voice='1']/duration", "16 16"},
          {"//backup/duration", "32"},
          {"//forward[voice='2']/duration", "16"}}},
        {"BeamLevelsGraceNotesAndFineDivisions",
         R"(header staves=1 version=200
stave y=1000 count=8
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=5 pos=0 stem=0 beam_to=3
note x=120 y=1000 dur=5 pos=1 stem=0 beam_from=2 beam_to=4
note x=140 y=1000 dur=4 pos=2 stem=0 beam_from=3
note x=170 y=1000 dur=4 pos=0 grace=1
note x=180 y=1000 dur=3 pos=0
note x=200 y=1000 dur=7 pos=0 dots=1
note x=220 y=1000 dur=0 pos=0
)",
         {{"//note/beam", "begin begin continue end end"},
          {"//note/beam/@number", "1 2 1 2 1"},
          {"count(//note[grace])", "1"},
          {"count(//note[grace]/duration)", "0"},
          {"//divisions", "32"},
          {"//note[not(grace)]/duration", "8 8 16 32 3 256"},
          {"//note/type", "16th 16th eighth eighth quarter 64th breve"}}},
        // The finer units of a later staff's note hold for the staves before it too, and what
        // is left out is counted once.
        {"FineDivisionsFromALaterStaff",
         R"(header staves=2 version=200
stave y=1000 count=3 join=1
stave y=1400 count=2
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=3 pos=0
note x=130 y=1000 dur=3 pos=128
newstave x=10 y=1400 clef=0
note x=100 y=1400 dur=7 pos=0 dots=1
)",
         {{"//divisions", "32 32"},
          {"//part[1]//note/duration", "32"},
          {"//part[1]//forward/duration", "32"},
          {"//part[2]//note/duration", "3"}},
         1},
        {"OverlappingSlursGetTheirOwnNumbers",
         R"(header staves=1 version=180
stave y=1000 count=5
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=3 pos=0 slur_to=3
note x=130 y=1000 dur=3 pos=1 slur_to=4
note x=160 y=1000 dur=3 pos=2 slur_from=3
note x=190 y=1000 dur=3 pos=3 slur_from=4
)",
         {{"//slur/@type", "start start stop stop"}, {"//slur/@number", "1 2 2 1"}}},
        {"BarsRepeatsAndAPickup",
         R"(header staves=1 version=200
stave y=1000 count=26
newstave x=10 y=1000 clef=0
timedigit x=30 y=990 digit=4
timedigit x=30 y=1010 digit=4
note x=50 y=1000 dur=3 pos=0
bar x=70 y=1000 style=0
note x=90 y=1000 dur=3 pos=0
note x=110 y=1000 dur=3 pos=0
note x=130 y=1000 dur=3 pos=0
note x=150 y=1000 dur=3 pos=0
bar x=170 y=1000 style=2
note x=190 y=1000 dur=3 pos=0
note x=210 y=1000 dur=3 pos=0
note x=230 y=1000 dur=3 pos=0
note x=250 y=1000 dur=3 pos=0
bar x=270 y=1000 style=3
note x=290 y=1000 dur=3 pos=0
note x=310 y=1000 dur=3 pos=0
note x=330 y=1000 dur=3 pos=0
note x=350 y=1000 dur=3 pos=0
bar x=370 y=1000 style=1
note x=390 y=1000 dur=3 pos=0
note x=410 y=1000 dur=3 pos=0
text x=420 y=1020 style=1 text="end"
bar x=430 y=1000 style=0
text x=440 y=1020 style=1 text="x"
)",
         {{"//measure/@number", "0 1 2 3 4"},
          {"//measure/@implicit", "yes"},
          {"//barline/@location", "left right right right"},
          {"//barline/bar-style", "heavy-light light-heavy light-light light-heavy"},
          {"//repeat/@direction", "forward backward"},
          {"count(//measure[@number='4']/note)", "2"},
          {"//measure[@number='4']/direction//words", "end x"}}},
        {"DirectionsTitleAndPageTexts",
         R"(header staves=1 version=200
stave y=1000 count=11
newstave x=10 y=1000 clef=0
text x=100 y=900 style=2 text="Sonata"
timesym x=30 y=1000 sub=20
text x=50 y=980 style=1 text="Allegro"
sign x=60 y=1020 sub=140
sign x=70 y=1020 sub=134
sign x=80 y=985 sub=65
note x=90 y=1000 dur=1 pos=0
text x=120 y=1020 style=1 text="a\x01b"
sign x=130 y=985 sub=146
text x=140 y=980 style=1 text="D.C. al Fine"
trailer part=1 text="Head\xE9"
trailer part=2 text="Foot"
)",
         {{"//work/work-title", "Sonata"},
          {"//credit/credit-type", "title page header page footer"},
          {"//credit/credit-words", "Sonata Headé Foot"},
          {"count(//identification/rights)", "0"},
          {"//credit/credit-words/@default-y", "1577 1637 60"},
          {"//defaults/page-layout/page-height", "1697"},
          {"starts-with(//encoding/software, 'Quillmark ')", "true"},
          {"//time/@symbol", "cut"},
          {"//time/beats", "2"},
          {"name(//dynamics/*)", "mp"},
          {"//sound/@dynamics", "66.67"},
          {"//pedal/@type", "start"},
          {"count(//note/notations/fermata)", "1"},
          {"//direction/direction-type/words", "Allegro ab 8va D.C. al Fine"},
          {"//direction[direction-type/words='Allegro']/@placement", "above"},
          {"//direction[direction-type/words='ab']/@placement", "below"},
          {"//sound/@dacapo", "yes"}}},
        {"TextsWithMarkupCharactersStayTheSameText",
         R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000 clef=0
text x=100 y=900 style=2 text="R&B <live>"
note x=90 y=1000 dur=3 pos=0
text x=120 y=1020 style=1 text="say \x22hi\x22\x0Dnow"
)",
         {{"//work/work-title", "R&B <live>"},
          {"//direction/direction-type/words", "say \"hi\"\rnow"}}},
        // The parts keep in step: an empty pickup in the middle stave, a semibreve rest in
        // the lowest one's and an empty bar in the upper one are measures of silence,
        // numbered and as long as the other parts' bars.
        {"EmptyBarsAndAnEmptyPickupKeepThePartsInStep",
         R"(header staves=3 version=200
stave y=1000 count=11 join=1
stave y=1200 count=9 join=1
stave y=1400 count=6
newstave x=10 y=1000 clef=0
timedigit x=30 y=990 digit=3
timedigit x=30 y=1010 digit=4
note x=50 y=1000 dur=3 pos=0
bar x=70 y=1000
note x=90 y=1000 dur=2 pos=1 dots=1
bar x=170 y=1000
bar x=270 y=1000
note x=290 y=1000 dur=3 pos=0
note x=310 y=1000 dur=3 pos=1
note x=330 y=1000 dur=3 pos=2
newstave x=10 y=1200 clef=1
timedigit x=30 y=1190 digit=3
timedigit x=30 y=1210 digit=4
bar x=70 y=1200
note x=90 y=1200 dur=2 pos=0 dots=1
bar x=170 y=1200
note x=190 y=1200 dur=2 pos=-2 dots=1
bar x=270 y=1200
note x=290 y=1200 dur=2 pos=0 dots=1
newstave x=10 y=1400 clef=1
timedigit x=30 y=1390 digit=3
timedigit x=30 y=1410 digit=4
rest x=50 y=1400 dur=1
bar x=70 y=1400
note x=90 y=1400 dur=1 pos=0
)",
         {{"//part[1]/measure/@number", "0 1 2 3"},
          {"//part[2]/measure/@number", "0 1 2 3"},
          {"//part[3]/measure/@number", "0 1 2 3"},
          {"//measure[@implicit='yes']/@number", "0 0 0"},
          {"//measure[1]/note/rest/@measure", "yes yes"},
          {"//measure[1]/note[rest]/duration", "16 16"},
          {"//part[1]/measure[3]/note/rest/@measure", "yes"},
          {"//part[1]/measure[3]/note/duration", "48"},
          {"//part[3]/measure[position() > 2]/note/rest/@measure", "yes yes"},
          // The lowest stave's semibreve overfills bar 1: the others are filled to its length.
          {"//measure[2]/forward/duration", "16 16"},
          {"//part[3]/measure[position() > 2]/note/duration", "48 48"},
          {"count(//note[rest])", "5"}}},
        {"BeamedGraceNotesAndAGraceChord",
         R"(header staves=1 version=200
stave y=1000 count=7
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=5 pos=0 stem=0 grace=1 beam_to=3
note x=110 y=1000 dur=5 pos=1 stem=0 grace=1 beam_from=2
note x=130 y=1000 dur=3 pos=0 stem=0
note x=160 y=1000 dur=4 pos=2 stem=0 grace=1
note x=161 y=1000 dur=5 pos=4 stem=0 grace=1
note x=162 y=1000 dur=3 pos=0 stem=0
)",
         {{"//note[grace]/beam", "begin begin end end"},
          {"count(//note[grace])", "4"},
          {"count(//note[grace and chord])", "1"},
          {"//note[grace]/type", "16th 16th eighth 16th"}}},
        // Up-stem notes are voice 1 though the staff's time follows the shorter down-stem ones.
        {"UpStemNotesAreVoiceOne",
         R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=2 pos=4 stem=0
note x=101 y=1000 dur=3 pos=0 stem=1
note x=130 y=1000 dur=3 pos=-1 stem=1
)",
         {{"//note[stem='up']/voice", "1"},
          {"//note[stem='down']/voice", "2 2"},
          {"//note[voice='1']/type", "half"},
          {"//note[voice='2']/type", "quarter quarter"}}},
        {"SforzandoAndForzandoAreDynamics",
         R"(header staves=1 version=200
stave y=1000 count=5
newstave x=10 y=1000 clef=0
sign x=60 y=1020 sub=144
note x=70 y=1000 dur=3 pos=0
sign x=90 y=1020 sub=145
note x=100 y=1000 dur=3 pos=0
)",
         {{"count(//dynamics/sf)", "1"},
          {"count(//dynamics/fz)", "1"},
          {"//direction/@placement", "below below"},
          {"count(//words)", "0"}}},
        // A tie from one pitch to another (a damaged score) would stay open: it goes.
        {"TieBetweenTwoPitchesIsLeftOut",
         R"(header staves=1 version=200
stave y=1000 count=5
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=3 pos=0 tie_to=3
note x=130 y=1000 dur=3 pos=2 tie_from=2
note x=160 y=1000 dur=3 pos=1 tie_to=5
note x=190 y=1000 dur=3 pos=1 tie_from=4
)",
         {{"//tie/@type", "start stop"},
          {"//note[tie]/pitch/step", "C C"},
          {"//tied/@type", "start stop"}},
         1},
        {"SemibreveRestFillsA34Bar",
         R"(header staves=1 version=200
stave y=1000 count=8
newstave x=10 y=1000 clef=0
timedigit x=30 y=990 digit=3
timedigit x=30 y=1010 digit=4
rest x=60 y=1000 dur=1
bar x=90 y=1000
note x=100 y=1000 dur=3 pos=0
note x=120 y=1000 dur=3 pos=0
note x=140 y=1000 dur=3 pos=0
)",
         {{"//note[rest]/rest/@measure", "yes"},
          {"//note[rest]/duration", "48"},
          {"//note[rest]/type", "whole"},
          {"count(//forward)", "0"}}},
        // The page's layout: the second system starts a system, the key change to no key
        // cancels the sharp, the metronome mark sets the tempo, the staff name is not printed.
        {"SystemBreakKeyCancelAndTempo",
         R"(header staves=2 version=200
stave y=1000 count=7
stave y=1400 count=4
newstave x=10 y=1000 clef=0
keysig x=25 y=1000 n=1
text x=40 y=960 style=1 text="Lento h = 60"
note x=60 y=1000 dur=1 pos=0
bar x=90 y=1000
note x=100 y=1000 dur=1 pos=0
bar x=130 y=1000
newstave x=10 y=1400 clef=0
keysig x=25 y=1400 n=0
note x=60 y=1400 dur=1 pos=0
note x=100 y=1400 dur=1 pos=0
)",
         {{"//measure[print/@new-system='yes']/@number", "3"},
          {"//key/cancel", "1"},
          {"//key/fifths", "1 0"},
          {"//sound/@tempo", "120"}, // a minim at 60
          {"//part-name/@print-object", "no"}}},
        {"NotesBeyondTheOctavesAreLeftOutButKeepTheirTime",
         R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=3 pos=128
note x=130 y=1000 dur=3 pos=0
note x=160 y=1000 dur=3 pos=-127
)",
         {{"pitches 1", "B4"}, {"//forward/duration", "16 16"}},
         2},
        // The same in chords: a chord keeps the notes it can write, one with none keeps its time.
        {"ChordNotesBeyondTheOctavesAreLeftOut",
         R"(header staves=1 version=200
stave y=1000 count=6
newstave x=10 y=1000 clef=0
note x=100 y=1000 dur=3 pos=0
note x=101 y=1000 dur=3 pos=128
note x=130 y=1000 dur=3 pos=128
note x=131 y=1000 dur=3 pos=-127
note x=160 y=1000 dur=3 pos=2
)",
         {{"pitches 1", "B4 D5"},
          {"count(//note[chord])", "0"},
          {"//forward/duration", "16"},
          {"count(//forward/following-sibling::note)", "1"}},
         3},
    };
    return cases;
}

class WriterCases : public testing::TestWithParam<WriterCase> {};

TEST_P(WriterCases, DocumentIsValidAndHoldsTheMusic) {
    const WriterCase &c = GetParam();
    auto converted = test::musicXmlFromText(c.score);
    const test::MusicXmlDoc &doc = *converted->doc;
    ASSERT_EQ(converted->problems, "") << doc.text();
    EXPECT_EQ(converted->stats.OmittedElements, c.omitted);
    for (const auto &[query, expected] : c.checks) {
        const std::string actual = query.rfind("pitches ", 0) == 0
                                       ? pitches(doc, std::stoi(query.substr(8)))
                                       : doc.joined(query);
        EXPECT_EQ(actual, expected) << query << "\n" << doc.text();
    }
}

INSTANTIATE_TEST_SUITE_P(MusicXml, WriterCases, testing::ValuesIn(writerCases()),
                         [](const testing::TestParamInfo<WriterCase> &info) {
                             return std::string(info.param.name);
                         });

// A later system whose stave opens in another clef, with no clef element of its own, changes
// the clef where it joins, in both outputs; one with its own clef element gets no second one.
TEST(SystemJoin, AStaveOpeningInAnotherClefChangesTheClefInBothOutputs) {
    const std::string score = R"(header staves=2 version=200
stave y=1000 count=5
stave y=1400 count=3
newstave x=10 y=1000 clef=1
note x=60 y=1000 dur=1 pos=0
bar x=90 y=1000
note x=100 y=1000 dur=1 pos=0
bar x=130 y=1000
newstave x=10 y=1400 clef=0
)";
    for (const bool ownClef : {false, true}) {
        const std::string text =
            score + (ownClef ? "clef x=30 y=1400 clef=0\n" : "") + "note x=60 y=1400 dur=1 pos=0\n";
        std::string counted = text;
        counted.replace(counted.find("count=3"), 7, ownClef ? "count=3" : "count=2");
        auto converted = test::musicXmlFromText(counted);
        const test::MusicXmlDoc &doc = *converted->doc;
        ASSERT_EQ(converted->problems, "") << doc.text();
        EXPECT_EQ(doc.joined("//clef/sign"), "F G") << ownClef;
        EXPECT_EQ(doc.joined("//measure[attributes/clef/sign='G']/@number"), "3") << ownClef;
        EXPECT_EQ(pitches(doc, 1), "D3 D3 B4") << ownClef;
        std::istringstream nwc(dumpNwc(converted->nwc));
        std::string clefs;
        for (std::string line; std::getline(nwc, line);)
            if (line.rfind("clef ", 0) == 0) clefs += line.substr(0, line.find(' ', 5)) + ";";
        EXPECT_EQ(clefs, "clef code=1;clef code=0;") << ownClef;
    }
}

// The writer escapes a score's texts itself, byte for byte as libxml2 does.
TEST(XmlEscape, GivesTheBytesOfLibxml2) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    for (const std::string &text : {everyByte, std::string("a<b>&\"c\r\nd'e"),
                                    std::string("up to\0here", 10), std::string()}) {
        xmlChar *expected =
            xmlEncodeSpecialChars(nullptr, reinterpret_cast<const xmlChar *>(text.c_str()));
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(musicxml::escapeText(text), reinterpret_cast<const char *>(expected));
        xmlFree(expected);
    }
}

} // namespace
} // namespace qm
