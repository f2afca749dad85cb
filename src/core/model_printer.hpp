// A readable text form of the score model, for tools and tests: one line for the score, one
// per stave, one per element with the fields of its kind. Note fields are shown only where
// they differ from a new note record, so a line says what is special about the note.
//
//   score version=200 staves=1 title=0
//   text 1 "Allegro"
//   stave 1 y=0 start=1 end=0 style=0 clef=0 lyrics=0 final_bar=0 count=3
//     #1 clef x=10 y=0 code=0
//     #2 note x=20 y=-4 dur=4 pos=2 beam_to=3 has_beam_to=1      (no code= on note kinds)
//     #2 text x=30 y=8 text=1 style=2
//
// An element that belongs to another stave number (a bar line copied from the stave before)
// shows it as s=N after its number.
#pragma once

#include <string>
#include <string_view>

#include "core/score.hpp"

namespace qm {

std::string printElement(const Element &element, std::int32_t staveNo);
std::string printStave(const Stave &stave);
std::string printScore(const Score &score);

// The word the printer uses for a kind: "note", "bar", "timesig", ...
std::string_view kindWord(Kind kind);

} // namespace qm
