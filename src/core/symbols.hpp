// The catalogue of NW sign names, by subcode.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// The catalogue name of an NW sign subcode ("Unknown symbol" when it has none).
std::string_view symbolName(std::uint8_t code);

// False for the signs written at a fixed vertical place (fermatas, marcato, bowings, ...).
bool symbolKeepsPosition(std::uint8_t code);

} // namespace qm
