// quillmark.exe on Windows: UTF-16 command lines, the report and the exit statuses, and the
// same bytes on standard output as on other systems.
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "e2e/cli_fixture.hpp"

namespace {

using namespace qm::e2e;
using json = nlohmann::json;

class WindowsCommand : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        Logs = Root / "logs";
        fs::create_directory(Logs);
    }
    fs::path Logs;
};

TEST_F(WindowsCommand, NamesOutsideTheAnsiCodePageReachTheProgramAndTheLog) {
    const fs::path src = Root / utf8Path("Partituren \xc3\x84 \xe2\x99\xab \xe6\x9b\xb2"); // Ä ♫ 曲
    writeScore(src / utf8Path("\xce\xbb.nw"));                                             // λ.nw
    const Outcome outcome = run("convert " + quote(src) + " --log-dir " + quote(Logs));
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_TRUE(fs::exists(src / utf8Path("\xce\xbb.nwc")));
    // Standard output carries "\n" line ends and UTF-8, as on other systems.
    EXPECT_EQ(
        outcome.Out.rfind(shown(Logs / "Quillmark_0.log") + "\n*** 1 files were created. ***\n", 0),
        0u)
        << outcome.Out;
    EXPECT_EQ(readFile(Logs / "Quillmark_0.log")
                  .rfind("file:\\\\\\" + shown(src) + "\\\xce\xbb.nw\r\n", 0),
              0u);
}

TEST_F(WindowsCommand, ReportListsEveryEntryAndTheStatusSaysSomeWereNotConverted) {
    const fs::path src = Root / "src";
    writeScore(src / "a.nw");
    writeFile(src / "big.nw", "");
    fs::resize_file(src / "big.nw", 16 * 1024 * 1024 + 1);
    writeFile(src / "out.nwc.nw", "x");
    const fs::path report = Root / "report.jsonl";
    const Outcome outcome =
        run("convert " + quote(src) + " --log-dir " + quote(Logs) + " --report " + quote(report));
    ASSERT_EQ(outcome.Status, 3) << outcome.Err;

    std::map<std::string, json> bySource;
    json summary;
    std::istringstream lines(readFile(report));
    for (std::string line; std::getline(lines, line);) {
        ASSERT_FALSE(line.ends_with('\r'));
        const json object = json::parse(line);
        if (object.contains("summary"))
            summary = object;
        else
            bySource[object["source"].get<std::string>()] = object;
    }
    EXPECT_EQ(bySource[shown(src / "a.nw")]["status"], "converted");
    EXPECT_EQ(bySource[shown(src / "a.nw")]["outputs"][0], shown(src / "a.nwc"));
    EXPECT_EQ(bySource[shown(src / "big.nw")]["status"], "not-converted");
    EXPECT_EQ(bySource[shown(src / "out.nwc.nw")]["reason"], "the name holds \".nwc\", skipped");
    EXPECT_EQ(summary["summary"], "completed");
    EXPECT_EQ(summary["log"], shown(Logs / "Quillmark_0.log"));
    EXPECT_EQ(outcome.Err, "quillmark: not converted: " + shown(src / "big.nw") +
                               ": larger than 16 MiB (16777217 bytes), not an NW score\n"
                               "quillmark: 1 file could not be converted; see the log\n");
}

} // namespace
