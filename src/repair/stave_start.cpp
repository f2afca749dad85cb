#include "repair/stave_start.hpp"

#include <algorithm>

namespace qm {

void newStaveToFront(Stave &stave, std::int32_t nwVersion, Messages &messages) {
    ElementList &list = stave.Elements;
    if (list.empty() || list.front().Kind == Kind::NewStave) return;
    auto newStave = std::find_if(list.begin(), list.end(),
                                 [](const Element &e) { return e.Kind == Kind::NewStave; });
    if (newStave != list.end()) {
        list.splice(list.begin(), list, newStave);
    } else if (nwVersion < 200) {
        messages.reportError(22, "Not found NewStave element");
    }
}

void copyBarLines(Stave &stave, const Stave *previous) {
    if (!previous) return;
    ElementList &list = stave.Elements;
    if (std::any_of(list.begin(), list.end(),
                    [](const Element &e) { return e.Kind == Kind::BarLine; }))
        return;
    // Each copy goes in by XPos, searching on from where the previous copy went in.
    auto at = list.begin();
    for (const Element &bar : previous->Elements) {
        if (bar.Kind != Kind::BarLine) continue;
        while (at != list.end() && at->XPos < bar.XPos)
            ++at;
        list.insert(at, bar);
        ++stave.ElementCount;
    }
}

} // namespace qm
