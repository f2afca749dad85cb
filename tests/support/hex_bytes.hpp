// Bytes written as hex for tests: "4B 01 ..." as bytes.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes hex(const std::string &text) {
    Bytes bytes;
    std::istringstream in(text);
    unsigned value = 0;
    while (in >> std::hex >> value)
        bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

} // namespace qm::test
