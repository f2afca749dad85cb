// The NWC 1.75 file header: identification, file information, setup, layout, fonts and the
// staff count.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"
#include "nwcwrite/output.hpp"

namespace qm {

void writeFileHeader(NwcOutput &out, const Score &score, Messages &messages);

} // namespace qm
