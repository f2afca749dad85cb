// NWC staff headers and element records.
#pragma once

#include <cstdint>

#include "core/messages.hpp"
#include "core/score.hpp"
#include "nwcwrite/output.hpp"

namespace qm {

// Writes the staff header and a record for every element that NWC can show, in list order. The
// header's object count and top extent (how far the marks reach above the staff, at least 12)
// are those of the elements as they stood before writing.
void writeStaff(NwcOutput &out, Stave &stave, const Score &score, Messages &messages);

// Writes one element's record, or nothing (Unknown), or reports error 63.
void writeElement(NwcOutput &out, Element &element, const Stave &stave, const Score &score,
                  Messages &messages);

// Writes the record of a note, rest, rest-chord or chord (error 1 for a breve, written as a
// semibreve); any other kind is refused with error 2 and writes nothing.
void writeNoteRecord(NwcOutput &out, const Element &element, Messages &messages);

} // namespace qm
