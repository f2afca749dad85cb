#include "nwcwrite/header.hpp"

namespace qm {

void writeFileHeader(NwcOutput&, const Score&, Messages&) {}

} // namespace qm
