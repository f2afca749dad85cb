// `quillmark convert` where things go wrong: hostile names, a vanished current directory, a
// full log directory, leftovers of killed runs, junk inputs, failed flushes, signals; and what
// the run tells scripts (report, exit status) and people (progress).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <random>
#include <regex>

#include "app/batch/naming.hpp"
#include "app/batch/platform.hpp"
#include "e2e/cli_fixture.hpp"

namespace {

using namespace qm::e2e;
using json = nlohmann::json;

class ConvertFailures : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        Src = Root / "src";
        Logs = Root / "logs";
        fs::create_directory(Src);
        fs::create_directory(Logs);
    }

    std::string convertArgs() { return "convert " + quote(Src) + " --log-dir " + quote(Logs); }

    // Runs a bash script; its stdout and stderr come back.
    Outcome shell(const std::string &script) {
        const fs::path out = Root / "shell-out.txt";
        const fs::path err = Root / "shell-err.txt";
        const int status = std::system(("bash -c " + shellQuote(script) + " >" + quote(out) +
                                        " 2>" + quote(err) + " </dev/null")
                                           .c_str());
        Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }

    std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        std::istringstream in(readFile(Logs / "Quillmark_0.log"));
        for (std::string line; std::getline(in, line, '\n');) {
            EXPECT_TRUE(!line.empty() && line.back() == '\r') << "a bare LF in the log";
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    std::vector<fs::path> filesEndingIn(const std::string &suffix) {
        std::vector<fs::path> found;
        for (const auto &entry : fs::recursive_directory_iterator(Src))
            if (entry.path().filename().string().ends_with(suffix)) found.push_back(entry.path());
        return found;
    }

    // The shim comes before a sanitizer's runtime in the library list; that is fine here.
    std::string preload() {
        return "export LD_PRELOAD=" + shellQuote(QUILLMARK_FAULT_SHIM) +
               " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\"; ";
    }

    fs::path Src, Logs;
};

TEST_F(ConvertFailures, NamesCannotForgeLogLinesOrReachTheTerminalRaw) {
    writeScore(Src / "a\n*** 9 files were created. ***.nw");
    fs::create_symlink("nowhere", Src / "b\x1b[2J\r.nw");
    const Outcome outcome = run(convertArgs());
    EXPECT_EQ(outcome.Status, 3) << outcome.Err;

    const std::vector<std::string> lines = logLines();
    std::vector<std::string> starred;
    for (const std::string &line : lines)
        if (line.starts_with("***")) starred.push_back(line);
    EXPECT_EQ(starred,
              (std::vector<std::string>{"*** 1 files were created. ***",
                                        "*** Finished Updates with 1 errors and 0 warnings ***"}));
    EXPECT_EQ(lines.front(),
              "file:\\\\\\" + Src.string() + "/a\\x0A*** 9 files were created. ***.nw");
    const std::string shownB = Src.string() + "/b\\x1B[2J\\x0D.nw";
    EXPECT_NE(std::find(lines.begin(), lines.end(), "file:\\\\\\" + shownB), lines.end());
    EXPECT_NE(outcome.Err.find("not converted: " + shownB + ": cannot read"), std::string::npos)
        << outcome.Err;
    EXPECT_EQ(outcome.Err.find_first_of("\x1b\r"), std::string::npos);
}

TEST_F(ConvertFailures, VanishedCurrentDirectoryStopsWithStatusOneAndNoLog) {
    writeScore(Src / "a.nw");
    const fs::path gone = Root / "gone";
    const std::string leave =
        "mkdir " + quote(gone) + " && cd " + quote(gone) + " && rmdir " + quote(gone) + " && ";
    for (const std::string &arguments :
         {"convert . --log-dir " + quote(Logs), "convert " + quote(Src)}) {
        const Outcome outcome = run(arguments, leave);
        EXPECT_EQ(outcome.Status, 1) << arguments << "\n" << outcome.Err;
        EXPECT_EQ(outcome.Err.rfind("quillmark: ", 0), 0u) << outcome.Err;
        EXPECT_NE(outcome.Err.find("No such file or directory"), std::string::npos) << outcome.Err;
    }
    EXPECT_TRUE(fs::is_empty(Logs));
    EXPECT_FALSE(fs::exists(Src / "a.nwc"));
}

