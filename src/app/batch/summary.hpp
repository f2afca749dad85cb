// The lines that end a run's log: files created, totals, and how often each code occurred.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/messages.hpp"

namespace qm::batch {

std::vector<std::string> summaryLines(std::int32_t filesCreated, const MessageCounts &counts);

} // namespace qm::batch
