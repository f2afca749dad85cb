// The NWC file's byte-level output: bytes, little-endian words and zero-terminated strings,
// appended to an in-memory buffer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/score.hpp"

namespace qm {

class NwcOutput {
public:
    void writeZero() { Bytes.push_back(0); }
    void writeByte(std::uint8_t b) { Bytes.push_back(b); }
    void writeZeros(int n) {
        for (int i = 0; i < n; ++i) Bytes.push_back(0);
    }
    void writeWord(std::uint16_t w) {
        Bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
        Bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    // The text's characters and a terminating zero. A zero byte inside the text would end the
    // string early and shift every later record, so it is dropped.
    void writeString(std::string_view text) {
        for (char c : text)
            if (c != '\0') Bytes.push_back(static_cast<std::uint8_t>(c));
        Bytes.push_back(0);
    }
    // Record type, two zero bytes, the element's YPos as a signed byte, a zero byte.
    void writeElementHead(const Element& element, std::uint8_t type) {
        writeByte(type);
        writeZeros(2);
        writeByte(static_cast<std::uint8_t>(element.YPos & 0xFF));
        writeZero();
    }

    const std::vector<std::uint8_t>& bytes() const { return Bytes; }
    std::vector<std::uint8_t> take() { return std::move(Bytes); }

private:
    std::vector<std::uint8_t> Bytes;
};

} // namespace qm