// The log directory is a tiny file system, full before the run starts.
TEST_F(ConvertFailures, FullLogDirectoryStopsBeforeAnyOutputAndLeavesNoEmptyLog) {
    writeScore(Src / "a.nw");
    writeScore(Src / "b.nw");
    const Outcome outcome =
        shell("unshare -m --propagation private bash -c '"
              "mount -t tmpfs -o size=32k tmpfs \"$1\" || exit 99; cat /dev/zero >\"$1/fill\"; "
              "\"$2\" convert \"$3\" --log-dir \"$1\"; echo \"status=$?\"; ls -A \"$1\"' _ " +
              quote(Logs) + " " + shellQuote(QUILLMARK_BIN) + " " + quote(Src));
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_EQ(outcome.Out, "status=1\nfill\n");
    EXPECT_NE(outcome.Err.find("No space left on device; stopped before writing the output of " +
                               (Src / "a.nw").string()),
              std::string::npos)
        << outcome.Err;
    EXPECT_TRUE(filesEndingIn(".nwc").empty());
    EXPECT_TRUE(filesEndingIn(".tmp").empty());
}

// A run holds a lock on each of its temporary files, and only a free lock proves one dead: a
// locked file stays even when its process id names no process here (a run in another PID
// namespace, or on another machine of a network file system); an unlocked one goes, whatever
// its name says.
TEST_F(ConvertFailures, TemporaryFilesAreRemovedOnlyWhenNoRunHoldsThem) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0); // its id now names no process
    const qm::batch::platform::ProcessIdentity self = qm::batch::platform::currentProcess();
    const qm::batch::platform::ProcessIdentity gone{static_cast<std::uint64_t>(child),
                                                    self.StartTime};
    const std::string goneName = qm::batch::temporaryFileName(gone, 1);
    const std::string unlockedOwnName = qm::batch::temporaryFileName(self, 2);
    const std::string heldName = qm::batch::temporaryFileName(gone, 3);
    const std::string foreign = ".quillmark-0123456789abcdef.tmp";
    std::vector<int> locks;
    for (const fs::path dir : {Src, Src / "sub"}) {
        for (const std::string &name : {goneName, unlockedOwnName, heldName, foreign})
            writeFile(dir / name, "x");
        locks.push_back(::open((dir / heldName).c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
    }
    writeScore(Src / "a.nw");
    // Outputs through temporary files as well: the run's own are locked, named and gone.
    const Outcome outcome =
        run(convertArgs() + " --jobs 2", preload() + "export QM_NO_TMPFILE=1; ");
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    for (const fs::path dir : {Src, Src / "sub"}) {
        EXPECT_FALSE(fs::exists(dir / goneName));
        EXPECT_FALSE(fs::exists(dir / unlockedOwnName));
        EXPECT_TRUE(fs::exists(dir / heldName));
        EXPECT_TRUE(fs::exists(dir / foreign));
    }
    EXPECT_TRUE(fs::exists(Src / "a.nwc"));
    EXPECT_EQ(filesEndingIn(".tmp").size(), 4u);
    for (const int fd : locks)
        ::close(fd);
}

// Inputs that are no scores at all build the largest models; many jobs must not multiply that.
TEST_F(ConvertFailures, JunkInputsAtManyJobsStayWithinTheMemoryBound) {
    std::mt19937_64 random(16);
    std::string junk(16u * 1024u * 1024u, '\0');
    for (int file = 0; file < 5; ++file) {
        for (std::size_t i = 0; i < junk.size(); i += 8) {
            const std::uint64_t word = random();
            std::memcpy(junk.data() + i, &word, 8);
        }
        writeFile(Src / ("junk" + std::to_string(file) + ".nw"), junk);
    }
    const fs::path peak = Root / "peak.txt";
    const Outcome outcome = run(convertArgs() + " --jobs 64", "", "/dev/null",
                                "/usr/bin/time -f %M -o " + quote(peak) + " ");
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const long peakKb = std::stol(readFile(peak));
    EXPECT_LT(peakKb, 400 * 1000) << "peak resident memory in KB";

    // A junk file shows its first 10,000 messages and one line for the rest.
    const std::vector<std::string> lines = logLines();
    const std::regex more(R"(   \.\.\. [0-9]+ more messages for this file not shown)");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string &line) { return std::regex_match(line, more); }),
              5);
    EXPECT_LT(lines.size(), 5u * 10100u);
}

