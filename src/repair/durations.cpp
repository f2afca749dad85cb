#include "repair/durations.hpp"

#include <algorithm>
#include <limits>

namespace qm {

void reportDottingFault(DottingFault fault, Messages &messages) {
    switch (fault) {
    case DottingFault::None: return;
    case DottingFault::DoubleDotted:
        messages.reportError(48, "Too short a double dotted note");
        return;
    case DottingFault::Dotted: messages.reportError(49, "Too short a dotted note"); return;
    }
}

std::int32_t durationValue(const Element &element, Messages &messages) {
    const Duration duration = measureDuration(element);
    reportDottingFault(duration.Fault, messages);
    return duration.Value;
}

bool endsBarSpan(Kind kind) {
    switch (kind) {
    case Kind::BarLine:
    case Kind::TimeSig:
    case Kind::Volume:
    case Kind::DynamicVar:
    case Kind::PerformanceStyle:
    case Kind::Pedal:
    case Kind::TempoVar:
    case Kind::FlowControl: return true;
    default: return false;
    }
}

std::int32_t barSpanValue(ElementList::const_iterator from, ElementList::const_iterator end,
                          std::vector<DottingFault> &faults) {
    // The true sum: a bar longer than 255 units is filled with as many rests as it needs.
    // It is held below the int32 limit so that no list, however long, can wrap it.
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    std::int64_t sum = 0;
    for (auto it = from; it != end && !endsBarSpan(it->Kind); ++it) {
        const bool counts =
            it->Kind == Kind::Chord || (it->isNoteOrRest() && !it->Note.InChord && !it->Note.Grace);
        if (!counts) continue;
        const Duration duration = measureDuration(*it);
        if (duration.Fault != DottingFault::None) faults.push_back(duration.Fault);
        sum = std::min(sum + duration.Value, limit);
    }
    return static_cast<std::int32_t>(sum);
}

std::int32_t barSpanValue(ElementList::const_iterator from, ElementList::const_iterator end,
                          Messages &messages) {
    std::vector<DottingFault> faults;
    const std::int32_t value = barSpanValue(from, end, faults);
    for (const DottingFault fault : faults)
        reportDottingFault(fault, messages);
    return value;
}

RestStep largestRest(std::int32_t length) {
    std::int32_t p = 1;
    int c = 7;
    while (2 * p <= length && c > 0) {
        p *= 2;
        --c;
    }
    RestStep step;
    step.Duration = static_cast<std::uint8_t>(c);
    step.Covers = p;
    if (length >= 2 * p) return step; // only a breve gets here: a plain breve
    if (p % 4 == 0 && 4 * length >= 7 * p) {
        step.Dotted = true;
        step.DoubleDotted = true;
        step.Covers = 7 * p / 4;
    } else if (p % 2 == 0 && 2 * length >= 3 * p) {
        step.Dotted = true;
        step.Covers = 3 * p / 2;
    }
    return step;
}

} // namespace qm
