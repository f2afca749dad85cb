// The start of a stave as read: its NewStave element first, and bar lines for a stave that has
// none of its own.
#pragma once

#include <cstdint>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Moves the stave's NewStave element to the front (error 22 when there is none, old files).
void newStaveToFront(Stave &stave, std::int32_t nwVersion, Messages &messages);

// Gives a stave without bar lines copies of the previous stave's bar lines, by XPos.
void copyBarLines(Stave &stave, const Stave *previous);

} // namespace qm
