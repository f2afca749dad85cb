// Reads an NW file into the score: header and stave headers, each stave's element records, and
// the page texts of the trailer. Reading only decodes; the passes that repair the model run
// elsewhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/messages.hpp"
#include "core/score.hpp"
#include "nwread/record.hpp"

namespace qm {

struct HeaderReadResult {
    std::int32_t StaveCount = 0;
    bool ShortRecord = false;
};

// Reads the file header and stave headers, creating the staves and their empty elements.
HeaderReadResult readNWHeader(RecordSource &source, Score &score, Messages &messages);

// How many elements of each kind (indexed by Kind) a stave held as read. Passes use it to pass
// over a stave with nothing of their kind.
using KindCensus = std::array<std::int32_t, static_cast<std::size_t>(Kind::Unknown) + 1>;

// Reads stave k's element records into its pre-created elements; returns the kinds read.
KindCensus readNWStave(RecordSource &source, Score &score, std::int32_t k, Messages &messages);

// Reads one element record into `element`.
void readNWElement(RecordSource &source, Score &score, Stave &stave, Element &element,
                   std::int32_t k, std::int32_t e, Messages &messages);

// Reads the page header and footer texts from the records that remain.
void readNWTrailer(RecordSource &source, Score &score, Messages &messages);

// The element kind of a record type (byte 7) and subcode (byte 6).
Kind kindOfRecord(std::uint8_t type, std::uint8_t subcode);

} // namespace qm
