// `quillmark convert` on temporary trees: the walk, the names, the log, and failures mid-run.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <map>

#include "e2e/cli_fixture.hpp"

namespace {

using namespace qm::e2e;

class ConvertCommand : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        Src = Root / "src";
        Logs = Root / "logs";
        fs::create_directory(Src);
        fs::create_directory(Logs);
    }

    Outcome convert(const std::string &prefix = "") {
        return run("convert " + quote(Src) + " --log-dir " + quote(Logs), prefix);
    }

    // The heading lines of a log, paths relative to the source directory with "/" between
    // their parts.
    std::vector<std::string> headings(const fs::path &log) {
        std::vector<std::string> result;
        std::istringstream lines(readFile(log));
        const char separator = shown("/").front();
        const std::string prefix = "file:\\\\\\" + shown(Src) + separator;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) != 0) continue;
            std::string path = line.substr(prefix.size(), line.size() - prefix.size() - 1);
            std::replace(path.begin(), path.end(), separator, '/');
            result.push_back(path);
        }
        return result;
    }

    bool leftoverTemporaries() {
        for (const auto &entry : fs::recursive_directory_iterator(Root))
            if (entry.path().filename().string().starts_with(".quillmark-")) return true;
        return false;
    }

    fs::path Src, Logs;
};

TEST_F(ConvertCommand, WalksDepthFirstFilesBeforeSubdirectoriesIgnoringCase) {
    writeScore(Src / "B.nw");
    writeScore(Src / "a.nw");
    writeScore(Src / "c.NW");
    writeScore(Src / "Zeta/z.nw");
    writeScore(Src / "alpha/m.nw");
    writeScore(Src / "alpha/deep/deeper/q.nw");
    writeScore(Src / "dir.nw/e.nw"); // a directory named like an input is walked, not read
#ifndef _WIN32
    fs::create_directory_symlink("..", Src / "alpha/loop");
    fs::create_directory_symlink("alpha", Src / "linked.nw");
    ASSERT_EQ(::mkfifo((Src / "fifo.nw").c_str(), 0644), 0);
#endif

    const Outcome outcome = convert();
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const fs::path log = Logs / "Quillmark_0.log";
    const std::vector<std::string> expected = {
        "a.nw", "B.nw", "c.NW", "alpha/m.nw", "alpha/deep/deeper/q.nw", "dir.nw/e.nw", "Zeta/z.nw"};
    EXPECT_EQ(headings(log), expected);
    EXPECT_TRUE(fs::exists(Src / "c.nwc"));
    EXPECT_TRUE(fs::exists(Src / "alpha/deep/deeper/q.nwc"));
    EXPECT_FALSE(fs::exists(Src / "dir.nwc"));
#ifndef _WIN32
    EXPECT_FALSE(fs::exists(Src / "fifo.nwc"));
    EXPECT_FALSE(fs::exists(Src / "linked.nwc"));
    EXPECT_TRUE(fs::is_fifo(Src / "fifo.nw"));
#endif
    EXPECT_EQ(outcome.Out.rfind(shown(log) + "\n*** 7 files were created. ***\n", 0), 0u)
        << outcome.Out;
}

TEST_F(ConvertCommand, ConvertsOnlyNwNames) {
    for (const char *name : {"song.NW", "song.nwc", "a.nw.nw", "a.nwc.nw", "x.nw.bak", "x.nwz"})
        writeScore(Src / name);
    const Outcome outcome = convert();
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_EQ(headings(Logs / "Quillmark_0.log"), std::vector<std::string>{"song.NW"});
    // song.nwc was there (in another case), so the output takes the next name.
    EXPECT_TRUE(fs::exists(Src / "song_0.nwc"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Src), fs::directory_iterator{}), 7);
}

