// Which notes of a stave sound together: the relation of two notes, and the runs of the stave
// ("groups") that chord building turns into chords.
#pragma once

#include <cstddef>
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

// Working storage for group finding, kept between the groups of one stave's walk: the Notes and
// Rests up to the next barrier are collected once for all the groups among them, and nothing is
// allocated for every note.
struct ChordGroupScratch {
    std::vector<ElementIt> Notes;          // Notes and Rests of the run up to the barrier
    std::vector<std::size_t> LeftmostFrom; // per note: the leftmost note from it to the barrier
    bool LeftmostReady = false;            // LeftmostFrom is made for the run in Notes
    std::size_t Next = 0;                  // where the search for the next group's note starts
    std::vector<bool> InSet;

    // Ready for a new stave; the buffers keep their room.
    void reset() {
        Notes.clear();
        LeftmostFrom.clear();
        LeftmostReady = false;
        Next = 0;
    }
};

// The group that begins at the first Note or Rest at or after `from`; nullopt when no Note or
// Rest is left before `end`. A group never reaches past a Clef, BarLine, TimeSig or KeySig.
std::optional<ChordGroup> findChordGroup(ElementIt from, ElementIt end, ChordGroupScratch &scratch);

// Passes over the notes from `from` on that findChordGroup would hand out as groups of one
// (they build no chord) and returns the first note of the next group that may build one, or
// `end`. Chord building calls it between groups, so most notes cost one comparison with their
// neighbour instead of a search.
ElementIt skipLoneNotes(ElementIt from, ElementIt end);

} // namespace qm
