#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/batch/log_file.hpp"
#include "app/batch/run.hpp"
#include "app/batch/summary.hpp"
#include "nwtext/nwtext.hpp"
#include "support/temp_tree.hpp"

namespace qm::batch {
namespace {

namespace fs = std::filesystem;
using test::shown;

const char *const OneStave = "header staves=1 version=200\n"
                             "stave y=1000 count=3\n"
                             "newstave x=10 y=1000\n"
                             "note x=100 y=1000 dur=3 pos=0 stem=0\n"
                             "rest x=140 y=1000 dur=3\n";

class BatchRun : public ::testing::Test {
protected:
    void SetUp() override {
        Root = test::makeTempTree("qm-batch-");
        fs::create_directory(Root / "src");
        fs::create_directory(Root / "logs");
    }
#ifdef _WIN32
    void TearDown() override { test::removeTree(Root); }
#else
    // rm copes with trees deeper than the path limit, which remove_all does not.
    void TearDown() override { std::system(("rm -rf '" + Root.string() + "'").c_str()); }
#endif

    void writeFile(const fs::path &path, const std::string &bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void writeScore(const fs::path &path) {
        const std::vector<std::uint8_t> bytes = nwtext::build(OneStave);
        writeFile(path, std::string(bytes.begin(), bytes.end()));
    }
    static std::string readFile(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::vector<std::string> namesIn(const fs::path &dir) {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    RunResult run(RunObserver *observer = nullptr) {
        return runBatch({Root / "src", Root / "logs"}, observer);
    }

    fs::path Root;
};

// Records what a window would show, and can act when a given file starts.
class RecordingObserver : public RunObserver {
public:
    void onLogCreated(const fs::path &logPath) override { LogPath = logPath; }
    void onProgress(const RunProgress &progress) override {
        Progress.push_back(progress);
        if (!progress.CurrentFile.empty() && progress.CurrentFile != LastFile && OnFileStart)
            OnFileStart(progress.CurrentFile);
        LastFile = progress.CurrentFile;
    }
    void onIoFailure(const IoFailure &failure) override { Failures.push_back(failure); }

    std::function<void(const std::string &)> OnFileStart;
    fs::path LogPath;
    std::string LastFile;
    std::vector<RunProgress> Progress;
    std::vector<IoFailure> Failures;
};

TEST_F(BatchRun, ObserverSeesLogFileCountsAndSummary) {
    writeScore(Root / "src/a.nw");
    writeFile(Root / "src/short.nw", "abc"); // error 43
    RecordingObserver observer;
    const RunResult result = run(&observer);

    EXPECT_EQ(observer.LogPath, Root / "logs/Quillmark_0.log");
    EXPECT_EQ(result.LogPath, observer.LogPath);
    EXPECT_EQ(result.FilesCreated, 2);
    EXPECT_EQ(result.Counts.ErrorFrequency[43], 1);
    ASSERT_FALSE(observer.Progress.empty());
    const RunProgress &last = observer.Progress.back();
    EXPECT_EQ(last.FilesCreated, 2);
    EXPECT_EQ(last.ErrorCount, result.Counts.ErrorCount);
    EXPECT_EQ(last.WarningCount, result.Counts.WarningCount);
    EXPECT_TRUE(last.CurrentFile.empty());
    // The file being converted is named while its counts rise.
    const bool sawShort =
        std::any_of(observer.Progress.begin(), observer.Progress.end(), [&](const RunProgress &p) {
            return p.CurrentFile == shown(Root / "src/short.nw") && p.ErrorCount > 0;
        });
    EXPECT_TRUE(sawShort);
    EXPECT_EQ(result.SummaryLines.front(), "*** 2 files were created. ***");
    EXPECT_TRUE(result.IoFailures.empty());
}

TEST_F(BatchRun, NameTakenWhileRunningIsNeitherOverwrittenNorReused) {
    writeScore(Root / "src/a.nw");
    RecordingObserver observer;
    // Another program creates a.nwc after the directory was listed.
    observer.OnFileStart = [&](const std::string &) { writeFile(Root / "src/a.nwc", "mine"); };
    const RunResult result = run(&observer);

    EXPECT_EQ(result.FilesCreated, 1);
    EXPECT_EQ(readFile(Root / "src/a.nwc"), "mine");
    EXPECT_GT(fs::file_size(Root / "src/a_0.nwc"), 0u);
    const std::vector<std::string> expected = {"a.nw", "a.nwc", "a_0.nwc"};
    EXPECT_EQ(namesIn(Root / "src"), expected);
}

TEST_F(BatchRun, RefusedFilesLeaveNoOutputAndTheRunGoesOn) {
    // 255 is the longest name the file system takes, so the output cannot be given its name.
    const std::string longName = std::string(252, 'x') + ".nw";
    writeScore(Root / "src" / longName);
    writeFile(Root / "src/big.nw", "x");
    fs::resize_file(Root / "src/big.nw", 16 * 1024 * 1024 + 1);
    writeScore(Root / "src/z.nw");
    RecordingObserver observer;
    const RunResult result = run(&observer);

    EXPECT_EQ(result.FilesCreated, 1);
    ASSERT_EQ(result.IoFailures.size(), 2u);
    EXPECT_EQ(result.IoFailures[0].Path, Root / "src/big.nw");
    EXPECT_NE(result.IoFailures[0].Reason.find("larger than 16 MiB"), std::string::npos);
    EXPECT_EQ(result.IoFailures[1].Path, Root / "src" / (std::string(252, 'x') + ".nwc"));
#ifdef _WIN32
    // Windows words this fault differently from one version (or Wine) to the next.
    EXPECT_TRUE(result.IoFailures[1].Reason.starts_with("cannot write: "));
#else
    EXPECT_EQ(result.IoFailures[1].Reason, "cannot write: File name too long");
#endif
    EXPECT_EQ(observer.Failures.size(), 2u);
    const std::vector<std::string> expected = {"big.nw", longName, "z.nw", "z.nwc"};
    EXPECT_EQ(namesIn(Root / "src"), expected);

    const std::string log = readFile(result.LogPath);
    EXPECT_NE(log.find("file:\\\\\\" + shown(Root / "src/big.nw") +
                       "\r\n   Not converted: " + shown(Root / "src/big.nw") +
                       ": larger than 16 MiB (16777217 bytes), not an NW score\r\n"),
              std::string::npos);
#ifndef _WIN32
    EXPECT_NE(log.find("\r\n   Not converted: " +
                       (Root / "src" / (std::string(252, 'x') + ".nwc")).string() +
                       ": cannot write: File name too long\r\n"),
              std::string::npos);
#endif
    EXPECT_NE(log.find("*** 1 files were created. ***\r\n"), std::string::npos);
}

TEST_F(BatchRun, UnusableSourceOrLogDirectoryWritesNothing) {
    writeFile(Root / "src/notes.txt", "x");
    EXPECT_THROW(runBatch({Root / "missing", Root / "logs"}), SourceError);
    EXPECT_THROW(runBatch({Root / "src/notes.txt", Root / "logs"}), SourceError);
    EXPECT_THROW(runBatch({Root / "src", Root / "nologs"}), SourceError);
    EXPECT_THROW(runBatch({Root / "src", Root / "src/notes.txt"}), SourceError);
    EXPECT_TRUE(namesIn(Root / "logs").empty());
}

TEST_F(BatchRun, SingleFileConvertsBesideItselfWithItsOwnLog) {
    writeScore(Root / "src/one.nw");
    writeScore(Root / "src/other.nw");
    const RunResult first = runBatch({Root / "src/one.nw", Root / "logs"});
    const RunResult second = runBatch({Root / "src/one.nw", Root / "logs"});
    EXPECT_EQ(first.FilesCreated, 1);
    EXPECT_EQ(first.LogPath, Root / "logs/Quillmark_0.log");
    EXPECT_EQ(second.LogPath, Root / "logs/Quillmark_1.log");
    const std::vector<std::string> expected = {"one.nw", "one.nwc", "one_0.nwc", "other.nw"};
    EXPECT_EQ(namesIn(Root / "src"), expected);
    EXPECT_EQ(readFile(Root / "src/one.nwc"), readFile(Root / "src/one_0.nwc"));
    EXPECT_EQ(readFile(first.LogPath).rfind("file:\\\\\\" + shown(Root / "src/one.nw") + "\r\n", 0),
              0u);
}

#ifndef _WIN32
// Windows compares names without regard to case: see batch_windows_test.cpp.
TEST_F(BatchRun, LogTakesTheSmallestFreeNumberComparingCaseExactly) {
    writeFile(Root / "logs/Quillmark_1.log", "");
    writeFile(Root / "logs/quillmark_0.log", "");
    EXPECT_EQ(LogFile::create(Root / "logs").path(), Root / "logs/Quillmark_0.log");
    EXPECT_EQ(LogFile::create(Root / "logs").path(), Root / "logs/Quillmark_2.log");
    fs::create_directory(Root / "logs/Quillmark_3.log");
    EXPECT_EQ(LogFile::create(Root / "logs").path(), Root / "logs/Quillmark_4.log");
    EXPECT_EQ(readFile(Root / "logs/Quillmark_1.log"), "");
}

TEST_F(BatchRun, TreesDeeperThanThePathLimitAreWalked) {
    // 30 levels of 200-character names: about 6,000 characters, beyond what open() takes.
    const std::string level(200, 'd');
    int dirFd = ::open((Root / "src").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    for (int depth = 0; depth < 30; ++depth) {
        ASSERT_EQ(::mkdirat(dirFd, level.c_str(), 0755), 0);
        const int child = ::openat(dirFd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(dirFd);
        ASSERT_GE(child, 0);
        dirFd = child;
    }
    const std::vector<std::uint8_t> score = nwtext::build(OneStave);
    const int file = ::openat(dirFd, "deep.nw", O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, score.data(), score.size()), static_cast<ssize_t>(score.size()));
    ::close(file);

    const RunResult result = run();
    struct stat info {};
    const int found = ::fstatat(dirFd, "deep.nwc", &info, 0);
    ::close(dirFd);
    EXPECT_TRUE(result.IoFailures.empty());
    EXPECT_EQ(result.FilesCreated, 1);
    EXPECT_EQ(found, 0);
    EXPECT_GT(info.st_size, 0);
    // The heading names the whole path.
    std::string path = (Root / "src").string();
    for (int depth = 0; depth < 30; ++depth)
        path += "/" + level;
    const std::string log = readFile(result.LogPath);
    EXPECT_EQ(log.substr(0, log.find('\r')), "file:\\\\\\" + path + "/deep.nw");

    // The walk holds a handle per level: a soft limit on open files below the depth is raised
    // to the hard limit rather than failing the deep file.
    EXPECT_EXIT(
        {
            struct rlimit limit {};
            ::getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = 16;
            ::setrlimit(RLIMIT_NOFILE, &limit);
            const RunResult again = run();
            std::exit(again.FilesCreated == 1 && again.IoFailures.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(BatchRun, LogLinesEndInCrLf) {
    LogFile log = LogFile::create(Root / "logs");
    log.writeLine("one");
    log.writeLine("");
    log.writeLine("three");
    log.close();
    EXPECT_EQ(readFile(log.path()), "one\r\n\r\nthree\r\n");
}

// The time left at the pace so far, from the clock's own ticks: half a second for one file of
// eleven leaves five seconds, not 0:00.
TEST(RunProgressText, RemainingTimeAndCounts) {
    using std::chrono::milliseconds;
    const struct {
        milliseconds Elapsed;
        std::int64_t Done, Total, Seconds;
    } cases[] = {
        {milliseconds(500), 1, 11, 5},   {milliseconds(1900), 2, 4, 2},
        {milliseconds(2500), 10, 12, 1}, {milliseconds(0), 0, 10, 0},
        {milliseconds(800), 5, 5, 0},    {milliseconds(800), 7, 5, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(remainingTime(c.Elapsed, c.Done, c.Total).count(), c.Seconds)
            << c.Elapsed.count() << " ms, " << c.Done << "/" << c.Total;
    EXPECT_EQ(countOf(1, "file", "files"), "1 file");
    EXPECT_EQ(countOf(0, "file", "files"), "0 files");
    EXPECT_EQ(countOf(2, "directory", "directories"), "2 directories");
    EXPECT_EQ(musicXmlLoss(1), "1 element could not be expressed in MusicXML and was left out");
    EXPECT_EQ(musicXmlLoss(3), "3 elements could not be expressed in MusicXML and were left out");
}

} // namespace
} // namespace qm::batch
