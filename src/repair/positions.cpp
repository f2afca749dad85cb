#include "repair/positions.hpp"

#include <algorithm>
#include <cstdint>

namespace qm {

namespace {

// floor(a / 3) for any sign of a.
std::int64_t floorDivThree(std::int64_t a) { return a >= 0 ? a / 3 : -((-a + 2) / 3); }

} // namespace

void makePositionsRelative(Stave &stave, Messages &messages) {
    const std::int64_t reference = stave.YPos;
    if (reference == 0)
        messages.reportWarning(7, "Possible loss of correct positioning of elements such as text");
    // Steps of three units from the reference, held to what a signed byte holds.
    for (Element &element : stave.Elements) {
        const std::int64_t steps = floorDivThree(element.YPos - reference + 1);
        element.YPos = static_cast<std::int32_t>(std::clamp<std::int64_t>(steps, -128, 127));
    }
    stave.YPos = 0;
}

} // namespace qm
