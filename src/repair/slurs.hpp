// Slur resolution: chains of slur points become slur flags on the notes under them.
#pragma once

#include <cstdint>
#include <limits>

#include "core/messages.hpp"
#include "core/score.hpp"

namespace qm {

// Finds the notes nearest to the first and last point of every chain of slur points, flags
// every note and rest between them, and retires the points (Kind Unknown). `slurPoints`, when
// known (the reader's count of the stave's slur points), ends the search once all are retired.
void resolveSlurs(Stave &stave, Messages &messages,
                  std::int32_t slurPoints = std::numeric_limits<std::int32_t>::max());

// The steps of the pass, exposed for testing. An iterator equal to stave.Elements.end() stands
// for "none" (no limit, no note found).

// Flags the notes of one slur whose chain runs first..middle..last; candidates for the end
// notes lie from anchor through limit.
void markSlur(Stave &stave, ElementIt anchor, ElementIt first, ElementIt middle, ElementIt last,
              ElementIt limit, Messages &messages);

// True when the curve through the three points bends upwards (or they are not strictly left to
// right, which reports error 9).
bool slurGradientRises(const Element &first, const Element &middle, const Element &last,
                       Messages &messages);

// The Note that best fits point P among the Notes from anchor through limit (to the end of the
// stave when limit is end()); end() and error 11 when none costs less than 100.
ElementIt nearestSlurNote(Stave &stave, ElementIt anchor, ElementIt point, ElementIt limit,
                          bool atStart, Messages &messages);

// Horizontal cost of binding note N to point P: its distance, tripled less 10 on the side the
// point does not prefer once it is 5 units or more away.
std::int32_t slurXCost(const Element &note, const Element &point, bool atStart);

// Distance between the heights of P and N on a circle of 256 positions (0..128).
std::int32_t slurYDistance(const Element &point, const Element &note);

} // namespace qm
