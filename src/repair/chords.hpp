// Chord building: notes that sound together become a Chord element followed by its members.
#pragma once

#include <cstdint>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"
#include "repair/chord_groups.hpp"
#include "repair/stems.hpp"

namespace qm {

// Working storage of chord building, kept from stave to stave of one conversion so that a
// stave's groups allocate nothing once the buffers have grown.
struct ChordScratch {
    ChordGroupScratch Groups;
    ChordMembers Members;
    std::vector<std::int32_t> Values; // a duration per member
};

// Run on each stave while it is read: finds the groups and builds their chords.
void buildChords(Stave &stave, Messages &messages, ChordScratch &scratch);
inline void buildChords(Stave &stave, Messages &messages) {
    ChordScratch scratch;
    buildChords(stave, messages, scratch);
}

// Whole-score pass: splits a kept rest out of its chord as a RestChord element and dissolves
// chords left with fewer than two notes.
void splitRestChords(Score &score, Messages &messages);

} // namespace qm
