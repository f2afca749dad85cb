#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/batch/workers.hpp"
#include "convert/pipeline.hpp"
#include "nwtext/nwtext.hpp"

namespace qm::batch {
namespace {

std::vector<std::uint8_t> scoreWithProblems(int i) {
    std::string text =
        "header staves=1 version=150\nstave y=1000 count=" + std::to_string(i + 2) + "\n";
    for (int n = 0; n < i + 1; ++n)
        text += "note x=" + std::to_string(20 * n) + " y=1000 dur=" + std::to_string(n % 9) +
                " beam_to=" + std::to_string(n % 4) + "\n";
    return nwtext::build(text); // the last element record is missing: the file ends early
}

// Each result, taken in the order of submission, is what converting on this thread gives,
// messages included, whatever the number of threads.
TEST(ConversionWorkers, ResultsMatchConvertingOneAfterTheOther) {
    for (unsigned threads : {0u, 1u, 3u}) {
        ConversionWorkers workers(threads);
        std::vector<std::future<Conversion>> results;
        for (int i = 0; i < 30; ++i)
            results.push_back(workers.submit(scoreWithProblems(i)));
        for (int i = 0; i < 30; ++i) {
            Conversion done = results[static_cast<std::size_t>(i)].get();
            ASSERT_FALSE(done.Failure);
            MessageCounts directCounts, replayedCounts;
            std::vector<std::string> direct, replayed;
            FileMessageLog directLog("a.nw", directCounts,
                                     [&](std::string_view line) { direct.emplace_back(line); });
            EXPECT_EQ(done.Nwc, convertScore(scoreWithProblems(i), directLog)) << i;
            FileMessageLog replayedLog("a.nw", replayedCounts,
                                       [&](std::string_view line) { replayed.emplace_back(line); });
            done.Messages.replay(replayedLog);
            EXPECT_EQ(replayed, direct) << i;
            EXPECT_GT(direct.size(), 3u) << i;
        }
        EXPECT_GE(workers.window(), 1u);
    }
}

// A file that reports without end shows its first messages, one line for the rest, and still
// counts every one of them; plain lines after the cut are kept.
TEST(RecordedMessages, ShowsTheFirstMessagesAndCountsTheRest) {
    RecordedMessages recorded;
    for (int i = 0; i < MaxShownMessages + 5; ++i)
        recorded.reportError(i % 2 == 0 ? 65 : 39, "e" + std::to_string(i));
    recorded.reportWarning(6, "w");
    recorded.logPlainLine("");
    MessageCounts counts;
    std::vector<std::string> lines;
    FileMessageLog log("junk.nw", counts, [&](std::string_view line) { lines.emplace_back(line); });
    recorded.replay(log);

    ASSERT_EQ(lines.size(), 1u + MaxShownMessages + 2u);
    EXPECT_EQ(lines[MaxShownMessages], "   Error 39: e9999");
    EXPECT_EQ(lines[MaxShownMessages + 1], "   ... 6 more messages for this file not shown");
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(counts.ErrorCount, MaxShownMessages + 5);
    EXPECT_EQ(counts.ErrorFrequency[65] + counts.ErrorFrequency[39], MaxShownMessages + 5);
    EXPECT_EQ(counts.ErrorFrequency[65], (MaxShownMessages + 5 + 1) / 2);
    EXPECT_EQ(counts.WarningFrequency[6], 1);
    EXPECT_EQ(log.fileCounts().ErrorCount, counts.ErrorCount);
}

// The oldest conversion running never waits, however much it holds; a younger one waits while
// growing would pass the limit, and goes on once the oldest ends.
TEST(MemoryGate, YoungerConversionsWaitWhileTheOldestHoldsTooMuch) {
    MemoryGate gate(100);
    auto oldest = std::make_unique<MemoryGate::Share>(gate, 10);
    MemoryGate::Share younger(gate, 10);
    oldest->grow(200);
    EXPECT_EQ(gate.held(), 220u);
    std::atomic<bool> grown{false};
    std::thread growing([&] {
        younger.grow(50);
        grown = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(grown);
    oldest.reset();
    growing.join();
    EXPECT_TRUE(grown);
    EXPECT_EQ(gate.held(), 60u);
}

} // namespace
} // namespace qm::batch
