// The NWC file's byte-level output: bytes, little-endian words and zero-terminated strings,
// appended to an in-memory buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/score.hpp"

namespace qm {

// The longest text a string of the file holds before its terminator.
constexpr std::size_t MaxNwcStringLength = 255;

// A model value clamped to what a word field can hold (0..65535).
constexpr std::uint16_t clampToWord(std::int64_t value) {
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 0xFFFF));
}

// The placement byte of an element: YPos as a signed byte, taken modulo 256 over -256..255 as
// the format expects. Positions beyond that cannot be expressed; they are pinned to the
// farthest placement on their side (80 = -128 above the staff, 7F = 127 below) instead of
// wrapping round to an arbitrary place.
constexpr std::uint8_t placementByte(std::int32_t yPos) {
    if (yPos < -256) return 0x80;
    if (yPos > 255) return 0x7F;
    return static_cast<std::uint8_t>(yPos & 0xFF);
}

class NwcOutput {
public:
    void reserve(std::size_t bytes) { Bytes.reserve(bytes); }
    void writeZero() { Bytes.push_back(0); }
    void writeByte(std::uint8_t b) { Bytes.push_back(b); }
    void writeZeros(int n) { Bytes.resize(Bytes.size() + static_cast<std::size_t>(n)); }
    // A record built ahead, appended in one go.
    void writeBytes(std::span<const std::uint8_t> bytes) {
        Bytes.insert(Bytes.end(), bytes.begin(), bytes.end());
    }
    void writeWord(std::uint16_t w) {
        const std::array<std::uint8_t, 2> word{static_cast<std::uint8_t>(w & 0xFF),
                                               static_cast<std::uint8_t>(w >> 8)};
        writeBytes(word);
    }
    // The text's characters and a terminating zero. A zero byte inside the text would end the
    // string early and shift every later record, so it is dropped; at most 255 characters go
    // out, as a reader of the format expects no longer string.
    void writeString(std::string_view text) {
        std::size_t written = 0;
        for (char c : text) {
            if (c == '\0') continue;
            if (written == MaxNwcStringLength) break;
            Bytes.push_back(static_cast<std::uint8_t>(c));
            ++written;
        }
        Bytes.push_back(0);
    }
    // Record type, two zero bytes, the element's placement byte, a zero byte.
    void writeElementHead(const Element &element, std::uint8_t type) {
        const std::array<std::uint8_t, 5> head{type, 0, 0, placementByte(element.YPos), 0};
        writeBytes(head);
    }

    const std::vector<std::uint8_t> &bytes() const { return Bytes; }
    std::vector<std::uint8_t> take() { return std::move(Bytes); }

private:
    std::vector<std::uint8_t> Bytes;
};

} // namespace qm
