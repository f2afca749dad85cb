#include <gtest/gtest.h>

#include "nwread/notes.hpp"
#include "nwread/reader.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

struct ReadFixture {
    explicit ReadFixture(std::string_view text) : bytes(nwtext::build(text)), source(bytes) {}

    HeaderReadResult readHeader() { return readNWHeader(source, score, messages); }

    // Reads stave k's records without running the stave's passes.
    Stave &readElements(std::int32_t k) {
        Stave &stave = *staveAt(score, k);
        std::int32_t e = 0;
        for (Element &element : stave.Elements)
            readNWElement(source, score, stave, element, k, ++e, messages);
        return stave;
    }

    std::vector<std::uint8_t> bytes;
    RecordSource source;
    Score score;
    test::RecordingMessages messages;
};

TEST(NwReaderHeader, ShortFirstRecordIsError43) {
    ReadFixture read("raw 01 02 03");
    const HeaderReadResult result = read.readHeader();
    EXPECT_EQ(result.StaveCount, 0);
    EXPECT_TRUE(result.ShortRecord);
    EXPECT_EQ(read.messages.lines,
              std::vector<std::string>{"Error 43: Unexpected end of file in first line"});
}

TEST(NwReaderHeader, NoStavesIsError67) {
    ReadFixture read("header staves=0 version=200");
    EXPECT_EQ(read.readHeader().StaveCount, 0);
    EXPECT_TRUE(read.score.Staves.empty());
    EXPECT_EQ(read.score.TitleIndex, 0);
    EXPECT_TRUE(read.messages.has("Error 67: File has wrong format or no staves"));
}

TEST(NwReaderHeader, ShortStaveHeaderLeavesTheRestEmpty) {
    ReadFixture read("header staves=4 version=200\n"
                     "stave y=100 count=2\nstave y=200 count=1\nraw 00 01 02");
    const HeaderReadResult result = read.readHeader();
    EXPECT_EQ(result.StaveCount, 4);
    EXPECT_TRUE(result.ShortRecord);
    EXPECT_EQ(read.messages.lines, std::vector<std::string>{"Error 44: Unexpected end of file"});
    EXPECT_EQ(staveAt(read.score, 1)->ElementCount, 2);
    EXPECT_EQ(staveAt(read.score, 2)->ElementCount, 1);
    EXPECT_EQ(staveAt(read.score, 3)->ElementCount, 0);
    EXPECT_TRUE(staveAt(read.score, 4)->Elements.empty());
}

TEST(NwReaderHeader, StaveFieldsFromTheirHeaders) {
    ReadFixture read("header staves=4 version=171\n"
                     "stave y=-20 count=0 pair=1 style=30 join=1\n" // style 3, same system
                     "stave y=33000 count=0 style=30\n"             // after style 1? no: 3 first
                     "stave y=0 count=0 pair=1\n"
                     "stave y=0 count=0 style=30\n");
    read.readHeader();
    auto s = read.score.Staves.begin();
    EXPECT_EQ(s->StaffStyle, 3);
    EXPECT_EQ(s->YPos, -20);
    EXPECT_EQ(s->SystemStart, 1);
    EXPECT_EQ(s->SystemEnd, 0);
    ++s;
    EXPECT_EQ(s->StaffStyle, 3);
    EXPECT_EQ(s->YPos, 33000);
    EXPECT_EQ(s->SystemStart, 0);
    EXPECT_EQ(s->SystemEnd, 1);
    ++s;
    EXPECT_EQ(s->StaffStyle, 1);
    EXPECT_EQ(s->SystemStart, 1);
    ++s;
    EXPECT_EQ(s->StaffStyle, 2); // follows a paired stave whatever its own bytes say
}

TEST(NwReaderHeader, SystemByteIgnoredUpToVersion170) {
    ReadFixture read("header staves=2 version=170\nstave count=0 join=1\nstave count=0");
    read.readHeader();
    EXPECT_EQ(read.score.Staves.front().SystemEnd, 1);
    EXPECT_EQ(read.score.Staves.back().SystemStart, 1);
}

TEST(NwReaderElements, NumbersChecksAndKinds) {
    ReadFixture read("header staves=1 version=200\nstave count=8\n"
                     "note x=1 y=2\nrest\nnote sub=12\nnote sub=38\nrecord type=8\n"
                     "bar s=9\nbar e=7\nbar e=7");
    read.readHeader();
    const Stave &stave = read.readElements(1);
    std::vector<Kind> kinds;
    for (const Element &e : stave.Elements)
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds,
              (std::vector<Kind>{Kind::Note, Kind::Rest, Kind::Note, Kind::Unknown, Kind::Unknown,
                                 Kind::BarLine, Kind::BarLine, Kind::BarLine}));
    EXPECT_EQ(stave.Elements.back().ElementNo, 8);
    EXPECT_EQ(stave.Elements.back().StaveNo, 1);
    EXPECT_EQ(stave.Elements.front().XPos, 1);
    EXPECT_EQ(stave.Elements.front().YPos, 2);
    EXPECT_EQ(read.messages.lines,
              (std::vector<std::string>{
                  "Error 41: Unexpected or unknown staff element: Unknown (possibly a flow "
                  "direction) for stave 1, element 4",
                  "Error 41: Unexpected or unknown staff element: Unknown (possibly a flow "
                  "direction) for stave 1, element 5",
                  "Error 39: Mismatch in stave number of element 1",
                  "Error 40: Mismatch in element number 8"}));
}

