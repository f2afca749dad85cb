#include "repair/stems.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "repair/durations.hpp"

namespace qm {

namespace {

constexpr std::uint8_t Up = 0;
constexpr std::uint8_t Down = 1;

bool isDefinite(std::uint8_t stem) { return stem == Up || stem == Down; }
bool isUndetermined(std::uint8_t stem) { return stem >= 2; }
std::uint8_t opposite(std::uint8_t stem) { return stem == Down ? Up : Down; }

bool isNote(const Element *e) { return e->Kind == Kind::Note; }

// The reference direction of a rest chord comes from the first member with a definite stem,
// searched by these kinds of member in turn: long notes first, grace rests last.
using MemberFilter = bool (*)(const Element &);
constexpr std::array<MemberFilter, 6> ReferenceWalks{
    [](const Element &e) { return e.Kind == Kind::Note && !e.Note.Grace && e.Note.Duration >= 2; },
    [](const Element &e) { return e.Kind == Kind::Note && !e.Note.Grace && e.Note.Duration <= 1; },
    [](const Element &e) { return e.Kind == Kind::Rest && !e.Note.Grace; },
    [](const Element &e) { return e.Kind == Kind::Note && e.Note.Grace && e.Note.Duration >= 2; },
    [](const Element &e) { return e.Kind == Kind::Note && e.Note.Grace && e.Note.Duration <= 1; },
    [](const Element &e) { return e.Kind == Kind::Rest && e.Note.Grace; },
};

std::optional<std::uint8_t> referenceStem(const ChordMembers &members) {
    for (MemberFilter looksAt : ReferenceWalks) {
        for (const Element *e : members) {
            if (looksAt(*e) && isDefinite(e->Note.Stem)) return e->Note.Stem;
        }
    }
    return std::nullopt;
}

// The note of the given stem at the extreme position (lowest or highest); earliest on ties.
Element *extremeWithStem(const ChordMembers &members, std::uint8_t stem, bool lowest) {
    Element *best = nullptr;
    for (Element *e : members) {
        if (!isNote(e) || e->Note.Stem != stem) continue;
        const std::int32_t p = e->Note.Position;
        if (!best || (lowest ? p < best->Note.Position : p > best->Note.Position)) best = e;
    }
    return best;
}

std::int32_t countWithStem(const ChordMembers &members, std::uint8_t stem) {
    std::int32_t n = 0;
    for (const Element *e : members) {
        if (isNote(e) && e->Note.Stem == stem) ++n;
    }
    return n;
}

void copyLength(Element &to, const Element &from) {
    to.Note.Duration = from.Note.Duration;
    to.Note.Dotted = from.Note.Dotted;
    to.Note.DoubleDotted = from.Note.DoubleDotted;
}

// Counts of each side and the lengths of the extremes as the conflict resolution started.
struct Sides {
    std::int32_t nUp = 0;
    std::int32_t nDown = 0;
    std::int32_t durUp = 0;
    std::int32_t durDown = 0;
};

// Moves the extreme of one side (`from`) to the other side, taking the other extreme's length
// when the two differed, then finds the side's new extreme, dropping notes that lie on the
// moved note's position (they would duplicate it).
void moveAcross(const ChordMembers &members, Element *&from, Element *other, std::uint8_t toStem,
                Sides &sides) {
    Element &moved = *from;
    moved.Note.Stem = toStem;
    if (sides.durUp != sides.durDown) copyLength(moved, *other);
    std::int32_t &fromCount = toStem == Down ? sides.nUp : sides.nDown;
    std::int32_t &toCount = toStem == Down ? sides.nDown : sides.nUp;
    ++toCount;
    --fromCount;
    const std::uint8_t fromStem = opposite(toStem);
    const bool lowest = fromStem == Up;
    from = extremeWithStem(members, fromStem, lowest);
    while (from && from->Note.Position == moved.Note.Position) {
        from->Kind = Kind::Unknown;
        --fromCount;
        from = extremeWithStem(members, fromStem, lowest);
    }
}

bool isConsistent(const stems::StemExtremes &x) {
    return !x.lowestUp || !x.highestDown ||
           x.highestDown->Note.Position <= x.lowestUp->Note.Position;
}

} // namespace

void chooseRestChordStems(const ChordMembers &members, const Element &keptRest) {
    const std::uint8_t restStem = keptRest.Note.Stem;
    const std::optional<std::uint8_t> reference = referenceStem(members);
    std::uint8_t notes = Down;
    std::uint8_t rest = Up;
    if (!reference || *reference == restStem) {
        // No usable direction: the notes take the side where most of them lie.
        std::int32_t above = 0;
        std::int32_t below = 0;
        for (const Element *e : members) {
            if (e->Note.Position > keptRest.Note.Position) ++above;
            if (e->Note.Position < keptRest.Note.Position) ++below;
        }
        if (above > below) {
            notes = Up;
            rest = Down;
        }
    } else {
        notes = *reference;
        rest = restStem;
    }
    for (Element *e : members) {
        if (e->Kind == Kind::Rest) e->Note.Stem = rest;
        if (e->Kind == Kind::Note) e->Note.Stem = notes;
    }
}

void chooseNoteChordStems(const ChordMembers &members, Messages &messages) {
    // STEP 1: stems that point at a neighbour take its direction.
    stems::applyNeighbourRule(members);

    // STEP 2: crotchets sharing a stem with shorter notes are drawn as those.
    stems::adjustCrotchets(members);

    // STEP 3: settle undetermined stems by length, all at once where that decides.
    if (stems::hasUndetermined(members)) stems::settleUndetermined(members, messages);

    // STEP 4: what is still open goes to the side its position agrees with.
    stems::StemExtremes extremes = stems::findExtremes(members);
    stems::applyPositionRule(members, extremes);

    // STEP 5: no up stem may lie below a down stem.
    stems::resolveConflicts(members, extremes, messages);

    // STEP 6: the position rule again, then a side for every note still open.
    stems::applyPositionRule(members, extremes);
    stems::applyFinalRule(members, extremes, messages);
}

namespace stems {

bool hasUndetermined(const ChordMembers &members) {
    for (const Element *e : members) {
        if (e->isNoteOrRest() && isUndetermined(e->Note.Stem)) return true;
    }
    return false;
}

void applyNeighbourRule(const ChordMembers &members) {
    for (Element *x : members) {
        if (!isNote(x) || x->Note.Stem != 2) continue;
        const std::int64_t p = x->Note.Position;
        for (const Element *m : members) {
            if (!isNote(m)) continue;
            if (m->Note.Stem == Down && m->Note.Position == p + 1) {
                x->Note.Stem = Down;
            } else if (m->Note.Stem == Up && m->Note.Position == p - 1) {
                x->Note.Stem = Up;
            }
        }
    }
}

void adjustCrotchets(const ChordMembers &members) {
    for (const std::uint8_t stem : {Up, Down}) {
        bool hasCrotchet = false;
        std::optional<std::uint8_t> shortest; // largest code among the side's other notes
        for (const Element *e : members) {
            if (!isNote(e) || e->Note.Stem != stem) continue;
            if (e->Note.Duration == 3) {
                hasCrotchet = true;
            } else if (!shortest || e->Note.Duration > *shortest) {
                shortest = e->Note.Duration;
            }
        }
        if (!hasCrotchet || !shortest || *shortest <= 3) continue;
        for (Element *e : members) {
            if (isNote(e) && e->Note.Stem == stem && e->Note.Duration == 3)
                e->Note.Duration = *shortest;
        }
    }
}

namespace {

// Equally long notes: all up unless the definite stems are all down; mixed definite stems
// leave the notes as they are.
void settleEqualLengths(const ChordMembers &members) {
    bool anyUp = false;
    bool anyDown = false;
    for (const Element *e : members) {
        if (!isNote(e)) continue;
        anyUp = anyUp || e->Note.Stem == Up;
        anyDown = anyDown || e->Note.Stem == Down;
    }
    if (anyUp && anyDown) return;
    const std::uint8_t stem = anyDown ? Down : Up;
    for (Element *e : members) {
        if (isNote(e)) e->Note.Stem = stem;
    }
}

// Unequal lengths: the shortest notes take the direction known for them (or the opposite of
// the last definite direction seen, or down), every other note the other direction.
void splitByLength(const ChordMembers &members, const std::vector<std::int32_t> &values) {
    std::int32_t s = 0;
    std::uint8_t e = 4;
    bool known = false;
    bool started = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!isNote(members[i])) continue;
        const std::uint8_t stem = members[i]->Note.Stem;
        const std::int32_t v = values[i];
        if (!started || (v == s && !known)) {
            started = true;
            s = v;
            e = stem;
            known = isDefinite(stem);
        } else if (v < s) {
            s = v;
            known = isDefinite(stem);
            if (known) e = stem;
        }
    }
    if (!known) e = opposite(e);
    const std::uint8_t f = opposite(e);
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (isNote(members[i])) members[i]->Note.Stem = values[i] == s ? e : f;
    }
}

} // namespace

