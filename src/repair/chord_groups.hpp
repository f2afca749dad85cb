// Which notes of a stave sound together: the relation of two notes, and the runs of the stave
// ("groups") that chord building turns into chords.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/score.hpp"

namespace qm {

// Whether two notes or rests belong to one chord, judged by horizontal distance, stems and
// pitch. The values are the codes the grouping works with.
enum class ChordRelation : std::uint8_t { Apart = 0, Together = 1, Undecided = 2 };

ChordRelation chordRelation(const Element &a, const Element &b);

// A run of the stave's list, first..last inclusive. first is always a Note or Rest; last may be
// any element, and the run may hold other elements between its notes.
struct ChordGroup {
    ElementIt first;
    ElementIt last;
};

// Working storage for group finding, kept between groups so a stave's walk does not allocate
// for every note.
struct ChordGroupScratch {
    std::vector<ElementIt> Notes;
    std::vector<bool> InSet;
};

// The group that begins at the first Note or Rest at or after `from`; nullopt when no Note or
// Rest is left before `end`. A group never reaches past a Clef, BarLine, TimeSig or KeySig.
std::optional<ChordGroup> findChordGroup(ElementIt from, ElementIt end, ChordGroupScratch &scratch);

} // namespace qm
