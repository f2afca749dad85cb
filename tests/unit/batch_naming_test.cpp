#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/batch/naming.hpp"
#include "app/batch/summary.hpp"
#include "support/recording_messages.hpp"

namespace qm::batch {
namespace {

TEST(BatchNaming, AcceptsOnlyNamesEndingInOneNwWithoutNwc) {
    struct Case {
        const char *name;
        bool accepted;
    };
    const Case cases[] = {
        {"song.nw", true},   {"song.NW", true},   {"Song.Nw", true},  {".nw", true},
        {"a.b.nw", true},    {"song.nwc", false}, {"a.nw.nw", false}, {"a.nwc.nw", false},
        {"x.nw.bak", false}, {"x.nwz", false},    {"nw", false},      {"", false},
        {"songnw", false},   {"a.NWC.nw", false}, {"x.nwnw", false},  {"a.nw ", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(okFileName(c.name), c.accepted) << c.name;
}

TEST(BatchNaming, OutputNameSkipsTakenNamesWithoutRegardToCase) {
    test::RecordingMessages messages;
    TakenNames taken;
    EXPECT_EQ(addSubscript("Song.nw", taken, messages), "Song.nwc");
    EXPECT_EQ(addSubscript("b.NW", taken, messages), "b.nwc");

    taken.add("SONG.NWC");
    EXPECT_EQ(addSubscript("Song.nw", taken, messages), "Song_0.nwc");
    taken.add("song_0.nwc");
    taken.add("Song_1.NWC");
    EXPECT_EQ(addSubscript("Song.nw", taken, messages), "Song_2.nwc");
    // A hole in the sequence is filled first.
    taken.add("x.nwc");
    taken.add("x_1.nwc");
    EXPECT_EQ(addSubscript("x.nw", taken, messages), "x_0.nwc");
    EXPECT_TRUE(messages.lines.empty());
}

TEST(BatchNaming, NameWithoutThreeLetterExtensionIsError45AndKept) {
    test::RecordingMessages messages;
    TakenNames taken;
    taken.add("abcde");
    EXPECT_EQ(makeUnique("abcde", taken, messages), "abcde");
    EXPECT_EQ(makeUnique("ab", taken, messages), "ab");
    EXPECT_EQ(messages.errors(45), 2);
    EXPECT_TRUE(messages.has("Error 45: Unexpected file type inabcde"));
    EXPECT_TRUE(messages.has("Error 45: Unexpected file type inab"));
}

TEST(BatchNaming, DirectoryOrderIgnoresCaseAndIsTotal) {
    std::vector<std::string> names = {"b.nw", "A.nw", "a.nw", "C.nw", "a_b.nw", "ab.nw", "Ab.nw"};
    std::sort(names.begin(), names.end(), CaseBlindLess{});
    const std::vector<std::string> expected = {"A.nw",  "a.nw", "a_b.nw", "Ab.nw",
                                               "ab.nw", "b.nw", "C.nw"};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(CaseBlindLess{}("a.nw", "a.nw"));
}

TEST(BatchSummary, CleanRunHasOnlyTheTwoTotalLines) {
    const MessageCounts counts;
    const std::vector<std::string> expected = {
        "*** 0 files were created. ***", "*** Finished Updates with 0 errors and 0 warnings ***"};
    EXPECT_EQ(summaryLines(0, counts), expected);
}

TEST(BatchSummary, FrequencyLinesInCodeOrderForErrorsAndWarnings) {
    MessageCounts counts;
    counts.ErrorCount = 3;
    counts.ErrorFrequency[67] = 1;
    counts.ErrorFrequency[43] = 2;
    counts.WarningCount = 4;
    counts.WarningFrequency[8] = 3;
    counts.WarningFrequency[1] = 1;
    const std::vector<std::string> expected = {
        "*** 3 files were created. ***",
        "*** Finished Updates with 3 errors and 4 warnings ***",
        "The following errors types (and their frequencies) were reported:",
        "43 (2), ",
        "67 (1), ",
        "",
        "The following warning types (and their numbers) were reported:",
        "1 (1), ",
        "8 (3), ",
        ""};
    EXPECT_EQ(summaryLines(3, counts), expected);
}

TEST(BatchSummary, WarningsOnlyHaveNoErrorsHeading) {
    MessageCounts counts;
    counts.WarningCount = 1;
    counts.WarningFrequency[6] = 1;
    const std::vector<std::string> lines = summaryLines(1, counts);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "The following warning types (and their numbers) were reported:");
    EXPECT_EQ(lines[3], "6 (1), ");
}

} // namespace
} // namespace qm::batch