TEST(NwReaderElements, ShortAndMissingRecords) {
    ReadFixture read("header staves=1 version=200\nstave count=3\nnote\nraw 01 02 03");
    read.readHeader();
    const Stave &stave = read.readElements(1);
    EXPECT_EQ(stave.Elements.front().Kind, Kind::Note);
    EXPECT_EQ(std::next(stave.Elements.begin())->Kind, Kind::Unknown);
    EXPECT_EQ(stave.Elements.back().Kind, Kind::Unknown);
    EXPECT_EQ(
        read.messages.lines,
        std::vector<std::string>{"Error 38: Unexpectedly short final line for stave element"});
}

TEST(NwReaderElements, RecordKindTable) {
    EXPECT_EQ(kindOfRecord(0, 3), Kind::NewStave);
    EXPECT_EQ(kindOfRecord(0, 4), Kind::Clef);
    EXPECT_EQ(kindOfRecord(3, 0), Kind::TimeSig);
    EXPECT_EQ(kindOfRecord(5, 53), Kind::Rest);
    EXPECT_EQ(kindOfRecord(5, 48), Kind::Note);
    EXPECT_EQ(kindOfRecord(6, 0), Kind::Unknown);
    EXPECT_EQ(kindOfRecord(13, 118), Kind::FlowControl);
    EXPECT_EQ(kindOfRecord(13, 129), Kind::Accent);
    EXPECT_EQ(kindOfRecord(13, 128), Kind::TempoVar);
    EXPECT_EQ(kindOfRecord(13, 135), Kind::Pedal);
    EXPECT_EQ(kindOfRecord(13, 143), Kind::Volume);
    EXPECT_EQ(kindOfRecord(13, 144), Kind::Symbol);
    EXPECT_EQ(kindOfRecord(14, 0), Kind::Arpeggio);
    EXPECT_EQ(kindOfRecord(255, 0), Kind::Unknown);
}

TEST(NwRecord, PositionsAndSignedBytes) {
    EXPECT_EQ(decodePosition(0x10, 0x80), 128 * 256 + 16);
    EXPECT_EQ(decodePosition(0x10, 0x81), 16 - 127 * 256);
    EXPECT_EQ(decodePosition(0xFF, 0xFF), -1);
    EXPECT_EQ(decodeSignedByte(200), -56);
    EXPECT_EQ(decodeSignedByte(128), 128);
}

TEST(NwReaderTrailer, PiecesJoinIntoHeaderAndFooter) {
    ReadFixture read("header staves=0\n"
                     "trailer part=1 text=\"twelve chars\"\n"
                     "trailer part=1 text=\"four\"\n"
                     "trailer part=3 text=\"bad\"\n"
                     "trailer part=2 b0=1 text=\"bad too\"\n"
                     "trailer part=2 text=\"foot\" len=20\n"
                     "raw 00 02 00 00 00 00 00 00 00 01");
    read.readHeader();
    read.messages.lines.clear();
    readNWTrailer(read.source, read.score, read.messages);
    EXPECT_EQ(read.score.HeaderText, "twelve charsfour ");
    // A count above 12 takes the 12 bytes the record holds, and no blank.
    EXPECT_EQ(read.score.FooterText, std::string("foot") + std::string(8, '\0'));
    EXPECT_EQ(read.messages.lines,
              (std::vector<std::string>{"Error 65: Unexpected line at end of file",
                                        "Error 65: Unexpected line at end of file"}));
}

TEST(NwReaderTrailer, TextsStopAt255Characters) {
    std::string text = "header staves=0\n";
    for (int i = 0; i < 30; ++i)
        text += "trailer part=2 text=\"abcdefghijkl\"\n";
    ReadFixture read(text);
    read.readHeader();
    readNWTrailer(read.source, read.score, read.messages);
    EXPECT_EQ(read.score.FooterText.size(), 255u);
}

// Decodes one type-5 record given in the text form.
struct DecodedNote {
    Element element;
    test::RecordingMessages messages;
};

DecodedNote decodeOne(std::string_view line, std::int32_t version = 200) {
    const auto bytes =
        nwtext::build(std::string("header staves=1\nstave count=1\n") + std::string(line));
    Record record;
    std::copy_n(bytes.begin() + 44, RecordSize, record.begin());
    DecodedNote decoded;
    decoded.element.Kind = kindOfRecord(record[7], record[6]);
    if (decoded.element.Kind == Kind::Rest)
        decodeRest(decoded.element, record, decoded.messages);
    else
        decodeNote(decoded.element, record, version, decoded.messages);
    return decoded;
}

