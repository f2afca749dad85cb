#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/batch/files.hpp"

namespace qm::batch {
namespace {

namespace fs = std::filesystem;

class PendingOutputTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("quillmark-pending-" + std::to_string(std::random_device{}()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        int error = 0;
        Opened = Directory::open(Dir, error);
        ASSERT_TRUE(Opened.valid()) << systemReason(error);
    }
    void TearDown() override {
        Opened = Directory(); // Windows keeps an open directory from being removed
        fs::remove_all(Dir);
    }

    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto &entry : fs::directory_iterator(Dir))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    std::string contents(const std::string &name) const {
        std::ifstream in(Dir / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path Dir;
    Directory Opened;
    TemporaryNames Names;
    const std::vector<std::uint8_t> Bytes{'n', 'w', 'c', 0, 1};
};

// Both ways of holding an unpublished output: an unnamed file and a hidden temporary file
// (Windows has only the second).
#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(TemporaryFile, PendingOutputTest, ::testing::Values(false));
#else
INSTANTIATE_TEST_SUITE_P(BothWays, PendingOutputTest, ::testing::Values(true, false));
#endif

TEST_P(PendingOutputTest, NothingIsVisibleUntilPublished) {
    PendingOutput output(GetParam());
    ASSERT_EQ(output.write(Opened, Bytes, Names), 0);
    if (GetParam()) {
        EXPECT_TRUE(names().empty());
    } else {
        // The hidden file names this process, so a later run can tell it from a live run's.
        ASSERT_EQ(names().size(), 1u);
        EXPECT_EQ(temporaryFileOwner(names()[0]), platform::currentProcess());
    }
    ASSERT_EQ(output.publish("a.nwc"), 0);
    EXPECT_EQ(names(), std::vector<std::string>{"a.nwc"});
    EXPECT_EQ(contents("a.nwc"), std::string("nwc\0\1", 5));
}

TEST_P(PendingOutputTest, PublishingNeverReplacesAFile) {
    std::ofstream(Dir / "a.nwc") << "mine";
    PendingOutput output(GetParam());
    ASSERT_EQ(output.write(Opened, Bytes, Names), 0);
    EXPECT_TRUE(isAlreadyExists(output.publish("a.nwc")));
    EXPECT_EQ(contents("a.nwc"), "mine");
    ASSERT_EQ(output.publish("a_0.nwc"), 0); // the written file is kept for another name
    EXPECT_EQ(contents("a_0.nwc"), std::string("nwc\0\1", 5));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.nwc", "a_0.nwc"}));
}

TEST_P(PendingOutputTest, DiscardedOutputLeavesNothing) {
    {
        PendingOutput output(GetParam());
        ASSERT_EQ(output.write(Opened, Bytes, Names), 0);
        const int error = output.publish(std::string(300, 'x') + ".nwc");
        EXPECT_NE(error, 0);
        EXPECT_FALSE(isAlreadyExists(error)) << systemReason(error);
    } // destroyed without being published
    EXPECT_TRUE(names().empty());
}

#ifndef _WIN32
// A temporary file is kept while the run that made it holds it, though its process id names no
// process here (another PID namespace, another machine); one whose run is gone is removed.
TEST(TemporaryFiles, KeptWhileTheirRunHoldsThemWhateverTheirProcessId) {
    const fs::path dir =
        fs::temp_directory_path() / ("quillmark-held-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    int error = 0;
    Directory opened = Directory::open(dir, error);
    const platform::ProcessIdentity nowhere{0xFFFFFFF0u, 1};
    TemporaryNames elsewhere(nowhere);
    const auto removeLeftovers = [&] {
        DirectoryListing listing;
        EXPECT_EQ(listDirectory(opened, listing), 0);
        return removeLeftoverTemporaries(opened, listing.Files);
    };
    {
        PendingOutput output(false);
        ASSERT_EQ(output.write(opened, std::vector<std::uint8_t>{1, 2, 3}, elsewhere), 0);
        EXPECT_EQ(removeLeftovers(), 0);
        EXPECT_EQ(output.publish("a.nwc"), 0);
    }
    std::ofstream(dir / temporaryFileName(nowhere, 7)) << "left by a killed run";
    EXPECT_EQ(removeLeftovers(), 1);
    std::vector<std::string> left;
    for (const auto &entry : fs::directory_iterator(dir))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"a.nwc"});
    opened = Directory();
    fs::remove_all(dir);
}
#endif

// Only names of exactly the temporary form name an owner: anything else is never removed.
TEST(TemporaryFileNames, OwnerIsReadBackOnlyFromTheExactForm) {
    const platform::ProcessIdentity owner{4242, 987654321};
    EXPECT_EQ(temporaryFileOwner(temporaryFileName(owner, 0xfedcba9876543210u)), owner);
    EXPECT_EQ(temporaryFileName(owner, 1), ".quillmark-4242-987654321-0000000000000001.tmp");
    for (const char *name :
         {".quillmark-0123456789abcdef.tmp", ".quillmark-1-2-0123456789abcdef",
          "quillmark-1-2-0123456789abcdef.tmp", ".quillmark-1-2-0123.tmp",
          ".quillmark--2-0123456789abcdef.tmp", ".quillmark-1-2-0123456789abcdeg.tmp",
          ".quillmark-1-x-0123456789abcdef.tmp", ".quillmark-1-2-3-0123456789abcdef.tmp",
          ".quillmark-99999999999999999999-2-0123456789abcdef.tmp"})
        EXPECT_FALSE(temporaryFileOwner(name)) << name;
}

// An input is read to its end whatever its size was when taken: a file that grew since is read
// whole up to the limit and refused past it; a failed read keeps no bytes.
TEST(InputReading, FileThatChangedSinceItsSizeWasTakenOrFailsToRead) {
    struct Case {
        const char *What;
        std::uint64_t SizeTaken;
        std::size_t Actual;
        int FailAfter; // reads before an error, or -1
        InputStatus Status;
        std::uint64_t Size;
    };
    const std::size_t limit = static_cast<std::size_t>(MaxInputBytes);
    const Case cases[] = {
        {"as taken", 5000, 5000, -1, InputStatus::Ok, 5000},
        {"grew", 10, 70000, -1, InputStatus::Ok, 10},
        {"shrank", 5000, 7, -1, InputStatus::Ok, 5000},
        {"grew past the limit", 10, limit + 100, -1, InputStatus::TooLarge, limit + 1},
        {"grew to the limit", 10, limit, -1, InputStatus::Ok, 10},
        {"read fails", 100, 100, 0, InputStatus::Failed, 100},
        {"read fails later", 10, 70000, 3, InputStatus::Failed, 10},
    };
    for (const Case &c : cases) {
        InputFile input;
        input.Size = c.SizeTaken;
        std::size_t given = 0;
        int reads = 0;
        readInputBytes(input, [&](std::uint8_t *into, std::size_t room) {
            if (reads++ == c.FailAfter) return ReadResult{0, 5};
            const std::size_t n = std::min<std::size_t>({room, c.Actual - given, 4096});
            for (std::size_t i = 0; i < n; ++i)
                into[i] = static_cast<std::uint8_t>((given + i) % 251);
            given += n;
            return ReadResult{n, 0};
        });
        EXPECT_EQ(input.Status, c.Status) << c.What;
        EXPECT_EQ(input.Size, c.Size) << c.What;
        if (c.Status != InputStatus::Ok) {
            EXPECT_TRUE(input.Bytes.empty()) << c.What;
            EXPECT_EQ(input.Error, c.Status == InputStatus::Failed ? 5 : 0) << c.What;
            continue;
        }
        ASSERT_EQ(input.Bytes.size(), c.Actual) << c.What;
        bool same = true;
        for (std::size_t i = 0; i < c.Actual; ++i)
            same = same && input.Bytes[i] == static_cast<std::uint8_t>(i % 251);
        EXPECT_TRUE(same) << c.What;
    }
}

} // namespace
} // namespace qm::batch
