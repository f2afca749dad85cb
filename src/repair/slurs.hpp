// Slur resolution: chains of slur points become slur flags on the notes under them.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

void resolveSlurs(Stave& stave, Messages& messages);

} // namespace qm
