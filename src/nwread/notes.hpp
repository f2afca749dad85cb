// Decoding of note and rest records (type 5) into the element's note record.
#pragma once

#include <cstdint>

#include "core/messages.hpp"
#include "core/score.hpp"
#include "nwread/record.hpp"

namespace qm {

void decodeNote(Element &element, const Record &record, std::int32_t nwVersion, Messages &messages);
void decodeRest(Element &element, const Record &record, Messages &messages);

// The length code held to 0..7 (error 47 above 7).
std::uint8_t decodeLength(std::uint8_t code, Messages &messages);

// Articulation byte of version-200 files: 1..4 to staccato..mordent, anything else to none.
std::uint8_t decodeArticulation(std::uint8_t code);

} // namespace qm
