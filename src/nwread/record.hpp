// The NW file's unit: a fixed 22-byte record, and the source that hands records out.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace qm {

constexpr std::size_t RecordSize = 22;
using Record = std::array<std::uint8_t, RecordSize>;

// A 16-bit position from its low and high bytes. A high byte of 128 counts as positive.
constexpr std::int32_t decodePosition(std::uint8_t low, std::uint8_t high) {
    return high <= 128 ? low + 256 * high : low + 256 * (high - 256);
}

// A signed byte as NW stores note and accidental positions (128 is +128).
constexpr std::int32_t decodeSignedByte(std::uint8_t b) { return b <= 128 ? b : b - 256; }

// Hands out the records of an NW file held in memory, front to back.
class RecordSource {
public:
    explicit RecordSource(std::span<const std::uint8_t> bytes) : Bytes(bytes) {}

    // Reads the next record into `record` (zero-filled past what arrives) and returns how
    // many bytes arrived: 22 for a full record, fewer at the end of the file.
    std::size_t read(Record &record) {
        if (Bytes.size() - Offset >= RecordSize) { // every record but a file's last
            std::memcpy(record.data(), Bytes.data() + Offset, RecordSize);
            Offset += RecordSize;
            return RecordSize;
        }
        const std::size_t n = Bytes.size() - Offset;
        const auto from = Bytes.begin() + static_cast<std::ptrdiff_t>(Offset);
        std::fill(std::copy_n(from, n, record.begin()), record.end(), std::uint8_t{0});
        Offset += n;
        return n;
    }

private:
    std::span<const std::uint8_t> Bytes;
    std::size_t Offset = 0;
};

} // namespace qm
