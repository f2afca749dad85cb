// Beam and tie pairing: every link is checked against its partner; reversed beam pairs are
// re-linked and unmatched links cleared.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

void pairBeams(Stave &stave, Messages &messages);
void pairTies(Stave &stave, Messages &messages);

} // namespace qm