void settleUndetermined(const ChordMembers &members, Messages &messages) {
    std::vector<std::int32_t> values(members.size(), 0);
    std::optional<std::int32_t> common;
    bool allEqual = true;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!isNote(members[i])) continue;
        values[i] = durationValue(*members[i], messages);
        if (common && *common != values[i]) allEqual = false;
        common = values[i];
    }
    if (allEqual) {
        settleEqualLengths(members);
    } else {
        splitByLength(members, values);
    }
}

StemExtremes findExtremes(const ChordMembers &members) {
    return StemExtremes{extremeWithStem(members, Up, true), extremeWithStem(members, Down, false)};
}

void applyPositionRule(const ChordMembers &members, const StemExtremes &extremes) {
    if (!hasUndetermined(members)) return;
    if (!extremes.lowestUp && !extremes.highestDown) return;
    const std::int32_t u = extremes.lowestUp ? extremes.lowestUp->Note.Position : 256;
    const std::int32_t v = extremes.highestDown ? extremes.highestDown->Note.Position : -256;
    for (Element *e : members) {
        if (!isNote(e) || !isUndetermined(e->Note.Stem)) continue;
        const std::int32_t p = e->Note.Position;
        if (p <= u && p <= v) {
            e->Note.Stem = Down;
        } else if (p >= v && p >= u) {
            e->Note.Stem = Up;
        }
    }
}

