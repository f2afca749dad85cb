// Chord building: notes that sound together become a Chord element followed by its members.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Run on each stave while it is read: finds the groups and builds their chords.
void buildChords(Stave &stave, Messages &messages);

// Whole-score pass: splits a kept rest out of its chord as a RestChord element and dissolves
// chords left with fewer than two notes.
void splitRestChords(Score &score, Messages &messages);

} // namespace qm