TEST(NoteDecoding, CommonFields) {
    auto d = decodeOne("note dur=4 pos=-56 dots=1 stem=3 grace=2");
    EXPECT_EQ(d.element.Note.Duration, 4);
    EXPECT_EQ(d.element.Note.Position, -56);
    EXPECT_EQ(d.element.Note.Dotted, 1);
    EXPECT_EQ(d.element.Note.DoubleDotted, 0);
    EXPECT_EQ(d.element.Note.Stem, 4);
    EXPECT_EQ(d.element.Note.Grace, 1);
    EXPECT_EQ(d.element.Note.Accidental, 5);
    // A note's stem byte above 2 is reported, although 3 decodes to "undetermined".
    EXPECT_EQ(d.messages.lines,
              std::vector<std::string>{"Error 24:  Unresolved: Ch7=25 Ch12=3 in note"});

    d = decodeOne("note dur=3 pos=128 dots=2 grace=2");
    EXPECT_EQ(d.element.Note.Position, 128);
    EXPECT_EQ(d.element.Note.DoubleDotted, 1);
    EXPECT_EQ(d.element.Note.Grace, 0); // grace code 2 only for quavers
}

TEST(NoteDecoding, LinksOfOldAndNewFiles) {
    auto d = decodeOne("note beam_from=3 beam_to=7 slur_from=1 slur_to=1 tie_from=2 tie_to=9", 150);
    const NoteData &n = d.element.Note;
    EXPECT_EQ(n.BeamFrom, 3);
    EXPECT_EQ(n.HasBeamFrom, 1);
    EXPECT_EQ(n.BeamTo, 7);
    EXPECT_EQ(n.HasSlurFrom, 1);
    EXPECT_EQ(n.HasSlurTo, 1);
    EXPECT_EQ(n.TieFrom, 2);
    EXPECT_EQ(n.HasTieTo, 1);
    EXPECT_EQ(n.Articulation, 4);

    d = decodeOne("note art=3", 200);
    EXPECT_EQ(d.element.Note.Articulation, 2);
    EXPECT_EQ(d.element.Note.HasSlurTo, 0);
    EXPECT_EQ(d.messages.lines,
              std::vector<std::string>{"Error 24:  Unresolved: Ch7=25 Ch17=3 in note"});
}

TEST(NoteDecoding, ArticulationMap) {
    EXPECT_EQ(decodeArticulation(0), 4);
    EXPECT_EQ(decodeArticulation(1), 0);
    EXPECT_EQ(decodeArticulation(4), 3);
    EXPECT_EQ(decodeArticulation(5), 4);
    EXPECT_EQ(decodeArticulation(255), 4);
}

TEST(NoteDecoding, RangeCheckMessages) {
    auto d = decodeOne("note dur=9");
    EXPECT_EQ(d.element.Note.Duration, 7);
    EXPECT_EQ(d.messages.lines,
              (std::vector<std::string>{"Error 47: Unknown very short note length 9",
                                        "Error 24:  Unresolved: Ch7=25 Ch9=9 in note"}));

    d = decodeOne("note stem=6");
    EXPECT_EQ(d.element.Note.Stem, 2);
    EXPECT_EQ(d.messages.lines,
              std::vector<std::string>{"Error 24:  Unresolved: Ch7=25 Ch12=6 in note"});

    d = decodeOne("note b14=1");
    EXPECT_EQ(d.messages.lines,
              std::vector<std::string>{"Error 24:  Unresolved: Ch7=25 Ch15=1 in note"});

    d = decodeOne("note b21=1 b19=2 grace=5");
    EXPECT_EQ(d.messages.lines, std::vector<std::string>{
                                    "Error 24:  Unresolved: Ch7=25 Ch20=2 Ch21=5 Ch22=1 in note"});

    d = decodeOne("note sub=12 stem=2 dots=2 grace=4 slur_from=1");
    EXPECT_TRUE(d.messages.lines.empty());
}

TEST(NoteDecoding, RestsReadOnlyTheirBytes) {
    auto d = decodeOne("rest beam_from=5 beam_to=5 tie_to=3 b21=4");
    EXPECT_EQ(d.element.Kind, Kind::Rest);
    EXPECT_EQ(d.element.Note.HasBeamFrom, 0);
    EXPECT_EQ(d.element.Note.HasTieTo, 0);
    EXPECT_TRUE(d.messages.lines.empty());

    d = decodeOne("rest stem=3");
    EXPECT_EQ(d.element.Note.Stem, 4);
    EXPECT_TRUE(d.messages.lines.empty());

    d = decodeOne("rest stem=2 dur=8 b14=1");
    EXPECT_EQ(d.messages.lines,
              (std::vector<std::string>{"Error 47: Unknown very short note length 8",
                                        "Error 23:  Unresolved: Ch9=8 Ch12=2 in rest"}));

    d = decodeOne("rest b14=2");
    EXPECT_EQ(d.messages.lines, std::vector<std::string>{"Error 23:  Unresolved: Ch15=2 in rest"});
}

} // namespace
} // namespace qm
