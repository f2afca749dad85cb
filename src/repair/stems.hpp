// Stem directions of a chord's members. A chord gets at most two directions, with every
// up-stem note at or above every down-stem note; a rest kept in a chord gets a direction of its
// own. Stem codes: 0 up, 1 down, 2 take the direction of a neighbour a step away, anything
// else undetermined.
#pragma once

#include <cstdint>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// The Note and Rest elements of one chord group, in list order; the first is the group's first
// element. The rules only read and write these elements.
using ChordMembers = std::vector<Element *>;

// Rest chord: the notes share one direction and the kept rest takes the other, or keeps its
// own when the notes' direction is known and differs from it.
void chooseRestChordStems(const ChordMembers &members, const Element &keptRest);

// Chord of notes only: settles every undetermined stem and resolves up stems lying below down
// stems by moving notes across (warning 8), dropping notes that then duplicate one moved
// (Kind Unknown).
void chooseNoteChordStems(const ChordMembers &members, Messages &messages);

// The stages of the note-chord rule, in the order chooseNoteChordStems runs them.
namespace stems {

// The extreme notes of each side; null when the side is empty.
struct StemExtremes {
    Element *lowestUp = nullptr;
    Element *highestDown = nullptr;
};

bool hasUndetermined(const ChordMembers &members);

// A note with stem 2 follows a definite-stem note one step away on the matching side.
void applyNeighbourRule(const ChordMembers &members);

// Per stem side, crotchets take the shortest duration code of the side's other notes.
void adjustCrotchets(const ChordMembers &members);

// With undetermined stems: all one direction when all notes are equally long, else the
// shortest notes one way and the rest the other.
void settleUndetermined(const ChordMembers &members, Messages &messages);

StemExtremes findExtremes(const ChordMembers &members);

// Undetermined notes at or below both extremes go down, at or above both go up.
void applyPositionRule(const ChordMembers &members, const StemExtremes &extremes);

// Moves extreme notes across until no up stem lies below a down stem; returns the number of
// moves and reports warning 8 when there was any.
std::int32_t resolveConflicts(const ChordMembers &members, StemExtremes &extremes,
                              Messages &messages);

// Gives every note still undetermined a side by its position against the extremes.
void applyFinalRule(const ChordMembers &members, StemExtremes &extremes, Messages &messages);

} // namespace stems

} // namespace qm
