// Converts one NW file, held in memory, into the bytes of one NWC 1.75 file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/messages.hpp"

namespace qm {

std::vector<std::uint8_t> convertScore(std::span<const std::uint8_t> nwBytes, Messages &messages);

} // namespace qm
