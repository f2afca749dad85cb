#include "repair/slurs.hpp"

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

namespace qm {

namespace {

// The next-to-last and last points of one chain as followed from its first point, and how
// many points it has.
struct SlurChain {
    ElementIt Middle;
    ElementIt Last;
    std::int32_t Points = 1;
};

// Clef, bar line, rest and signatures bound the stretch in which a slur's notes are looked for.
bool isAnchorKind(Kind kind) {
    switch (kind) {
    case Kind::Clef:
    case Kind::BarLine:
    case Kind::Rest:
    case Kind::TimeSig:
    case Kind::KeySig: return true;
    default: return false;
    }
}

bool carriesSlurFlags(Kind kind) {
    return kind == Kind::Note || kind == Kind::Rest || kind == Kind::RestChord ||
           kind == Kind::Chord;
}

std::int32_t saturateToInt32(std::int64_t value) {
    constexpr std::int64_t max = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value > max ? max : value);
}

// The first slur point from `from` on; every anchor-kind element passed becomes the anchor.
ElementIt findSlurStart(ElementList &list, ElementIt from, ElementIt &anchor) {
    for (ElementIt it = from; it != list.end(); ++it) {
        if (it->Kind == Kind::SlurPoint) return it;
        if (isAnchorKind(it->Kind)) anchor = it;
    }
    return list.end();
}

// The next point of a chain is always looked for forward, so a chain that names an earlier
// point (or itself) is broken rather than endless.
ElementIt findNextPoint(ElementList &list, ElementIt from, std::int32_t number) {
    for (ElementIt it = from; it != list.end(); ++it) {
        if (it->Kind == Kind::SlurPoint && it->ElementNo == number) return it;
    }
    return list.end();
}

// Retires every point it passes (Kind Unknown) so that no inner point starts a chain of its own;
// what follows reads only the points' positions and codes.
SlurChain followChain(ElementList &list, ElementIt first, Messages &messages) {
    SlurChain chain{first, first, 1};
    first->Kind = Kind::Unknown;
    while (chain.Last->Code != 0) {
        chain.Middle = chain.Last;
        const ElementIt next = findNextPoint(list, std::next(chain.Last), chain.Last->Code);
        if (next == list.end()) {
            messages.reportError(10, "Missing slur end element");
            break;
        }
        chain.Last = next;
        next->Kind = Kind::Unknown;
        ++chain.Points;
    }
    return chain;
}

ElementIt findAnchorFrom(ElementList &list, ElementIt from) {
    for (ElementIt it = from; it != list.end(); ++it) {
        if (isAnchorKind(it->Kind)) return it;
    }
    return list.end();
}

std::int32_t barNumberOf(const ElementList &list, const Element &point) {
    std::int32_t bar = 1;
    for (const Element &element : list) {
        if (&element == &point) break;
        if (element.Kind == Kind::BarLine) ++bar;
    }
    return bar;
}

void reportNoteNotFound(const ElementList &list, const Element &point, bool atStart,
                        Messages &messages) {
    std::string text = atStart ? "Not found note at start of " : "Not found note at end of ";
    text += "slur in stave " + std::to_string(point.StaveNo) + ", starting in bar " +
            std::to_string(barNumberOf(list, point)) + ", element " +
            std::to_string(point.ElementNo);
    messages.reportError(11, text);
}

bool comesBefore(ElementIt a, ElementIt b, ElementIt end) {
    for (ElementIt it = a; it != end; ++it) {
        if (it == b) return true;
    }
    return false;
}

// Every note and rest from the earlier end note to the later one gets the slur flags: the
// earlier only "goes on", the later only "comes in", those between both.
void flagNotesBetween(ElementIt from, ElementIt to, ElementIt end, std::uint8_t direction) {
    for (ElementIt it = from; it != end; ++it) {
        if (!carriesSlurFlags(it->Kind)) continue;
        if (it != from) {
            it->Note.HasSlurFrom = 1;
            it->Note.SlurDir = direction;
        }
        if (it != to) {
            it->Note.HasSlurTo = 1;
            it->Note.SlurDir = direction;
        }
        if (it == to) return;
    }
}

} // namespace

