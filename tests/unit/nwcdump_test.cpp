#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "nwcdump/nwcdump.hpp"
#include "nwcwrite/header.hpp"
#include "nwcwrite/staff.hpp"
#include "support/builders.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

using test::make;

using Bytes = std::vector<std::uint8_t>;

Bytes writeScore(Score &score) {
    test::RecordingMessages messages;
    NwcOutput out;
    writeFileHeader(out, score, messages);
    for (Stave &stave : score.Staves)
        writeStaff(out, stave, score, messages);
    return out.take();
}

// Two staves holding a record of every kind the writer produces.
Score scoreWithEveryRecord() {
    Score score;
    score.TextTable = {"", "Sonata \"No. 1\"", "dolce"};
    score.TitleIndex = 1;
    score.HeaderText = "head";
    score.FooterText = "foot";
    score.StaveCount = 2;

    Stave &first = score.Staves.emplace_back();
    first.StaveNo = 1;
    first.FinalBarStyle = 5;
    first.StaffStyle = 1;
    Element key = make({.kind = Kind::KeySig});
    key.KeySig.Sharps = 1;
    key.KeySig.SignCount = 2;
    Element time = make({.kind = Kind::TimeSig});
    time.TimeSig.Numerator = 6;
    time.TimeSig.Denominator = 8;
    Element text = make({.kind = Kind::Text, .y = -20, .code = 0});
    text.Text.TextIndex = 2;
    text.Text.TextStyle = 1;
    Element note = make({.kind = Kind::Note});
    note.Note.Duration = 3;
    note.Note.Position = -2;
    note.Note.HasBeamTo = 1;
    note.Note.HasTieTo = 1;
    note.Note.HasSlurTo = 1;
    note.Note.Dotted = 1;
    note.Note.Accidental = 3;
    first.Elements = {make({.kind = Kind::Clef, .code = 1}), key, time, text, note};

    Stave &second = score.Staves.emplace_back();
    second.StaveNo = 2;
    Element restChord = make({.kind = Kind::RestChord});
    restChord.Note.MemberCount = 1;
    Element chord = make({.kind = Kind::Chord});
    chord.Note.MemberCount = 2;
    chord.Note.Stem = 1;
    Element member = make({.kind = Kind::Note});
    member.Note.InChord = 1;
    member.Note.Articulation = 1;
    second.Elements = {make({.kind = Kind::Volume, .y = -8, .code = 3}),
                       make({.kind = Kind::Pedal, .code = 1}),
                       make({.kind = Kind::FlowControl, .code = 2}),
                       make({.kind = Kind::TempoVar, .y = 10, .code = 1}),
                       make({.kind = Kind::DynamicVar, .code = 4}),
                       make({.kind = Kind::PerformanceStyle, .code = 6}),
                       make({.kind = Kind::Symbol, .code = 65}),
                       make({.kind = Kind::Rest}),
                       restChord,
                       chord,
                       member,
                       member,
                       make({.kind = Kind::BarLine, .code = 1})};
    return score;
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

bool hasLine(const std::vector<std::string> &all, const std::string &line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

TEST(NwcDump, ListsTheHeaderOfOurOwnFile) {
    Score score;
    score.StaveCount = 1;
    score.Staves.emplace_back().StaveNo = 1;
    const std::vector<std::string> dumped = lines(dumpNwc(writeScore(score)));
    ASSERT_EQ(dumped.size(), 4u + 12 + 2);
    EXPECT_EQ(dumped[0], "file id=\"[NoteWorthy ArtWare]\" product=\"[NoteWorthy Composer]\" "
                         "version=1.75 user=\"\" serial=\"\"");
    EXPECT_EQ(dumped[1],
              "info title=\"\" author=\"\" copyright1=\"\" copyright2=\"\" comment=\"\"");
    EXPECT_EQ(dumped[2],
              "setup \"NY_\" \"F2\" margins=\"0.50000000 0.50000000 0.50000000 0.50000000\"");
    EXPECT_EQ(dumped[3], "layout staff_mask=01");
    EXPECT_EQ(dumped[4], "font 1 \"Times New Roman\" style=3 size=12");
    EXPECT_EQ(dumped[15], "font 12 \"Times New Roman\" style=0 size=10");
    EXPECT_EQ(dumped[16], "staves count=1");
    EXPECT_EQ(dumped[17],
              "staff 1 name=\"Staff-1\" group=\"Standard\" final_bar=0 style=0 top_extent=12 "
              "objects=2");
}

TEST(NwcDump, FollowsEveryRecordOurWriterProduces) {
    Score score = scoreWithEveryRecord();
    const std::vector<std::string> dumped = lines(dumpNwc(writeScore(score)));
    const std::string expected[] = {
        "info title=\"Sonata \\\"No. 1\\\"\" author=\"\" copyright1=\"foot\" copyright2=\"\" "
        "comment=\"head\"",
        "layout staff_mask=03",
        "staves count=2",
        "staff 1 name=\"Staff-1\" group=\"Standard\" final_bar=1 style=1 top_extent=24 objects=7",
        "clef code=1",
        "keysig flats=- sharps=CF prev_flats=- prev_sharps=-",
        "timesig num=6 den=8 sym=none",
        "text place=-20 font=5 \"dolce\"",
        "note dur=2 pos=-2 stem=up beam=start dotted tie_to slur=1 accidental=0 low",
        "staff 2 name=\"Staff-2\" group=\"Standard\" final_bar=0 style=0 top_extent=12 "
        "objects=12",
        "volume place=-8 code=3 velocity=60",
        "pedal place=0 code=1",
        "flow place=-8 code=2",
        "tempo_var place=5 code=1",
        "dynamic_var place=0 code=4",
        "performance_style place=0 code=6",
        "text place=-12 font=6 \"Fermata (above)\"",
        "rest dur=2 pos=0 stem=up accidental=0",
        "restchord dur=2 pos=0 stem=up accidental=0 members=1",
        "chord dur=2 pos=0 stem=down accidental=5 low members=2",
        "note dur=2 pos=0 stem=up in_chord tenuto accidental=5 low",
        "bar style=1 r=1",
    };
    for (const std::string &line : expected)
        EXPECT_TRUE(hasLine(dumped, line)) << line;
    EXPECT_EQ(dumped.back(), "bar style=1 r=1");
    for (const std::string &line : dumped)
        EXPECT_EQ(line.find('@'), std::string::npos) << line;
}

TEST(NwcDump, NotesAnObjectCountThatDisagreesWithTheRecords) {
    Score score;
    score.StaveCount = 1;
    Stave &stave = score.Staves.emplace_back();
    stave.StaveNo = 1;
    // A flow control holding its none code counts, but writes no record.
    stave.Elements = {make({.kind = Kind::Clef}), make({.kind = Kind::FlowControl, .code = 10})};
    const std::vector<std::string> dumped = lines(dumpNwc(writeScore(score)));
    EXPECT_EQ(dumped.back(), "# staff 1: the header counts 4 objects, the records add up to 3");
}

TEST(NwcDump, TruncatedFilesStopWithTheOffset) {
    Score score = scoreWithEveryRecord();
    const Bytes whole = writeScore(score);
    Score headersOnly = scoreWithEveryRecord();
    headersOnly.Staves.back().Elements.clear();
    const std::size_t lastHeaderEnd = writeScore(headersOnly).size();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const std::span<const std::uint8_t> part(whole.data(), size);
        try {
            dumpNwc(part);
            // Only a cut between two records of the last staff leaves a file that ends well.
            EXPECT_GE(size, lastHeaderEnd) << size;
        } catch (const NwcDumpError &error) {
            EXPECT_LE(error.Offset, size);
            EXPECT_NE(std::string(error.what()).find("offset " + std::to_string(error.Offset)),
                      std::string::npos);
        }
    }
}

TEST(NwcDump, UnknownRecordTypesAndTrailingBytesAreRefused) {
    Score score;
    score.StaveCount = 1;
    score.Staves.emplace_back().StaveNo = 1;
    const Bytes plain = writeScore(score);
    struct Case {
        Bytes tail;
        std::string message;
    };
    const Case cases[] = {
        {{3, 0, 0}, "unknown record type 3"},
        {{6}, "unknown record type 6"},
        {{'x'}, "after the last staff is not a record type"},
        {{8, 0, 0, 2}, "the file ends inside a note record"},
        {{17, 0, 0, 0, 0, 4, 'a'}, "the file ends inside a text record"},
    };
    for (const Case &c : cases) {
        Bytes bytes = plain;
        bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
        try {
            dumpNwc(bytes);
            ADD_FAILURE() << c.message;
        } catch (const NwcDumpError &error) {
            EXPECT_GE(error.Offset, plain.size()) << c.message;
            EXPECT_LT(error.Offset, bytes.size()) << c.message;
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
            EXPECT_NE(error.Partial.find("staff 1 name=\"Staff-1\""), std::string::npos);
        }
    }
}

TEST(NwcDump, HugeStaffCountWithoutStavesEndsAtOnce) {
    Score score;
    Bytes bytes = writeScore(score);
    ASSERT_EQ(bytes.size(), 407u);
    bytes[405] = 0xFF;
    bytes[406] = 0xFF;
    EXPECT_THROW(dumpNwc(bytes), NwcDumpError);
}

TEST(NwcDump, GarbageNeverCrashes) {
    Score score = scoreWithEveryRecord();
    const Bytes whole = writeScore(score);
    std::mt19937 random(2024);
    auto survives = [](const Bytes &bytes) {
        try {
            dumpNwc(bytes);
        } catch (const NwcDumpError &error) {
            EXPECT_LE(error.Offset, bytes.size());
        }
    };
    for (int round = 0; round < 300; ++round) {
        Bytes bytes(random() % 600);
        for (std::uint8_t &b : bytes)
            b = static_cast<std::uint8_t>(random());
        survives(bytes);
    }
    for (int round = 0; round < 1000; ++round) {
        Bytes bytes = whole;
        for (int flips = 0; flips < 3; ++flips)
            bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        survives(bytes);
    }
}

Bytes readReference(const std::string &name) {
    const std::filesystem::path path = std::filesystem::path(QUILLMARK_REFERENCE_DIR) / name;
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The real program's files carry records and lyrics our writer never produces, so the listing
// stops inside them; the header fields before that must land where the program puts them.
std::string referencePartial(const std::string &name) {
    const Bytes bytes = readReference(name);
    if (bytes.empty()) return {};
    try {
        return dumpNwc(bytes);
    } catch (const NwcDumpError &error) {
        return error.Partial + "ERROR " + error.what() + "\n";
    }
}

TEST(NwcDump, ReferenceFileHeaderFieldsLandInPlace) {
    const std::vector<std::string> cuthbert =
        lines(referencePartial("cuthbert_test1_v175.raw.nwc"));
    ASSERT_FALSE(cuthbert.empty()) << "reference files missing from tests/data/reference";
    EXPECT_EQ(cuthbert[1], "info title=\"Cuthbert NWC Test\" author=\"Michael Cuthbert\" "
                           "copyright1=\"Public Domain\" copyright2=\"\" comment=\"\"");
    EXPECT_NE(cuthbert[0].find(" version=1.75 user=\"N/A\""), std::string::npos);
    EXPECT_EQ(cuthbert[3].rfind("layout staff_mask=0F", 0), 0u);
    EXPECT_EQ(cuthbert[4], "font 1 \"Times New Roman\" style=3 size=7");
    EXPECT_EQ(cuthbert[16].rfind("staves count=4", 0), 0u);
    EXPECT_EQ(cuthbert[17].rfind("staff 1 name=\"Violino I.\" group=\"Standard\" final_bar=0 "
                                 "style=3 top_extent=18 objects=11",
                                 0),
              0u);
    EXPECT_EQ(cuthbert[18], "clef code=0");
    EXPECT_EQ(cuthbert[19], "timesig num=4 den=4 sym=none");

    const std::vector<std::string> jingle = lines(referencePartial("jingle_v175.raw.nwc"));
    ASSERT_GE(jingle.size(), 19u);
    EXPECT_NE(jingle[1].find("title=\"Jingle Bells\""), std::string::npos);
    EXPECT_EQ(jingle[16], "staves count=2");
    EXPECT_EQ(jingle[17].rfind("staff 1 name=\"Part 1\" group=\"Standard\" final_bar=0 style=1 "
                               "top_extent=16",
                               0),
              0u);
    EXPECT_EQ(jingle[18], "ERROR offset 537 (0x219): staff 1 has lyrics, which the dump cannot "
                          "follow");
}

} // namespace
} // namespace qm
