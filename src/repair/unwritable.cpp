#include "repair/unwritable.hpp"

namespace qm {

namespace {

// Signs already taken over by their notes, dropped elements, and expressions whose code says
// "none".
bool isUnwritable(const Element &element) {
    switch (element.Kind) {
    case Kind::Accidental:
    case Kind::SlurPoint:
    case Kind::Accent:
    case Kind::Unknown: return true;
    case Kind::DynamicVar: return element.Code == 5;
    case Kind::PerformanceStyle: return element.Code == 23;
    case Kind::TempoVar: return element.Code == 9;
    case Kind::FlowControl: return element.Code == 10;
    default: return false;
    }
}

} // namespace

void removeUnwritable(Stave &stave) {
    const auto removed = stave.Elements.remove_if(isUnwritable);
    stave.ElementCount -= static_cast<std::int32_t>(removed);
}

} // namespace qm