std::int32_t resolveConflicts(const ChordMembers &members, StemExtremes &extremes,
                              Messages &messages) {
    if (isConsistent(extremes)) return 0;
    Sides sides{countWithStem(members, Up), countWithStem(members, Down),
                durationValue(*extremes.lowestUp, messages),
                durationValue(*extremes.highestDown, messages)};
    // Every move takes an extreme note across the other side's extreme, so no note crosses
    // twice: the loop ends within one move per member.
    std::int32_t i = 0;
    for (std::size_t moves = 0; !isConsistent(extremes) && moves < members.size(); ++moves) {
        const bool upGives = sides.nUp > sides.nDown || (sides.nUp == sides.nDown && i % 2 == 1);
        if (upGives) {
            moveAcross(members, extremes.lowestUp, extremes.highestDown, Down, sides);
        } else {
            moveAcross(members, extremes.highestDown, extremes.lowestUp, Up, sides);
        }
        ++i;
    }
    const Element &first = *members.front();
    messages.reportWarning(8, "The stem direction had to be changed on " + std::to_string(i) +
                                  " notes in the chord at element " +
                                  std::to_string(first.ElementNo) + " of NW stave " +
                                  std::to_string(first.StaveNo));
    return i;
}

void applyFinalRule(const ChordMembers &members, StemExtremes &extremes, Messages &messages) {
    if (!hasUndetermined(members)) return;
    // A missing down side lies below every note and a missing up side above every note, so a
    // note between them goes to the side it can join without a conflict.
    const std::int32_t durD =
        extremes.highestDown ? durationValue(*extremes.highestDown, messages) : 0;
    for (Element *e : members) {
        if (!isNote(e) || !isUndetermined(e->Note.Stem)) continue;
        const std::int32_t p = e->Note.Position;
        if (extremes.highestDown && p <= extremes.highestDown->Note.Position) {
            e->Note.Stem = Down;
        } else if (extremes.lowestUp && p >= extremes.lowestUp->Note.Position) {
            e->Note.Stem = Up;
        } else if (extremes.highestDown && durationValue(*e, messages) == durD) {
            e->Note.Stem = Down;
            extremes.highestDown = e;
        } else {
            e->Note.Stem = Up;
            extremes.lowestUp = e;
        }
    }
}

} // namespace stems

} // namespace qm
