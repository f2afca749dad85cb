#include <gtest/gtest.h>

#include "app/batch/file_message_log.hpp"
#include "app/batch/naming.hpp"
#include "convert/pipeline.hpp"
#include "nwtext/nwtext.hpp"

namespace qm::batch {
namespace {

struct LogCapture {
    std::vector<std::string> lines;
    FileMessageLog::LineSink sink() {
        return [this](std::string_view line) { lines.emplace_back(line); };
    }
};

TEST(FileMessageLog, HeadingOnceThenIndentedMessages) {
    MessageCounts counts;
    LogCapture log;
    FileMessageLog messages("C:\\a\\b.nw", counts, log.sink());
    messages.reportError(43, "Unexpected end of file in first line");
    messages.reportWarning(7, "Possible loss of correct positioning of elements such as text");
    messages.logPlainLine("");
    EXPECT_EQ(
        log.lines,
        (std::vector<std::string>{
            "file:\\\\\\C:\\a\\b.nw", "   Error 43: Unexpected end of file in first line",
            "   Warning 7: Possible loss of correct positioning of elements such as text", ""}));
    EXPECT_EQ(counts.ErrorCount, 1);
    EXPECT_EQ(counts.WarningCount, 1);
    EXPECT_EQ(counts.ErrorFrequency[43], 1);
    EXPECT_EQ(counts.WarningFrequency[7], 1);
    EXPECT_EQ(counts.ErrorFrequency[7], 0);
}

TEST(FileMessageLog, CountsAcrossFilesAndLiveUpdates) {
    MessageCounts counts;
    LogCapture log;
    int updates = 0;
    {
        FileMessageLog first("/x/a.nw", counts, log.sink());
        first.onCountsChanged = [&](const MessageCounts &) { ++updates; };
        first.reportError(43, "one");
        first.reportError(43, "two");
    }
    FileMessageLog second("/x/b.nw", counts, log.sink());
    second.reportError(43, "three");
    EXPECT_EQ(counts.ErrorFrequency[43], 3);
    EXPECT_EQ(counts.ErrorCount, 3);
    EXPECT_EQ(counts.WarningCount, 0);
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                            [](const std::string &l) { return l.rfind("file:", 0) == 0; }),
              2);
}

TEST(FileMessageLog, PathsAreWholeAndMessageTextsAreCutAt255BeforeTheIndent) {
    MessageCounts counts;
    LogCapture log;
    FileMessageLog messages(std::string(300, 'p'), counts, log.sink());
    messages.reportError(61, std::string(250, 'x'));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], "file:\\\\\\" + std::string(300, 'p'));
    EXPECT_EQ(log.lines[1].size(), 3u + 255u);
    EXPECT_EQ(log.lines[1].substr(0, 13), "   Error 61: ");
    EXPECT_EQ(formatWarning(3, "Inserted a time signature 3/4"),
              "Warning 3: Inserted a time signature 3/4");
}

// No name can end a log line early, forge another line or send codes to a terminal.
TEST(FileMessageLog, ControlCharactersInNamesAreWrittenAsHex) {
    const std::pair<std::string, std::string> cases[] = {
        {"/d/a\nb.nw", "/d/a\\x0Ab.nw"},
        {"/d/\r\n*** 9 files were created. ***.nw",
         "/d/\\x0D\\x0A*** 9 files were created. ***.nw"},
        {"/d/\x1b[31mred.nw", "/d/\\x1B[31mred.nw"},
        {std::string("/d/\x01\x1f\x7f\x80\xff", 8) + ".nw", "/d/\\x01\\x1F\\x7F\x80\xff.nw"},
        {"/d/tab\there.nw", "/d/tab\\x09here.nw"},
    };
    for (const auto &[name, shown] : cases) {
        MessageCounts counts;
        LogCapture log;
        FileMessageLog messages(name, counts, log.sink());
        messages.logPlainLine("   Not converted: " + name + ": cannot read");
        ASSERT_EQ(log.lines.size(), 2u);
        EXPECT_EQ(log.lines[0], "file:\\\\\\" + shown);
        EXPECT_EQ(log.lines[1], "   Not converted: " + shown + ": cannot read");
        EXPECT_EQ(escapeControlChars(name), shown);
    }
}

// The pipeline's log lines: the heading and an empty line after reading and after writing.
std::vector<std::string> convertAndLog(const std::vector<std::uint8_t> &bytes) {
    MessageCounts counts;
    LogCapture log;
    FileMessageLog messages("/in/song.nw", counts, log.sink());
    (void)convertScore(bytes, messages);
    return log.lines;
}

TEST(Pipeline, CleanFileGetsHeadingAndTwoEmptyLines) {
    const auto bytes = nwtext::build("header staves=1 version=200\nstave y=1000 count=0\n");
    EXPECT_EQ(convertAndLog(bytes), (std::vector<std::string>{"file:\\\\\\/in/song.nw", "", ""}));
}

TEST(Pipeline, ShortAndEmptyFiles) {
    EXPECT_EQ(
        convertAndLog({1, 2, 3}),
        (std::vector<std::string>{"file:\\\\\\/in/song.nw",
                                  "   Error 43: Unexpected end of file in first line", "", ""}));
    EXPECT_EQ(convertAndLog({}).at(1), "   Error 43: Unexpected end of file in first line");
    const auto zeroStaves = nwtext::build("header staves=0 version=200");
    EXPECT_EQ(convertAndLog(zeroStaves).at(1), "   Error 67: File has wrong format or no staves");
}

} // namespace
} // namespace qm::batch
