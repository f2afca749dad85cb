#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert/pipeline.hpp"
#include "fuzz/checks.hpp"
#include "support/recording_messages.hpp"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string text(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<fs::path> filesIn(const fs::path &dir, std::string_view extension = {}) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

struct Replay {
    std::string target;
    std::vector<fs::path> inputs;
    std::string (*check)(const Bytes &);
};

// Every reproducer a fuzz run found, and the examples, pass the check of their target.
TEST(FuzzChecks, ReproducersAndExamplesPass) {
    const fs::path regressions = fs::path(QUILLMARK_SOURCE_DIR) / "fuzz" / "regressions";
    const fs::path examples = fs::path(QUILLMARK_SOURCE_DIR) / "examples";
    std::vector<Replay> replays = {
        {"convert", filesIn(examples, ".nw"),
         [](const Bytes &b) { return fuzz::checkConversion(b); }},
        {"nwtext", filesIn(examples, ".nwt"),
         [](const Bytes &b) { return fuzz::checkNwTextRoundTrip(text(b)); }},
        {"nwcdump", {}, [](const Bytes &b) { return fuzz::checkNwcDump(b); }},
        {"batch-names", {}, [](const Bytes &b) { return fuzz::checkBatchNames(text(b)); }},
    };
    std::size_t replayed = 0;
    for (Replay &replay : replays) {
        for (const fs::path &path : filesIn(regressions / replay.target))
            replay.inputs.push_back(path);
        for (const fs::path &path : replay.inputs) {
            EXPECT_EQ(replay.check(readFile(path)), "") << replay.target << ": " << path;
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 6u); // three examples and their text sources at least
}

// The NWC check bites: a converted example passes, and each way of breaking its bytes is named.
TEST(FuzzChecks, NwcOutputFaultsAreFound) {
    test::RecordingMessages messages;
    const Bytes good =
        convertScore(readFile(fs::path(QUILLMARK_SOURCE_DIR) / "examples" / "duet.nw"), messages);
    ASSERT_EQ(fuzz::checkNwcOutput(good), "");

    const std::string staffName = "Staff-1";
    const auto name = std::search(good.begin(), good.end(), staffName.begin(), staffName.end());
    ASSERT_NE(name, good.end());
    const auto at = static_cast<std::size_t>(name - good.begin());
    const std::size_t staffCount = at - 2;           // the word before the first staff
    const std::size_t objectCount = at + 8 + 9 + 35; // the word ending its header

    struct Case {
        const char *name;
        std::size_t offset;
        std::uint8_t add;
        std::size_t cut;
        const char *fault;
    };
    const Case cases[] = {
        {"one object too many", objectCount, 1, 0, "the header counts"},
        {"one staff too many", staffCount, 1, 0, "the file ends inside"},
        {"a constant byte changed", objectCount - 8, 1, 0, "differs from the writer's constant"},
        {"the last byte missing", 0, 0, 1, "cannot follow"},
    };
    for (const Case &c : cases) {
        Bytes bad = good;
        bad[c.offset] = static_cast<std::uint8_t>(bad[c.offset] + c.add);
        bad.resize(bad.size() - c.cut);
        EXPECT_NE(fuzz::checkNwcOutput(bad).find(c.fault), std::string::npos)
            << c.name << ": " << fuzz::checkNwcOutput(bad);
    }
}

// The MusicXML check bites: a converted example passes; a cut document and one the schema
// refuses do not.
TEST(FuzzChecks, MusicXmlFaultsAreFound) {
    test::RecordingMessages messages;
    ConversionOptions options;
    options.Formats = OutputFormats{true, true};
    const auto good = convertNW(readFile(fs::path(QUILLMARK_SOURCE_DIR) / "examples" / "duet.nw"),
                                messages, options)
                          .MusicXml;
    EXPECT_EQ(fuzz::checkMusicXmlOutput(good), "");
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    EXPECT_NE(fuzz::checkMusicXmlOutput(cut).find("not well-formed"), std::string::npos);
    const std::string empty = "<score-partwise version=\"4.0\"/>";
    EXPECT_NE(fuzz::checkMusicXmlOutput(Bytes(empty.begin(), empty.end())).find("schema"),
              std::string::npos);
}

} // namespace
} // namespace qm
