// The MusicXML 4.0 writer: a repaired score as one partwise MusicXML document, one part per
// staff, telling the same music as the NWC file written from the same score.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "core/score.hpp"

namespace qm {

// Makes room in a buffer without clearing it: a writer's buffer grows ahead of the bytes the
// writer puts there itself, so clearing them first would be wasted work.
template <typename T> struct UnclearedAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = UnclearedAllocator<U>; };
    UnclearedAllocator() = default;
    template <typename U> UnclearedAllocator(const UnclearedAllocator<U> &) noexcept {}
    template <typename U> void construct(U *at) noexcept { ::new (static_cast<void *>(at)) U; }
    template <typename U, typename... Args> void construct(U *at, Args &&...args) {
        ::new (static_cast<void *>(at)) U(std::forward<Args>(args)...);
    }
};

// The bytes of a MusicXML document.
using MusicXmlBytes = std::vector<std::uint8_t, UnclearedAllocator<std::uint8_t>>;

struct MusicXmlStats {
    // Elements of the score that MusicXML could not express and were left out.
    int OmittedElements = 0;
};

// The bytes of the document (UTF-8). Never fails on bad scores: what it cannot express is
// left out and counted in `stats`.
MusicXmlBytes writeMusicXml(const Score &score, MusicXmlStats &stats);

} // namespace qm
