// Accidentals and accents are separate signs in an NW file; in NWC they belong to a note.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// A sign and the notes it may belong to: the nearest suitable one ahead of it and the last one
// behind it, each up to the nearest barrier (null for none).
struct SignNeighbours {
    Element *sign = nullptr;
    Element *ahead = nullptr;
    Element *behind = nullptr;
};

// Working storage of the two passes below, kept from stave to stave of one conversion.
struct SignScratch {
    std::vector<SignNeighbours> Found;      // the stave's signs of the kind, in list order
    std::vector<std::uint32_t> NextWaiting; // per sign: the next sign waiting in its slot, plus 1
    std::vector<std::uint8_t> SlotsInUse;   // slots with signs waiting since the last barrier
    // Per staff position slot: the last note seen, and the last sign waiting for its note ahead
    // (plus 1). Empty between uses, so a stave does not clear them whole.
    std::array<Element *, 256> NoteAt{};
    std::array<std::uint32_t, 256> Waiting{};
};

// Copies each accidental onto the note it belongs to (error 16 when none).
void attachAccidentals(Stave &stave, Messages &messages, SignScratch &scratch);

// Turns each accent sign into its note's articulation (errors 14, 15).
void attachAccents(Stave &stave, Messages &messages, SignScratch &scratch);

inline void attachAccidentals(Stave &stave, Messages &messages) {
    SignScratch scratch;
    attachAccidentals(stave, messages, scratch);
}
inline void attachAccents(Stave &stave, Messages &messages) {
    SignScratch scratch;
    attachAccents(stave, messages, scratch);
}

} // namespace qm
