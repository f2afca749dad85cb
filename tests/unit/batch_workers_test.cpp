#include <gtest/gtest.h>

#include "app/batch/workers.hpp"
#include "convert/pipeline.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

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
            test::RecordingMessages direct;
            EXPECT_EQ(done.Nwc, convertScore(scoreWithProblems(i), direct)) << i;
            test::RecordingMessages replayed;
            done.Messages.replay(replayed);
            EXPECT_EQ(replayed.lines, direct.lines) << i;
            EXPECT_EQ(replayed.plain, direct.plain) << i;
            EXPECT_FALSE(direct.lines.empty()) << i;
        }
        EXPECT_GE(workers.window(), 1u);
    }
}

} // namespace
} // namespace qm::batch