// A score at the format's limits: 255 staves of 255 records, in a 128-stave first system and
// 127 one-stave systems, which the conversion fills up to 128 staves each (a model of about
// 100 MB from 1.4 MB).
std::string limitScoreText() {
    std::ostringstream text;
    text << "header staves=255 version=200\n";
    for (int stave = 1; stave <= 255; ++stave)
        text << "stave y=" << 1000 + 100 * stave << " count=255 join=" << (stave < 128 ? 1 : 0)
             << "\n";
    for (int stave = 1; stave <= 255; ++stave) {
        const int y = 1000 + 100 * stave;
        text << "newstave x=10 y=" << y << "\n";
        for (int record = 1, x = 40; record < 255; ++record, x += 20) {
            if (record % 5 == 0)
                text << "bar x=" << x << " y=" << y << "\n";
            else
                text << "note x=" << x << " y=" << y << " dur=3 pos=0\n";
        }
    }
    return text.str();
}

// Many jobs hold about what one does: each conversion's model is counted as it grows, with
// what its writers will hold, and the heaps give freed memory back.
TEST_F(ConvertFailures, LargeScoresAtManyJobsHoldAboutWhatOneJobHolds) {
    const std::vector<std::uint8_t> score = qm::nwtext::build(limitScoreText());
    for (int i = 0; i < 4; ++i)
        writeFile(Src / ("s" + std::to_string(i) + ".nw"), std::string(score.begin(), score.end()));
    const auto peakKb = [&](int jobs) {
        const fs::path peak = Root / "peak.txt";
        const Outcome outcome = run(convertArgs() + " --quiet --jobs " + std::to_string(jobs), "",
                                    "/dev/null", "/usr/bin/time -f %M -o " + quote(peak) + " ");
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        return std::stol(readFile(peak));
    };
    const long one = peakKb(1);
    EXPECT_GT(one, 50 * 1000) << "not a score at the limits";
    EXPECT_LT(peakKb(4), one * 3 / 2) << one << " KB at --jobs 1";
}

TEST_F(ConvertFailures, FailedFlushToDiskLeavesTheLogWithoutSummary) {
    writeScore(Src / "a.nw");
    const Outcome outcome = run(convertArgs(), preload() + "export QM_SYNCFS_ERRNO=5; ");
    EXPECT_EQ(outcome.Status, 1);
    EXPECT_NE(outcome.Err.find("the outputs could not be put on the disk: Input/output error"),
              std::string::npos)
        << outcome.Err;
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "*** Run stopped: the outputs could not be put on the disk: Input/output error ***");
    EXPECT_EQ(readFile(Logs / "Quillmark_0.log").find("files were created"), std::string::npos);
}