void resolveSlurs(Stave &stave, Messages &messages, std::int32_t slurPoints) {
    ElementList &list = stave.Elements;
    ElementIt anchor = list.begin();
    ElementIt cur = list.begin();
    // Every point is retired once, as the start of a chain or followed from one.
    while (slurPoints > 0) {
        // STEP 1: the next slur point starts a chain; the last anchor before it bounds the
        // candidates on the left.
        const ElementIt first = findSlurStart(list, cur, anchor);
        if (first == list.end()) return;
        // STEP 2: follow the chain forward to its last point, retiring its points.
        const SlurChain chain = followChain(list, first, messages);
        // STEP 3: the first anchor at or after the last point bounds the candidates on the right.
        const ElementIt limit = findAnchorFrom(list, chain.Last);
        // STEP 4: flag the notes under the slur.
        markSlur(stave, anchor, first, chain.Middle, chain.Last, limit, messages);
        slurPoints -= chain.Points;
        cur = std::next(first);
    }
}

void markSlur(Stave &stave, ElementIt anchor, ElementIt first, ElementIt middle, ElementIt last,
              ElementIt limit, Messages &messages) {
    const std::uint8_t direction = slurGradientRises(*first, *middle, *last, messages) ? 0 : 2;
    const ElementIt none = stave.Elements.end();
    ElementIt startNote = nearestSlurNote(stave, anchor, first, limit, true, messages);
    // A broken chain has no proper end, so no end note is looked for.
    ElementIt endNote =
        last->Code == 0 ? nearestSlurNote(stave, anchor, last, limit, false, messages) : none;
    if (startNote == none || endNote == none) return;
    // The end note may lie before the start note; the slur then runs between them in list order.
    if (!comesBefore(startNote, endNote, none)) std::swap(startNote, endNote);
    flagNotesBetween(startNote, endNote, none, direction);
}

bool slurGradientRises(const Element &first, const Element &middle, const Element &last,
                       Messages &messages) {
    if (!(first.XPos < middle.XPos && middle.XPos < last.XPos)) {
        messages.reportError(9, "Gradient error for slur");
        return true;
    }
    const auto gradient = [](const Element &a, const Element &b) {
        return static_cast<double>(std::int64_t{b.YPos} - a.YPos) /
               static_cast<double>(std::int64_t{b.XPos} - a.XPos);
    };
    return gradient(first, middle) < gradient(middle, last);
}

ElementIt nearestSlurNote(Stave &stave, ElementIt anchor, ElementIt point, ElementIt limit,
                          bool atStart, Messages &messages) {
    ElementList &list = stave.Elements;
    const ElementIt stop = limit == list.end() ? list.end() : std::next(limit);
    // STEP 1: the least horizontal cost below 100; the earlier note wins a tie.
    ElementIt best = list.end();
    std::int32_t bestCost = 100;
    for (ElementIt it = anchor; it != stop && it != list.end(); ++it) {
        if (it->Kind != Kind::Note) continue;
        const std::int32_t cost = slurXCost(*it, *point, atStart);
        if (cost < bestCost) {
            best = it;
            bestCost = cost;
        }
    }
    if (best == list.end()) {
        reportNoteNotFound(list, *point, atStart, messages);
        return best;
    }
    // STEP 2: among the notes within one unit of that cost, the nearest in height wins.
    std::int32_t bestDistance = slurYDistance(*point, *best);
    for (ElementIt it = anchor; it != stop && it != list.end(); ++it) {
        if (it->Kind != Kind::Note || slurXCost(*it, *point, atStart) >= bestCost + 2) continue;
        const std::int32_t distance = slurYDistance(*point, *it);
        if (distance < bestDistance) {
            best = it;
            bestDistance = distance;
        }
    }
    return best;
}

std::int32_t slurXCost(const Element &note, const Element &point, bool atStart) {
    std::int64_t dx = std::int64_t{point.XPos} - note.XPos;
    const std::int64_t distance = dx < 0 ? -dx : dx;
    if (distance < 5) return static_cast<std::int32_t>(distance);
    if (!atStart) dx = -dx;
    if (dx >= 0) return saturateToInt32(dx);
    return saturateToInt32(5 - 3 * (dx + 5));
}

std::int32_t slurYDistance(const Element &point, const Element &note) {
    // The remainder is taken non-negative, so any height difference lands on the circle.
    const std::int64_t difference = std::int64_t{point.YPos} - note.YPos;
    const std::int64_t r = ((difference % 256) + 256) % 256;
    return static_cast<std::int32_t>(r < 128 ? r : 256 - r);
}

} // namespace qm
