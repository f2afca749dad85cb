// Lengths of notes, rests and chords in 64th-note units, and the decomposition of a length
// into rests. Every pass that measures or fills bars uses these.
#pragma once

#include <cstdint>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// 2^(7 - Duration) with dots applied; 0 for kinds other than Note, Rest and Chord. Reports
// error 48 or 49 each time it is taken of a dotted note too short to be dotted.
std::int32_t durationValue(const Element &element, Messages &messages);
std::int32_t durationValue(const Element *element, Messages &messages);

// Kinds that end a bar's time: bar lines, time signatures and the marks of volume, dynamics,
// performance style, pedal, tempo and flow.
bool endsBarSpan(Kind kind);

// Length of the bar that starts at `from`: notes and rests (not in a chord, not grace) and
// chords, up to the first bar line, time signature or expression-like mark. The sum is not
// cut to a byte.
std::int32_t barSpanValue(ElementList::const_iterator from, ElementList::const_iterator end,
                          Messages &messages);

// One rest of a decomposition: its duration code, dots, and the length it covers.
struct RestStep {
    std::uint8_t Duration = 0;
    std::uint8_t Dotted = 0;
    std::uint8_t DoubleDotted = 0;
    std::int32_t Covers = 0;
};

// The largest (possibly dotted) rest that fits in `length` (length >= 1).
RestStep largestRest(std::int32_t length);

// The rests that fill `length`, longest first; empty for a length of 0 or less.
std::vector<RestStep> decomposeIntoRests(std::int32_t length);

} // namespace qm
