#include "repair/bars.hpp"

namespace qm {

void insertOpeningSigns(Score&, Messages&) {}
void removeRepeatedSigns(Score&) {}
void setFinalBarStyles(Score& score) {
    for (auto& stave : score.Staves) stave.FinalBarStyle = 3;
}
void applySplitBarRule(Stave&, ElementIt, Messages&) {}

} // namespace qm
