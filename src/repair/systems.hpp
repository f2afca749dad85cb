// System detection: the systems of a page score are filled up to the same size and joined
// into one continuous stave per part.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

void joinSystems(Score &score, Messages &messages);

} // namespace qm
