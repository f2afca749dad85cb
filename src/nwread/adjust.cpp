#include "nwread/adjust.hpp"

// Placeholder passes: each leaves the stave as it is.
namespace qm {

void newStaveToFront(Stave&, std::int32_t, Messages&) {}
void copyBarLines(Stave&, const Stave*) {}
void mergeTimeSigDigits(Stave&) {}
void attachAccidentals(Stave&, Messages&) {}
void attachAccents(Stave&, Messages&) {}
void makePositionsRelative(Stave&, Messages&) {}
void removeUnwritable(Stave&) {}

} // namespace qm
