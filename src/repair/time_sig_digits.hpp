// Time signatures are read one digit per record; the digits of each join into one signature.
#pragma once

#include <cstdint>
#include <limits>

#include "core/score.hpp"

namespace qm {

// Merges the digit records of each time signature into its first record. `timeSigs`, when
// known (the reader's count of the stave's time signatures), ends the walk at the last of them.
void mergeTimeSigDigits(Stave &stave,
                        std::int32_t timeSigs = std::numeric_limits<std::int32_t>::max());

} // namespace qm
