// Per-stave adjustments run right after a stave's records are read.
#pragma once

#include <cstdint>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Moves the stave's NewStave element to the front (error 22 when there is none, old files).
void newStaveToFront(Stave &stave, std::int32_t nwVersion, Messages &messages);

// Gives a stave without bar lines copies of the previous stave's bar lines, by XPos.
void copyBarLines(Stave &stave, const Stave *previous);

// Merges the digit records of each time signature into its first record.
void mergeTimeSigDigits(Stave &stave);

// Copies each accidental onto the note it belongs to (error 16 when none).
void attachAccidentals(Stave &stave, Messages &messages);

// Turns each accent sign into its note's articulation (errors 14, 15).
void attachAccents(Stave &stave, Messages &messages);

// Makes every YPos relative to the stave, in steps of three units (warning 7).
void makePositionsRelative(Stave &stave, Messages &messages);

// Unlinks the elements that have no NWC record.
void removeUnwritable(Stave &stave);

} // namespace qm
