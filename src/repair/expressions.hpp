// The words of musical directions that texts may spell, and how a text is matched to them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The codes that mean "no such direction".
constexpr std::uint8_t NoPerformanceStyle = 23;
constexpr std::uint8_t NoDynamicVariation = 5;
constexpr std::uint8_t NoFlowDirection = 10;

// The text lower-cased (ASCII letters), with every blank and every full stop removed.
std::string normaliseText(std::string_view text);

// The code of the performance style whose word the normalised text abbreviates, or 23.
std::uint8_t matchPerformanceStyle(std::string_view normalised);

// The code of the dynamic variation whose word the normalised text abbreviates, or 5.
std::uint8_t matchDynamicVariation(std::string_view normalised);

// The code of the flow direction the normalised text spells exactly, or 10.
std::uint8_t matchFlowDirection(std::string_view normalised);

} // namespace qm