// Each input takes a while to open, so the signal comes in the middle of the run.
TEST_F(ConvertFailures, SignalsStopAfterTheFileInHand) {
    for (const auto &[signal, status] : {std::pair{"INT", 130}, std::pair{"TERM", 143}}) {
        fs::remove_all(Src);
        fs::remove_all(Logs);
        fs::create_directory(Logs);
        for (int i = 0; i < 30; ++i)
            writeScore(Src / ("s" + std::to_string(100 + i) + ".nw"));
        const fs::path log = Logs / "Quillmark_0.log";
        const Outcome outcome =
            shell(preload() + "export QM_SLOW_OPEN_MS=100; " + shellQuote(QUILLMARK_BIN) + " " +
                  convertArgs() + " --jobs 2 & pid=$!; for i in $(seq 500); do grep -q file: " +
                  quote(log) + " 2>/dev/null && break; sleep 0.02; done; kill -" + signal +
                  " $pid; wait $pid; echo $?");
        EXPECT_TRUE(outcome.Out.ends_with("\n" + std::to_string(status) + "\n"))
            << signal << outcome.Out << outcome.Err;

        const std::vector<std::string> lines = logLines();
        ASSERT_FALSE(lines.empty());
        std::smatch match;
        const std::regex last(R"(\*\*\* Run interrupted after ([0-9]+) files? \*\*\*)");
        ASSERT_TRUE(std::regex_match(lines.back(), match, last)) << lines.back();
        const std::size_t done = std::stoul(match[1]);
        const auto headings = static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(),
                          [](const std::string &l) { return l.starts_with("file:"); }));
        EXPECT_GE(done, 1u);
        EXPECT_LT(done, 30u);
        EXPECT_EQ(headings, done);
        EXPECT_EQ(filesEndingIn(".nwc").size(), done);
        EXPECT_TRUE(filesEndingIn(".tmp").empty());
        EXPECT_NE(outcome.Err.find("Run interrupted after " + std::to_string(done) +
                                   (done == 1 ? " file " : " files ")),
                  std::string::npos)
            << outcome.Err;
    }
}

