// Texts: fragments joined, texts that spell a direction turned into it, the title found.
#pragma once

#include <cstdint>
#include <limits>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Joins the fragments of a text that NW split into 12-character records. `texts`, when known
// (the reader's count of the stave's texts), ends the walks at the last text.
void joinTextFragments(Stave &stave, Score &score,
                       std::int32_t texts = std::numeric_limits<std::int32_t>::max());

// Turns texts that spell a dynamic variation, performance style or flow direction into it.
void classifyTexts(Stave &stave, const Score &score);

// On the first stave, takes the topmost title-style text above the stave as the title.
void findTitle(Stave &stave, Score &score);

} // namespace qm
