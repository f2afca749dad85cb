// Accidentals and accents are separate signs in an NW file; in NWC they belong to a note.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Copies each accidental onto the note it belongs to (error 16 when none).
void attachAccidentals(Stave &stave, Messages &messages);

// Turns each accent sign into its note's articulation (errors 14, 15).
void attachAccents(Stave &stave, Messages &messages);

} // namespace qm
