// The NWC file's byte-level output: bytes, little-endian words and zero-terminated strings,
// appended to an in-memory buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Bytes are written into zero-filled room at the end of the buffer, which grows a step at a
// time within what was reserved: a record is one bounds check and one copy, and the pages past
// the written bytes are never touched, so reserving generously costs no memory.
class NwcOutput {
public:
    void reserve(std::size_t bytes) { Bytes.reserve(bytes); }

    // Room for n more bytes, zero-filled, for the caller to fill.
    std::uint8_t *extend(std::size_t n) {
        if (Bytes.size() - Used < n) makeRoom(n);
        std::uint8_t *at = Bytes.data() + Used;
        Used += n;
        return at;
    }

    void writeZero() { writeByte(0); }
    void writeByte(std::uint8_t b) { *extend(1) = b; }
    void writeZeros(std::size_t n) { extend(n); }
    // A record built ahead, appended in one go.
    void writeBytes(std::span<const std::uint8_t> bytes) {
        if (!bytes.empty()) std::memcpy(extend(bytes.size()), bytes.data(), bytes.size());
    }
    void writeWord(std::uint16_t w) {
        std::uint8_t *at = extend(2);
        at[0] = static_cast<std::uint8_t>(w & 0xFF);
        at[1] = static_cast<std::uint8_t>(w >> 8);
    }
    // The text's characters and a terminating zero. A zero byte inside the text would end the
    // string early and shift every later record, so it is dropped; at most 255 characters go
    // out, as a reader of the format expects no longer string.
    void writeString(std::string_view text) {
        std::uint8_t *at = extend(std::min(text.size(), MaxNwcStringLength) + 1);
        std::size_t written = 0;
        for (char c : text) {
            if (c == '\0') continue;
            if (written == MaxNwcStringLength) break;
            at[written++] = static_cast<std::uint8_t>(c);
        }
        // The room is zero-filled: the terminator is there already, and dropped zeros leave
        // room that is given back.
        Used -= std::min(text.size(), MaxNwcStringLength) - written;
    }

    // Rewrites bytes written earlier (a header whose figures are known after its records).
    void overwriteByte(std::size_t at, std::uint8_t b) { Bytes[at] = b; }
    void overwriteWord(std::size_t at, std::uint16_t w) {
        Bytes[at] = static_cast<std::uint8_t>(w & 0xFF);
        Bytes[at + 1] = static_cast<std::uint8_t>(w >> 8);
    }

    std::size_t size() const { return Used; }
    std::span<const std::uint8_t> bytes() const { return {Bytes.data(), Used}; }
    std::vector<std::uint8_t> take() {
        Bytes.resize(Used);
        Used = 0;
        return std::move(Bytes);
    }

private:
    static constexpr std::size_t RoomStep = 4096;

    void makeRoom(std::size_t n) {
        const std::size_t wanted = Used + std::max(n, RoomStep);
        if (wanted > Bytes.capacity()) Bytes.reserve(std::max(wanted, 2 * Bytes.capacity()));
        Bytes.resize(wanted);
    }

    std::vector<std::uint8_t> Bytes; // [0, Used) written, the rest zero-filled room
    std::size_t Used = 0;
};

} // namespace qm
