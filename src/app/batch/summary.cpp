#include "app/batch/summary.hpp"

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

} // namespace qm::batch