TEST_F(ConvertCommand, SecondRunAddsNumberedOutputsAndANewLog) {
    writeScore(Src / "a.nw");
    writeFile(Src / "a.nwc", "keep");
    writeScore(Src / "b.NW");

    const Outcome first = convert();
    ASSERT_EQ(first.Status, 0) << first.Err;
    EXPECT_TRUE(fs::exists(Src / "a_0.nwc"));
    EXPECT_TRUE(fs::exists(Src / "b.nwc"));
    EXPECT_NE(first.Out.find("*** 2 files were created. ***"), std::string::npos);

    const Outcome second = convert();
    ASSERT_EQ(second.Status, 0) << second.Err;
    EXPECT_EQ(second.Out.substr(0, second.Out.find('\n')), shown(Logs / "Quillmark_1.log"));
    EXPECT_TRUE(fs::exists(Src / "a_1.nwc"));
    EXPECT_TRUE(fs::exists(Src / "b_0.nwc"));
    EXPECT_EQ(readFile(Src / "a.nwc"), "keep");
    EXPECT_EQ(readFile(Src / "a_0.nwc"), readFile(Src / "a_1.nwc"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Src), fs::directory_iterator{}), 7);
}

TEST_F(ConvertCommand, LogNameIsTheSmallestFreeNumber) {
    writeFile(Logs / "Quillmark_1.log", "old");
    EXPECT_EQ(convert().Status, 0);
    EXPECT_TRUE(fs::exists(Logs / "Quillmark_0.log"));
    EXPECT_EQ(convert().Status, 0);
    EXPECT_TRUE(fs::exists(Logs / "Quillmark_2.log"));
    EXPECT_EQ(readFile(Logs / "Quillmark_1.log"), "old");
}

TEST_F(ConvertCommand, SummaryListsEachCodeWithItsFrequency) {
    writeFile(Src / "a.nw", "abc");     // shorter than one record: error 43
    writeFile(Src / "b/c.nw", "short"); // error 43 again
    const std::vector<std::uint8_t> zero = qm::nwtext::build("header staves=0 version=200\n");
    writeFile(Src / "z.nw", std::string(zero.begin(), zero.end())); // error 67

    const Outcome outcome = convert();
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const std::string log = readFile(Logs / "Quillmark_0.log");
    const std::string tail = "*** 3 files were created. ***\r\n"
                             "*** Finished Updates with 3 errors and 0 warnings ***\r\n"
                             "The following errors types (and their frequencies) were reported:\r\n"
                             "43 (2), \r\n"
                             "67 (1), \r\n"
                             "\r\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    EXPECT_NE(log.find("file:\\\\\\" + shown(Src / "a.nw") +
                       "\r\n   Error 43: Unexpected end of file in first line\r\n"),
              std::string::npos);
}

TEST_F(ConvertCommand, EmptySourceGivesALogWithOnlyTheSummary) {
    const Outcome outcome = convert();
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_EQ(readFile(Logs / "Quillmark_0.log"),
              "*** 0 files were created. ***\r\n"
              "*** Finished Updates with 0 errors and 0 warnings ***\r\n");
    EXPECT_EQ(outcome.Out, shown(Logs / "Quillmark_0.log") +
                               "\n*** 0 files were created. ***\n"
                               "*** Finished Updates with 0 errors and 0 warnings ***\n");
}