TEST_F(ConvertFailures, ReportHasOneLineForEveryEntryMetAndASummary) {
    writeScore(Src / "a.nw");
    writeFile(Src / "short.nw", "abc");
    fs::create_symlink("nowhere", Src / "gone.nw");
    ASSERT_EQ(::mkfifo((Src / "fifo.nw").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (Src / "sock.nw").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(sock);
    writeFile(Src / "twice.nw.nw", "x");
    writeFile(Src / "out.nwc.nw", "x");
    writeFile(Src / "notes.txt", "x");
    writeScore(Src / "sub/c.nw");
    const std::string longName = std::string(252, 'x') + ".nw"; // its output's name is too long
    writeScore(Src / longName);

    const fs::path report = Root / "report.jsonl";
    const Outcome outcome = run(convertArgs() + " --report " + quote(report));
    ASSERT_EQ(outcome.Status, 3) << outcome.Err;
    std::map<std::string, json> bySource;
    json summary;
    std::istringstream lines(readFile(report));
    for (std::string line; std::getline(lines, line);) {
        const json object = json::parse(line);
        if (object.contains("summary"))
            summary = object;
        else
            bySource[fs::path(object["source"].get<std::string>()).filename().string()] = object;
    }
    struct Expected {
        std::string name, status, reason;
        int errors;
    };
    const Expected expected[] = {
        {"a.nw", "converted", "", 1}, // error 3: a time signature inserted
        {"fifo.nw", "skipped", "not a regular file, skipped", 0},
        {"gone.nw", "not-converted", "cannot read: No such file or directory", 0},
        {"out.nwc.nw", "skipped", "the name holds \".nwc\", skipped", 0},
        {"short.nw", "converted", "", 1},
        {"sock.nw", "skipped", "not a regular file, skipped", 0},
        {"twice.nw.nw", "skipped", "the name holds \".nw\" more than once, skipped", 0},
        {"c.nw", "converted", "", 1},
        {longName, "not-converted", "cannot write: File name too long", 1},
    };
    EXPECT_EQ(bySource.size(), std::size(expected));
    for (const Expected &e : expected) {
        const json &object = bySource[e.name];
        EXPECT_EQ(object["status"], e.status) << e.name;
        EXPECT_EQ(object["reason"], e.reason.empty() ? json(nullptr) : json(e.reason)) << e.name;
        EXPECT_EQ(object["errors"], e.errors) << e.name;
        EXPECT_EQ(object["outputs"].size(), e.status == "converted" ? 1u : 0u) << e.name;
    }
    EXPECT_EQ(bySource["short.nw"]["codes"], json::parse(R"({"43": 1})"));
    EXPECT_EQ(bySource["c.nw"]["outputs"][0], (Src / "sub/c.nwc").string());
    EXPECT_EQ(summary["summary"], "completed");
    EXPECT_EQ(summary["converted"], 3);
    EXPECT_EQ(summary["not-converted"], 2);
    EXPECT_EQ(summary["skipped"], 4);
    EXPECT_EQ(summary["errors"], 4);

    // To standard output: nothing but the report there.
    const Outcome toStdout = run(convertArgs() + " --report -");
    std::istringstream out(toStdout.Out);
    int objects = 0;
    for (std::string line; std::getline(out, line); ++objects)
        EXPECT_TRUE(json::accept(line)) << line;
    EXPECT_EQ(objects, 10);
}

TEST_F(ConvertFailures, ProgressOnATerminalAndSilenceWhenQuiet) {
    writeScore(Src / "a.nw");
    writeScore(Src / "b.nw");
    writeFile(Src / "c.nw", "abc");
    const Outcome terminal =
        shell("script -qec " + shellQuote(std::string(QUILLMARK_BIN) + " " + convertArgs()) +
              " /dev/null");
    EXPECT_NE(terminal.Out.find("3/3 files, 3 errors, 0 warnings, ETA 0:00\r\n"), std::string::npos)
        << terminal.Out;

    fs::create_symlink("nowhere", Src / "d.nw");
    const Outcome quiet = run(convertArgs() + " --quiet");
    EXPECT_EQ(quiet.Status, 3);
    EXPECT_EQ(quiet.Out, "");
    EXPECT_EQ(quiet.Err, "quillmark: not converted: " + (Src / "d.nw").string() +
                             ": cannot read: No such file or directory\n"
                             "quillmark: 1 file could not be converted; see the log\n");
}

TEST_F(ConvertFailures, UsageMessagesSayWhatIsWrong) {
    const std::pair<std::string, std::string> cases[] = {
        {convertArgs() + "/missing", "does not exist"},
        {"convert " + quote(Src / "missing"), "does not exist"},
        {convertArgs() + " --jobs abc", "not a number"},
        {convertArgs() + " --jobs 65", "must be between 1 and 64"},
    };
    for (const auto &[arguments, message] : cases) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.Status, 2) << arguments;
        EXPECT_NE(outcome.Err.find(message), std::string::npos) << arguments << outcome.Err;
    }
    EXPECT_TRUE(fs::is_empty(Logs));
}

// Neither the report nor `nw build -o` replaces a file; a pipe or a device takes a report.
TEST_F(ConvertFailures, ExistingFilesAreNeverReplaced) {
    writeScore(Src / "a.nw");
    const std::string score = readFile(Src / "a.nw");
    const Outcome overScore = run(convertArgs() + " --report " + quote(Src / "a.nw"));
    EXPECT_EQ(overScore.Status, 2);
    EXPECT_EQ(overScore.Err,
              "quillmark: the report " + (Src / "a.nw").string() + " exists; not replaced\n");
    EXPECT_EQ(readFile(Src / "a.nw"), score);
    EXPECT_TRUE(fs::is_empty(Logs));
    EXPECT_FALSE(fs::exists(Src / "a.nwc"));
    EXPECT_EQ(run(convertArgs() + " --report /dev/null").Status, 0);

    writeFile(Root / "t.nwt", scoreText(2));
    writeFile(Root / "x.nw", "mine");
    const Outcome build = run("nw build " + quote(Root / "t.nwt") + " -o " + quote(Root / "x.nw"));
    EXPECT_EQ(build.Status, 1);
    EXPECT_NE(build.Err.find("exists; not replaced"), std::string::npos) << build.Err;
    EXPECT_EQ(readFile(Root / "x.nw"), "mine");
    EXPECT_EQ(run("nw build " + quote(Root / "t.nwt") + " -o " + quote(Root / "y.nw")).Status, 0);
    EXPECT_EQ(readFile(Root / "y.nw"), score);
}

