// The MusicXML 4.0 writer: a repaired score as one partwise MusicXML document, one part per
// staff, telling the same music as the NWC file written from the same score.
#pragma once

#include <cstdint>
#include <vector>

#include "core/score.hpp"

namespace qm {

struct MusicXmlStats {
    // Elements of the score that MusicXML could not express and were left out.
    int OmittedElements = 0;
};

// The bytes of the document (UTF-8). Never fails on bad scores: what it cannot express is
// left out and counted in `stats`.
std::vector<std::uint8_t> writeMusicXml(const Score &score, MusicXmlStats &stats);

} // namespace qm