#ifndef _WIN32
// Dangling links, file size limits and permissions, as POSIX systems have them.
TEST_F(ConvertCommand, UnreadableInputIsReportedAndTheRunGoesOn) {
    writeScore(Src / "a.nw");
    fs::create_symlink("nowhere.nw", Src / "b.nw");
    writeScore(Src / "c.nw");

    const Outcome outcome = convert();
    ASSERT_EQ(outcome.Status, 3) << outcome.Err;
    const std::string failure =
        (Src / "b.nw").string() + ": cannot read: No such file or directory";
    EXPECT_NE(outcome.Err.find(failure), std::string::npos) << outcome.Err;
    const std::string log = readFile(Logs / "Quillmark_0.log");
    EXPECT_NE(log.find("file:\\\\\\" + (Src / "b.nw").string() +
                       "\r\n   Not converted: " + failure + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(fs::exists(Src / "c.nwc"));
    EXPECT_FALSE(fs::exists(Src / "b.nwc"));
    EXPECT_NE(outcome.Out.find("*** 2 files were created. ***"), std::string::npos);
}

TEST_F(ConvertCommand, FailedWriteLeavesNoOutputAndTheRunGoesOn) {
    // A file size limit makes writes fail for the large score only, as a full disk would.
    writeScore(Src / "a.nw");
    writeScore(Src / "big.nw", 250);
    writeScore(Src / "c.nw");
    const Outcome outcome = convert("trap '' XFSZ; ulimit -f 4; ");
    ASSERT_EQ(outcome.Status, 3) << outcome.Err;
    EXPECT_NE(outcome.Err.find((Src / "big.nwc").string() + ": cannot write: File too large"),
              std::string::npos)
        << outcome.Err;
    EXPECT_TRUE(fs::exists(Src / "a.nwc"));
    EXPECT_TRUE(fs::exists(Src / "c.nwc"));
    EXPECT_FALSE(fs::exists(Src / "big.nwc"));
    EXPECT_FALSE(leftoverTemporaries());
    EXPECT_NE(readFile(Logs / "Quillmark_0.log").find("*** 2 files were created. ***\r\n"),
              std::string::npos);
}

// An output a worker cannot write (the MusicXML file, over a size limit the NWC file stays
// under) is reported under its own name; a score gets all its outputs or none, and neither a
// partial nor a temporary file is left.
TEST_F(ConvertCommand, FailedMusicXmlWriteOnAWorkerLeavesNoOutputOfTheScore) {
    writeScore(Src / "a.nw", 40);
    const Outcome outcome = run("convert " + quote(Src) + " --log-dir " + quote(Logs) +
                                    " --format nwc,musicxml --jobs 2",
                                "trap '' XFSZ; ulimit -f 4; ");
    ASSERT_EQ(outcome.Status, 3) << outcome.Err;
    EXPECT_NE(outcome.Err.find((Src / "a.musicxml").string() + ": cannot write: File too large"),
              std::string::npos)
        << outcome.Err;
    EXPECT_FALSE(fs::exists(Src / "a.nwc"));
    EXPECT_FALSE(fs::exists(Src / "a.musicxml"));
    EXPECT_FALSE(leftoverTemporaries());
}

TEST_F(ConvertCommand, UnwritableLogStopsWithStatusOne) {
    writeScore(Src / "a.nw");
    const Outcome outcome = convert("trap '' XFSZ; ulimit -f 0; ");
    EXPECT_EQ(outcome.Status, 1);
    EXPECT_NE(outcome.Err.find("cannot write the log file " + (Logs / "Quillmark_0.log").string()),
              std::string::npos)
        << outcome.Err;
    EXPECT_FALSE(fs::exists(Src / "a.nwc"));
    EXPECT_FALSE(leftoverTemporaries());
}

TEST_F(ConvertCommand, PermissionsRefusedMidRunAreReportedAndTheRunGoesOn) {
    writeScore(Src / "a/one.nw");
    writeScore(Src / "b/two.nw");
    writeScore(Src / "c/three.nw");
    writeScore(Src / "c/secret.nw");
    writeScore(Src / "d/hidden.nw");
    openToEveryone();
    fs::permissions(Src / "b", fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(Src / "c/secret.nw", fs::perms::none);
    fs::permissions(Src / "d", fs::perms::none);

    const Outcome outcome =
        run("convert " + quote(Src) + " --log-dir " + quote(Logs), "", "/dev/null", AsNobody);
    ASSERT_EQ(outcome.Status, 3) << outcome.Err;
    EXPECT_NE(outcome.Err.find((Src / "b/two.nwc").string() + ": cannot write: Permission denied"),
              std::string::npos)
        << outcome.Err;
    EXPECT_NE(outcome.Err.find((Src / "c/secret.nw").string() + ": cannot read: Permission denied"),
              std::string::npos)
        << outcome.Err;
    // Directories are counted apart from files.
    EXPECT_NE(outcome.Err.find("quillmark: 2 files could not be converted; see the log\n"
                               "quillmark: 1 directory could not be read; see the log\n"),
              std::string::npos)
        << outcome.Err;
    EXPECT_NE(readFile(Logs / "Quillmark_0.log")
                  .find("   Not converted: " + (Src / "d").string() +
                        ": cannot read the directory: Permission denied\r\n"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(Src / "a/one.nwc"));
    EXPECT_TRUE(fs::exists(Src / "c/three.nwc"));
    EXPECT_NE(outcome.Out.find("*** 2 files were created. ***"), std::string::npos);
}

#endif

TEST_F(ConvertCommand, SingleFileConvertsBesideItself) {
    writeScore(Src / "one.nw");
    writeScore(Src / "two.nw");
    const std::string arguments =
        "convert " + quote(Src / "one.nw") + " --log-dir " + quote(Logs) + " --quiet";
    ASSERT_EQ(run(arguments).Status, 0);
    ASSERT_EQ(run(arguments).Status, 0);
    EXPECT_TRUE(fs::exists(Src / "one.nwc"));
    EXPECT_TRUE(fs::exists(Src / "one_0.nwc"));
    EXPECT_FALSE(fs::exists(Src / "two.nwc"));
    EXPECT_EQ(headings(Logs / "Quillmark_1.log"), std::vector<std::string>{"one.nw"});
}

TEST_F(ConvertCommand, BadUsageExitsWithTwoAndWritesNothing) {
    writeFile(Src / "notes.txt", "x");
    EXPECT_EQ(run("convert " + quote(Root / "missing") + " --log-dir " + quote(Logs)).Status, 2);
    EXPECT_EQ(run("convert " + quote(Src / "notes.txt") + " --log-dir " + quote(Logs)).Status, 2);
    EXPECT_EQ(run("convert " + quote(Src) + " --log-dir " + quote(Root / "nologs")).Status, 2);
    EXPECT_EQ(run("convert").Status, 2);
    EXPECT_EQ(run("convert " + quote(Src) + " --frobnicate").Status, 2);
    EXPECT_EQ(run("").Status, 2);
    EXPECT_TRUE(fs::is_empty(Logs));
    const Outcome help = run("--help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("convert"), std::string::npos);
    const Outcome version = run("--version");
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("quillmark ", 0), 0u);
}

} // namespace

namespace {

// Every file of a tree, relative path to contents.
std::map<std::string, std::string> treeContents(const fs::path &root) {
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
    return files;
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), to), at += to.size();
    return text;
}

} // namespace

// Converting on several threads gives the log and the files of a run that converts one file
// after the other: messages in walk order, the same names, the same bytes.
TEST_F(ConvertCommand, SeveralJobsGiveTheSameLogAndFilesAsOne) {
    for (int i = 0; i < 40; ++i) {
        const fs::path dir = Src / (i % 3 == 0 ? "" : "sub" + std::to_string(i % 3));
        if (i % 4 == 0) {
            // Garbage: stave and element numbers that do not match, unknown kinds, short records.
            std::string bytes(37 + 13 * i, '\0');
            for (std::size_t b = 0; b < bytes.size(); ++b)
                bytes[b] = static_cast<char>((b * 7 + static_cast<std::size_t>(i) * 31) % 251);
            bytes[0] = 2;
            writeFile(dir / ("g" + std::to_string(i) + ".nw"), bytes);
        } else {
            writeScore(dir / ("s" + std::to_string(i) + ".nw"), 1 + i % 9);
        }
    }
    writeFile(Src / "s3.nwc", "taken");      // its output moves on to s3_0.nwc
    writeFile(Src / "S6.MusicXML", "taken"); // and this one to s6_0.musicxml
    writeFile(Src / "big.nw", "");
    fs::resize_file(Src / "big.nw", 16 * 1024 * 1024 + 1);
    const fs::path other = Root / "other";
    fs::copy(Src, other, fs::copy_options::recursive);

    const std::string options = " --quiet --format nwc,musicxml --jobs ";
    const Outcome one = run("convert " + quote(Src) + " --log-dir " + quote(Logs) + options + "1");
    const Outcome four =
        run("convert " + quote(other) + " --log-dir " + quote(Logs) + options + "4");
    ASSERT_EQ(one.Status, 3) << one.Err; // big.nw is not converted
    ASSERT_EQ(four.Status, 3) << four.Err;

    const std::string logOne = readFile(Logs / "Quillmark_0.log");
    const std::string logFour = readFile(Logs / "Quillmark_1.log");
    EXPECT_NE(logOne.find("   Error 3"), std::string::npos) << "the tree should produce messages";
    EXPECT_NE(logOne.find("Not converted"), std::string::npos);
    EXPECT_EQ(replaceAll(logFour, shown(other), shown(Src)), logOne);
    EXPECT_EQ(treeContents(other), treeContents(Src));
    EXPECT_TRUE(fs::exists(Src / "s3_0.nwc"));
    EXPECT_TRUE(fs::exists(Src / "s6_0.musicxml"));
}
