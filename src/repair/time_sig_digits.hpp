// Time signatures are read one digit per record; the digits of each join into one signature.
#pragma once

#include "core/score.hpp"

namespace qm {

// Merges the digit records of each time signature into its first record.
void mergeTimeSigDigits(Stave &stave);

} // namespace qm
