#include "repair/systems.hpp"

namespace qm {

void joinSystems(Score& score, Messages&) {
    std::int32_t number = 1;
    for (auto& stave : score.Staves) stave.StaveNo = number++;
}

} // namespace qm
