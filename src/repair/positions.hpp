// Vertical positions relative to the stave.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Makes every YPos relative to the stave, in steps of three units (warning 7).
void makePositionsRelative(Stave &stave, Messages &messages);

} // namespace qm
