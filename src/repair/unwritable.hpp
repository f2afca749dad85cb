// Elements that have no NWC record leave the stave.
#pragma once

#include "core/score.hpp"

namespace qm {

// Unlinks the elements that have no NWC record.
void removeUnwritable(Stave &stave);

} // namespace qm
