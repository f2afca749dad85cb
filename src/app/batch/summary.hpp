// The lines that end a run's log: files created, totals, and how often each code occurred.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/messages.hpp"

namespace qm::batch {

std::vector<std::string> summaryLines(std::int32_t filesCreated, const MessageCounts &counts);

// "1 file", "2 files", "0 files".
std::string countOf(std::int64_t count, const std::string &one, const std::string &many);

// "1 element could not be expressed in MusicXML and was left out", "2 elements ... were ...".
std::string musicXmlLoss(std::int64_t count);

// The time a run that took `elapsed` for `done` of `total` files still needs at that pace,
// rounded to the nearest second; nothing before the first file is done.
std::chrono::seconds remainingTime(std::chrono::steady_clock::duration elapsed, std::int64_t done,
                                   std::int64_t total);

} // namespace qm::batch
