// Lengths of notes, rests and chords in 64th-note units, and the decomposition of a length
// into rests. Every pass that measures or fills bars uses these.
#pragma once

#include <cstdint>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// A dot on a note too short to carry it: the error code that taking its value reports.
enum class DottingFault : std::uint8_t { None = 0, DoubleDotted = 48, Dotted = 49 };

// The length of an element and whether taking it is a dotting fault.
struct Duration {
    std::int32_t Value = 0;
    DottingFault Fault = DottingFault::None;
};

// 2^(7 - Duration) with dots applied (truncated for notes too short to be dotted); 0 for kinds
// other than Note, Rest and Chord. Measures only: nothing is reported. Inline: every pass that
// sums bars takes it for each note.
inline Duration measureDuration(const Element &element) {
    if (element.Kind != Kind::Note && element.Kind != Kind::Rest && element.Kind != Kind::Chord)
        return {};
    const NoteData &note = element.Note;
    // Duration is 0..7 once decoded; a larger code is held to the shortest note.
    const int code = note.Duration > 7 ? 7 : note.Duration;
    const std::int32_t base = std::int32_t{1} << (7 - code);
    if (note.DoubleDotted)
        return {(7 * base) / 4, base % 4 != 0 ? DottingFault::DoubleDotted : DottingFault::None};
    if (note.Dotted)
        return {(3 * base) / 2, base % 2 != 0 ? DottingFault::Dotted : DottingFault::None};
    return {base, DottingFault::None};
}

// Error 48 or 49 for a fault; nothing for None.
void reportDottingFault(DottingFault fault, Messages &messages);

// The value of measureDuration, reporting its fault: each time a value is taken of a note too
// short to be dotted, the error is reported again.
std::int32_t durationValue(const Element &element, Messages &messages);

// Kinds that end a bar's time: bar lines, time signatures and the marks of volume, dynamics,
// performance style, pedal, tempo and flow.
bool endsBarSpan(Kind kind);

// Length of the bar that starts at `from`: notes and rests (not in a chord, not grace) and
// chords, up to the first bar line, time signature or expression-like mark. The sum is not
// cut to a byte.
std::int32_t barSpanValue(ElementList::const_iterator from, ElementList::const_iterator end,
                          Messages &messages);
// The same, measuring only: the dotting faults met are appended to `faults`, in order.
std::int32_t barSpanValue(ElementList::const_iterator from, ElementList::const_iterator end,
                          std::vector<DottingFault> &faults);

// One rest of a decomposition: its duration code, dots, and the length it covers.
struct RestStep {
    std::uint8_t Duration = 0;
    bool Dotted = false;
    bool DoubleDotted = false;
    std::int32_t Covers = 0;
};

// The largest (possibly dotted) rest that fits in `length` (length >= 1).
RestStep largestRest(std::int32_t length);

} // namespace qm
