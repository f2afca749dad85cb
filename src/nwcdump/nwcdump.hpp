// A readable listing of an NWC 1.75 file as our writer produces it: the header fields, then
// each staff header and every record, one per line.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace qm {

struct NwcDumpError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws NwcDumpError, with the offset where it lost its way, on a file it cannot follow.
std::string dumpNwc(std::span<const std::uint8_t> bytes);

} // namespace qm
