#include "app/batch/summary.hpp"

#include <cmath>
#include <span>
#include <string_view>

namespace qm::batch {

namespace {

// One "code (count), " line per code that occurred, after a heading, then an empty line.
void appendFrequencies(std::vector<std::string> &lines, std::string_view heading,
                       std::span<const std::int32_t> frequency) {
    lines.emplace_back(heading);
    for (std::size_t code = 1; code < frequency.size(); ++code) {
        if (frequency[code] <= 0) continue;
        lines.push_back(std::to_string(code) + " (" + std::to_string(frequency[code]) + "), ");
    }
    lines.emplace_back();
}

} // namespace

std::vector<std::string> summaryLines(std::int32_t filesCreated, const MessageCounts &counts) {
    std::vector<std::string> lines;
    lines.push_back("*** " + std::to_string(filesCreated) + " files were created. ***");
    lines.push_back("*** Finished Updates with " + std::to_string(counts.ErrorCount) +
                    " errors and " + std::to_string(counts.WarningCount) + " warnings ***");
    if (counts.ErrorCount > 0)
        appendFrequencies(lines,
                          "The following errors types (and their frequencies) were reported:",
                          counts.ErrorFrequency);
    if (counts.WarningCount > 0)
        appendFrequencies(lines, "The following warning types (and their numbers) were reported:",
                          counts.WarningFrequency);
    return lines;
}

std::string countOf(std::int64_t count, const std::string &one, const std::string &many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string musicXmlLoss(std::int64_t count) {
    return countOf(count, "element", "elements") + " could not be expressed in MusicXML and " +
           (count == 1 ? "was" : "were") + " left out";
}

std::chrono::seconds remainingTime(std::chrono::steady_clock::duration elapsed, std::int64_t done,
                                   std::int64_t total) {
    if (done <= 0 || total <= done) return std::chrono::seconds(0);
    // The clock's own ticks, not whole seconds: a second's truncation would read 0:00 until
    // the first second is over and run short after it.
    const double seconds = std::chrono::duration<double>(elapsed).count() *
                           static_cast<double>(total - done) / static_cast<double>(done);
    return std::chrono::seconds(std::llround(seconds));
}

} // namespace qm::batch
