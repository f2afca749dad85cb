// The batch run on Windows: names compared the way Windows compares them, paths beyond the
// old 260-character limit, UTF-8 names in the log, backslashes in its headings.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/batch/files.hpp"
#include "app/batch/log_file.hpp"
#include "app/batch/run.hpp"
#include "nwtext/nwtext.hpp"
#include "support/temp_tree.hpp"

namespace qm::batch {
namespace {

namespace fs = std::filesystem;
using test::shown;
using test::utf8Path;

class WindowsRun : public ::testing::Test {
protected:
    void SetUp() override {
        Root = test::makeTempTree("qm-windows-");
        fs::create_directory(Root / "src");
        fs::create_directory(Root / "logs");
    }
    void TearDown() override { test::removeTree(Root); }

    static void writeFile(const fs::path &path, const std::string &bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static void writeScore(const fs::path &path) {
        const std::vector<std::uint8_t> bytes = nwtext::build("header staves=1 version=200\n"
                                                              "stave y=1000 count=2\n"
                                                              "newstave x=10 y=1000\n"
                                                              "note x=100 y=1000 dur=3 pos=0\n");
        writeFile(path, std::string(bytes.begin(), bytes.end()));
    }
    static std::string readFile(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    RunResult run() { return runBatch({Root / "src", Root / "logs"}); }

    fs::path Root;
};

// Windows file systems take "Ä" and "ä" for one letter, not only A to Z.
TEST(WindowsNames, CaseBlindKeysFollowTheSystemsUpperCasing) {
    const struct {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"song.nwc", "SONG.NWC", true},
        {"\xc3\x84ria.nwc", "\xc3\xa4RIA.nwc", true},           // Äria, äRIA
        {"\xce\xa3\xce\xbf.nwc", "\xcf\x83\xce\xbf.NWC", true}, // Σο, σο
        {"stra\xc3\x9f"
         "e.nwc",
         "strasse.nwc", false}, // ß is not "ss" to a file system
        {"a_0.nwc", "a_1.nwc", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fileNameKey(c.a) == fileNameKey(c.b), c.same) << c.a << " / " << c.b;
}

TEST_F(WindowsRun, OutputNameSkipsNamesTakenInAnyCase) {
    const struct {
        const char *existing, *input, *output;
    } cases[] = {
        {"SONG.NWC", "song.nw", "song_0.nwc"},
        {"\xc3\x84ria.nwc", "\xc3\xa4ria.nw", "\xc3\xa4ria_0.nwc"}, // Äria.nwc, äria.nw
        {"x_0.NWC", "X.nw", "X.nwc"},
    };
    for (const auto &c : cases) {
        writeFile(Root / "src" / utf8Path(c.existing), "keep");
        writeScore(Root / "src" / utf8Path(c.input));
    }
    const RunResult result = run();
    EXPECT_EQ(result.FilesCreated, 3);
    for (const auto &c : cases) {
        EXPECT_TRUE(fs::exists(Root / "src" / utf8Path(c.output))) << c.output;
        EXPECT_EQ(readFile(Root / "src" / utf8Path(c.existing)), "keep");
    }
}

TEST_F(WindowsRun, LogNameTakenInAnotherCaseIsNotReplaced) {
    writeFile(Root / "logs/quillmark_0.log", "old");
    EXPECT_EQ(LogFile::create(Root / "logs").path(), Root / "logs/Quillmark_1.log");
    EXPECT_EQ(readFile(Root / "logs/quillmark_0.log"), "old");
}

TEST_F(WindowsRun, NamesReachTheLogAsUtf8UnderBackslashedHeadings) {
    const std::string name = "\xc3\x9c"
                             "ber \xe2\x99\xab \xe6\x9b\xb2.nw"; // Über ♫ 曲.nw
    writeScore(Root / "src" / utf8Path(name));
    const RunResult result = run();
    EXPECT_EQ(result.FilesCreated, 1);
    EXPECT_TRUE(fs::exists(Root / "src" /
                           utf8Path("\xc3\x9c"
                                    "ber \xe2\x99\xab \xe6\x9b\xb2.nwc")));
    const std::string heading = "file:\\\\\\" + shown(Root) + "\\src\\" + name + "\r\n";
    EXPECT_EQ(readFile(result.LogPath).rfind(heading, 0), 0u) << readFile(result.LogPath);
}

// What a killed run left goes; what a running process is writing stays.
TEST_F(WindowsRun, TemporaryFilesOfGoneRunsAreRemovedAndOthersKept) {
    const platform::ProcessIdentity self = platform::currentProcess();
    const platform::ProcessIdentity earlier{self.Pid, self.StartTime - 1}; // the id, reused
    const platform::ProcessIdentity gone{0xFFFFFFF0u, 1};                  // no such process
    const std::string kept = temporaryFileName(self, 1);
    for (const std::string &name :
         {kept, temporaryFileName(earlier, 2), temporaryFileName(gone, 3)})
        writeFile(Root / "src" / name, "x");
    run();
    EXPECT_EQ(std::distance(fs::directory_iterator(Root / "src"), fs::directory_iterator{}), 1);
    EXPECT_TRUE(fs::exists(Root / "src" / kept));
}

TEST_F(WindowsRun, TreesBeyondThePathLimitAreWalked) {
    // 15 levels of 200-character names: 3,000 characters, far past MAX_PATH (Wine, which maps
    // them onto a POSIX system, stops at 4,096 bytes).
    std::wstring deep = L"\\\\?\\" + (Root / "src").make_preferred().native();
    for (int depth = 0; depth < 15; ++depth) {
        deep += L"\\" + std::wstring(200, L'd');
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << ::GetLastError();
    }
    writeScore(deep + L"\\deep.nw");

    const RunResult result = run();
    EXPECT_TRUE(result.IoFailures.empty());
    EXPECT_EQ(result.FilesCreated, 1);
    EXPECT_GT(fs::file_size(deep + L"\\deep.nwc"), 0u);
    // The heading names the whole path.
    std::string path = shown(Root / "src");
    for (int depth = 0; depth < 15; ++depth)
        path += "\\" + std::string(200, 'd');
    const std::string log = readFile(result.LogPath);
    EXPECT_EQ(log.substr(0, log.find('\r')), "file:\\\\\\" + path + "\\deep.nw");
}

} // namespace
} // namespace qm::batch
