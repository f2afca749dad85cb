// A readable text form of NW files: one record per line, fields named, raw bytes allowed.
// `build` and `dump` round-trip byte for byte.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qm::nwtext {

struct SyntaxError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The NW bytes a text describes. Throws SyntaxError naming the line.
std::vector<std::uint8_t> build(std::string_view text);

// The text form of NW bytes, whatever they hold.
std::string dump(std::span<const std::uint8_t> bytes);

} // namespace qm::nwtext