// A report that cannot be written fails the run like a log that cannot be written.
TEST_F(ConvertFailures, ReportThatCannotBeWrittenStopsTheRun) {
    writeScore(Src / "a.nw");
    const Outcome outcome = run(convertArgs() + " --report /dev/full");
    EXPECT_EQ(outcome.Status, 1);
    const std::string reason = "cannot write the report /dev/full: No space left on device";
    EXPECT_NE(outcome.Err.find("quillmark: " + reason), std::string::npos) << outcome.Err;
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "*** Run stopped: " + reason + " ***");
    EXPECT_EQ(readFile(Logs / "Quillmark_0.log").find("files were created"), std::string::npos);
}

// With both formats: a score gets both outputs or none; every file created is counted; names
// that are not UTF-8 keep their exact bytes in the report; what MusicXML left out is in the log
// and the report, and --quiet keeps it off stderr.
TEST_F(ConvertFailures, BothFormatsReportEveryFileTruly) {
    writeScore(Src / "a.nw");
    const std::string longStem(247, 'x'); // its ".musicxml" name is too long, its ".nwc" not
    writeScore(Src / (longStem + ".nw"));
    writeScore(Src / "a\xff.nw");
    writeScore(Src / "a\xfe.nw");
    writeFile(Src / "b.nw", [] {
        const std::vector<std::uint8_t> bytes = qm::nwtext::build(
            "header staves=1 version=200\nstave y=1000 count=3\nnewstave x=10 y=1000 clef=0\n"
            "note x=100 y=1000 dur=3 pos=128\nnote x=130 y=1000 dur=3 pos=0\n");
        return std::string(bytes.begin(), bytes.end());
    }());
    const fs::path report = Root / "report.jsonl";
    const Outcome outcome =
        run(convertArgs() + " --quiet --format nwc,musicxml --report " + quote(report));
    ASSERT_EQ(outcome.Status, 3);
    const std::string longMusicXml = (Src / (longStem + ".musicxml")).string();
    EXPECT_EQ(outcome.Err, "quillmark: not converted: " + longMusicXml +
                               ": cannot write: File name too long\n"
                               "quillmark: 1 file could not be converted; see the log\n");

    std::map<std::string, json> byBytes;
    json summary;
    std::istringstream lines(readFile(report));
    for (std::string line; std::getline(lines, line);) {
        const json object = json::parse(line);
        if (object.contains("summary"))
            summary = object;
        else
            byBytes[object["source_bytes"].get<std::string>()] = object;
    }
    const std::string dir = Src.string() + "/";
    ASSERT_EQ(byBytes.size(), 5u);
    const json &longOne = byBytes[dir + longStem + ".nw"];
    EXPECT_EQ(longOne["status"], "not-converted");
    EXPECT_EQ(longOne["outputs"], json::array());
    EXPECT_FALSE(fs::exists(Src / (longStem + ".nwc")));
    for (const char *hex : {"FF", "FE"}) {
        const json &odd = byBytes[dir + "a%" + hex + ".nw"];
        EXPECT_EQ(odd["source"], dir + "a\xef\xbf\xbd.nw");
        EXPECT_EQ(odd["outputs_bytes"],
                  json::array({dir + "a%" + hex + ".nwc", dir + "a%" + hex + ".musicxml"}));
    }
    EXPECT_EQ(byBytes[dir + "b.nw"]["musicxml_left_out"], 1);
    EXPECT_EQ(byBytes[dir + "a.nw"]["musicxml_left_out"], 0);
    EXPECT_EQ(summary["files_created"], 8);
    const std::vector<std::string> log = logLines();
    const auto heading = std::find(log.begin(), log.end(), "file:\\\\\\" + dir + "b.nw");
    ASSERT_NE(heading, log.end());
    EXPECT_NE(std::find(heading, log.end(),
                        "   1 element could not be expressed in MusicXML and was left out"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "*** 8 files were created. ***"), log.end());

    // NWC alone counts as it always did: one file per score.
    const Outcome nwcOnly = run(convertArgs() + " --quiet --report -");
    EXPECT_EQ(nwcOnly.Status, 0) << nwcOnly.Err;
    EXPECT_NE(nwcOnly.Out.find("\"converted\":5,\"not-converted\":0,\"skipped\":0,"
                               "\"files_created\":5"),
              std::string::npos)
        << nwcOnly.Out;
}

