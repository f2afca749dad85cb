// The MusicXML outputs from the command line: --format on a tree and the musicxml command.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "e2e/cli_fixture.hpp"
#include "support/musicxml.hpp"

namespace qm::e2e {
namespace {

std::set<std::string> namesIn(const fs::path &dir) {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// The log without its file's own name, which differs from run to run.
std::string logOf(const Outcome &outcome) {
    const std::string path = outcome.Out.substr(0, outcome.Out.find('\n'));
    return readFile(path);
}

std::vector<std::uint8_t> bytesOf(const fs::path &path) {
    const std::string text = readFile(path);
    return {text.begin(), text.end()};
}

// A score with a note no octave holds, which the MusicXML file has to leave out, and a breve,
// which the NWC writer reports in the log (whichever outputs are written).
constexpr const char *ScoreWithUnwritableNote = R"(header staves=1 version=200
stave y=1000 count=4
newstave x=10 y=1000
note x=40 y=1000 dur=3 pos=128 stem=0
note x=60 y=1000 dur=3 pos=0 stem=0
note x=80 y=1000 dur=0 pos=0 stem=0
)";

class MusicXmlCommand : public CliTest {};

TEST_F(MusicXmlCommand, FormatChoosesTheOutputsAndNeverChangesTheLog) {
    struct Case {
        const char *format; // empty: the default
        std::set<std::string> created;
    };
    const std::vector<Case> cases = {
        {"", {"a.nwc", "b.nwc"}},
        {"nwc", {"a.nwc", "b.nwc"}},
        {"musicxml", {"a_0.musicxml", "b.musicxml"}},
        {"nwc,musicxml", {"a.nwc", "a_0.musicxml", "b.nwc", "b.musicxml"}},
    };
    std::string firstLog;
    std::vector<std::uint8_t> firstNwc;
    for (const Case &c : cases) {
        const fs::path src = Root / (std::string("src-") + (*c.format ? c.format : "default"));
        fs::create_directories(src);
        writeScore(src / "a.nw", 6);
        const std::vector<std::uint8_t> b = nwtext::build(ScoreWithUnwritableNote);
        writeFile(src / "b.nw", std::string(b.begin(), b.end()));
        writeFile(src / "A.MusicXML", "taken, whatever its case");
        const std::string format = *c.format ? std::string(" --format ") + c.format : "";
        const Outcome outcome = run("convert " + quote(src) + " --log-dir " + quote(Root) + format);
        ASSERT_EQ(outcome.Status, 0) << c.format << outcome.Err;
        std::set<std::string> expected = c.created;
        expected.insert({"a.nw", "b.nw", "A.MusicXML"});
        EXPECT_EQ(namesIn(src), expected) << c.format;

        // The log is the same whichever outputs are written, as are the NWC bytes, but for
        // the MusicXML note under b.nw and the count of files created.
        const bool musicXml = c.created.count("b.musicxml") != 0;
        std::string log = logOf(outcome);
        const std::string note =
            "   1 element could not be expressed in MusicXML and was left out\r\n\r\n*** ";
        if (musicXml) {
            const std::size_t at = log.find(note);
            ASSERT_NE(at, std::string::npos) << log;
            log.erase(at, note.find("\r\n") + 2);
        }
        const std::string created = "*** " + std::to_string(c.created.size()) + " files were";
        ASSERT_NE(log.find(created), std::string::npos) << log;
        log.replace(log.find(created), created.size(), "*** 2 files were");
        const std::string srcText = src.string();
        for (std::size_t at; (at = log.find(srcText)) != std::string::npos;)
            log.replace(at, srcText.size(), "SRC");
        if (firstLog.empty()) {
            firstLog = log;
            firstNwc = bytesOf(src / "a.nwc");
        }
        EXPECT_EQ(log, firstLog) << c.format;
        EXPECT_NE(log.find("Error 1: NWC does not support breve notes"), std::string::npos) << log;
        if (fs::exists(src / "a.nwc")) EXPECT_EQ(bytesOf(src / "a.nwc"), firstNwc) << c.format;

        // Every MusicXML file is valid; the one that left a note out says so, once.
        for (const std::string &name : c.created) {
            if (name.find(".musicxml") == std::string::npos) continue;
            EXPECT_EQ(test::schemaProblems(bytesOf(src / name)), "") << name;
        }
        const std::string omission =
            (src / "b.musicxml").string() +
            ": 1 element could not be expressed in MusicXML and was left out\n";
        EXPECT_EQ(outcome.Err, musicXml ? "quillmark: " + omission : "") << c.format;
    }
}

TEST_F(MusicXmlCommand, OneFileBesideItselfToStdoutOrToANewFile) {
    writeScore(Root / "song.nw", 5);
    writeFile(Root / "song.musicxml", "already here");

    const Outcome beside = run("musicxml " + quote(Root / "song.nw"));
    ASSERT_EQ(beside.Status, 0) << beside.Err;
    EXPECT_EQ(beside.Out, (Root / "song_0.musicxml").string() + "\n");
    EXPECT_EQ(readFile(Root / "song.musicxml"), "already here");
    const std::vector<std::uint8_t> written = bytesOf(Root / "song_0.musicxml");
    EXPECT_EQ(test::schemaProblems(written), "");
    EXPECT_EQ(test::MusicXmlDoc(written).get("count(//note)"), "5");

    const Outcome toStdout = run("musicxml " + quote(Root / "song.nw") + " -o -");
    ASSERT_EQ(toStdout.Status, 0) << toStdout.Err;
    EXPECT_EQ(toStdout.Out, std::string(written.begin(), written.end()));

    const Outcome named =
        run("musicxml " + quote(Root / "song.nw") + " -o " + quote(Root / "out" / "x.musicxml"));
    EXPECT_EQ(named.Status, 1); // no such directory
    fs::create_directories(Root / "out");
    EXPECT_EQ(
        run("musicxml " + quote(Root / "song.nw") + " -o " + quote(Root / "out" / "x.musicxml"))
            .Status,
        0);
    EXPECT_EQ(bytesOf(Root / "out" / "x.musicxml"), written);
    const Outcome again =
        run("musicxml " + quote(Root / "song.nw") + " -o " + quote(Root / "out" / "x.musicxml"));
    EXPECT_EQ(again.Status, 1);
    EXPECT_NE(again.Err.find("not replaced"), std::string::npos) << again.Err;
    EXPECT_EQ(namesIn(Root / "out"), std::set<std::string>{"x.musicxml"});
}

} // namespace
} // namespace qm::e2e
