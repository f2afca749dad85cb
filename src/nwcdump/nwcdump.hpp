// A readable listing of an NWC 1.75 file as our writer produces it: the header fields, then
// each staff header and every record, one per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

namespace qm {

// Where and why the listing stopped. Partial holds the lines listed before that point.
struct NwcDumpError : std::runtime_error {
    using std::runtime_error::runtime_error;
    NwcDumpError(const std::string &message, std::size_t offset, std::string partial = {})
        : std::runtime_error(message), Offset(offset), Partial(std::move(partial)) {}

    std::size_t Offset = 0;
    std::string Partial;
};

// Throws NwcDumpError, with the offset where it lost its way, on a file it cannot follow.
std::string dumpNwc(std::span<const std::uint8_t> bytes);

} // namespace qm