// Run as root: an output is never more readable than its input (whether written as an unnamed
// file or through a temporary one), and a user's link to a file of another owner is not
// followed.
TEST_F(ConvertFailures, AsRootOutputsKeepTheirInputsPermissions) {
    ASSERT_EQ(::geteuid(), 0u) << "CI runs as root";
    const passwd *nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const std::pair<const char *, fs::perms> modes[] = {
        {"private.nw", fs::perms(0600)},
        {"group.nw", fs::perms(0640)},
        {"open.nw", fs::perms(0644)},
        {"readonly.nw", fs::perms(0444)},
    };
    writeScore(Root / "secret.nw");
    fs::permissions(Root / "secret.nw", fs::perms(0600));
    for (const std::string &setUp : {std::string(), preload() + "export QM_NO_TMPFILE=1; "}) {
        fs::remove_all(Src);
        fs::create_directory(Src);
        for (const auto &[name, mode] : modes) {
            writeScore(Src / name);
            fs::permissions(Src / name, mode);
        }
        fs::create_symlink(Root / "secret.nw", Src / "peek.nw");
        ASSERT_EQ(::lchown((Src / "peek.nw").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        fs::create_symlink(Root / "secret.nw", Src / "own.nw"); // root's link to root's file
        const Outcome outcome =
            run(convertArgs() + " --format nwc,musicxml --report -", setUp + "umask 022; ");
        EXPECT_EQ(outcome.Status, 0) << outcome.Err;
        for (const auto &[name, mode] : modes)
            for (const char *extension : {".nwc", ".musicxml"}) {
                const fs::path output = Src / fs::path(name).replace_extension(extension);
                EXPECT_EQ(fs::status(output).permissions(), mode) << output << setUp;
            }
        EXPECT_FALSE(fs::exists(Src / "peek.nwc")) << setUp;
        EXPECT_NE(outcome.Out.find("\"a link to another owner's file, not followed when run as "
                                   "root, skipped\""),
                  std::string::npos)
            << outcome.Out;
        EXPECT_EQ(fs::status(Src / "own.nwc").permissions(), fs::perms(0600)) << setUp;
    }
}

// "jump/../x.nw", jump a link to other/sub: the kernel reads other/x.nw, and that is what the
// log and the report name, with the output really written beside it.
TEST_F(ConvertFailures, SourceThroughALinkAndUpIsNamedAsTheKernelReachesIt) {
    writeScore(Root / "other/x.nw", 3);
    writeFile(Root / "other/x.nwc", "taken");
    fs::create_directories(Root / "other/sub");
    writeScore(Src / "x.nw", 2);
    fs::create_symlink(Root / "other/sub", Src / "jump");
    const Outcome outcome =
        run("convert " + quote(Src / "jump/../x.nw") + " --log-dir " + quote(Logs) + " --report -");
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    const json line = json::parse(outcome.Out.substr(0, outcome.Out.find('\n')));
    EXPECT_EQ(line["source"], (Root / "other/x.nw").string());
    EXPECT_EQ(line["outputs"], json::array({(Root / "other/x_0.nwc").string()}));
    EXPECT_TRUE(fs::exists(Root / "other/x_0.nwc"));
    EXPECT_FALSE(fs::exists(Src / "x.nwc"));
    EXPECT_EQ(logLines().front(), "file:\\\\\\" + (Root / "other/x.nw").string());
}

} // namespace
