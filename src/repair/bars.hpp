// Bar lengths and time signatures: opening signs, repeated signs, the closing bar, and the
// split-bar rule applied when systems are joined.
#pragma once

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Gives every stave an opening clef and time signature (warning or error 3).
void insertOpeningSigns(Score& score, Messages& messages);

// Drops clefs, time and key signatures that repeat the one in force, and NewStave elements.
void removeRepeatedSigns(Score& score);

// Turns a closing bar line into the stave's FinalBarStyle.
void setFinalBarStyles(Score& score);

// Removes the plain bar line that closes a short bar at a system's end, so the bar runs on.
// `end` is the stave's last element before the next system was appended.
void applySplitBarRule(Stave& stave, ElementIt end, Messages& messages);

} // namespace qm
