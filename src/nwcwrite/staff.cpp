#include "nwcwrite/staff.hpp"

namespace qm {

void writeStaff(NwcOutput&, Stave&, const Score&, Messages&) {}
void writeElement(NwcOutput&, Element&, const Stave&, const Score&, Messages&) {}
std::int32_t staffObjectCount(const Stave&) { return 2; }
std::int32_t staffTopExtent(const Stave&) { return 12; }

} // namespace qm
