#include "repair/chord_groups.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace qm {

namespace {

bool isDefinite(std::uint8_t stem) { return stem == 0 || stem == 1; }

// chordRelation, inlined where groups are measured.
inline ChordRelation relationOf(const Element &first, const Element &second) {
    const bool firstIsLeft = first.XPos <= second.XPos;
    const Element &a = firstIsLeft ? first : second;
    const Element &b = firstIsLeft ? second : first;
    const std::int64_t d = std::int64_t{b.XPos} - a.XPos;
    const std::int64_t w = (a.Note.Grace && b.Note.Grace) ? 7 : 14;
    const std::uint8_t sa = a.Note.Stem;
    const std::uint8_t sb = b.Note.Stem;

    if (d < 5) return ChordRelation::Together;
    if ((sa == 1 && isDefinite(sb)) || (sa == 0 && sb == 0)) return ChordRelation::Apart;
    if (d < w) {
        if ((sa == 2 || sb == 2) && sa != sb) return ChordRelation::Together;
        const bool downBelowUp = std::int64_t{b.Note.Position} + 1 == a.Note.Position;
        if (sa == 0 && sb == 1 && downBelowUp) return ChordRelation::Together;
        return ChordRelation::Undecided;
    }
    if (isDefinite(sa) || isDefinite(sb)) return ChordRelation::Apart;
    return d < 2 * w ? ChordRelation::Undecided : ChordRelation::Apart;
}

bool endsGroups(Kind kind) {
    return kind == Kind::Clef || kind == Kind::BarLine || kind == Kind::TimeSig ||
           kind == Kind::KeySig;
}

// The Notes and Rests from `first` up to the next barrier (or `end`), in list order.
void collectSegment(ElementIt first, ElementIt end, ChordGroupScratch &scratch) {
    std::vector<ElementIt> &notes = scratch.Notes;
    notes.clear();
    for (ElementIt it = first; it != end && !endsGroups(it->Kind); ++it) {
        if (it->isNoteOrRest()) notes.push_back(it);
    }
    scratch.LeftmostReady = false;
    scratch.Next = 0;
}

// For each note of the collected run, the index of the note furthest left from it on (the
// earliest in list order on ties), so every group of the run finds its leftmost note at once.
// Made when the run's first group that may build a chord asks for it: most runs have none.
const std::vector<std::size_t> &leftmostFrom(ChordGroupScratch &scratch) {
    std::vector<std::size_t> &leftmost = scratch.LeftmostFrom;
    if (scratch.LeftmostReady) return leftmost;
    const std::vector<ElementIt> &notes = scratch.Notes;
    leftmost.resize(notes.size());
    for (std::size_t i = notes.size(); i-- > 0;) {
        const bool laterIsLeft =
            i + 1 < notes.size() && notes[leftmost[i + 1]]->XPos < notes[i]->XPos;
        leftmost[i] = laterIsLeft ? leftmost[i + 1] : i;
    }
    scratch.LeftmostReady = true;
    return leftmost;
}

// Where `first` lies in the collected run. Building a chord only rearranges the elements of its
// own group, so the notes after a group, up to the barrier, are still those collected; the
// search only moves forward, so a whole run costs one walk. Collects a new run when `first`
// lies beyond the old one.
std::size_t segmentIndexOf(ElementIt first, ElementIt end, ChordGroupScratch &scratch) {
    const std::vector<ElementIt> &notes = scratch.Notes;
    while (scratch.Next < notes.size() && notes[scratch.Next] != first)
        ++scratch.Next;
    if (scratch.Next == notes.size()) collectSegment(first, end, scratch);
    return scratch.Next;
}

// The last note of the unbroken run, from the leftmost note on, that may share its chord.
std::size_t extendFromLeftmost(std::span<const ElementIt> notes, std::size_t leftmost) {
    std::size_t last = leftmost;
    for (std::size_t i = leftmost + 1; i < notes.size(); ++i) {
        if (relationOf(*notes[leftmost], *notes[i]) == ChordRelation::Apart) break;
        last = i;
    }
    return last;
}

struct Membership {
    std::vector<bool> &inSet; // proven to sound together with the leftmost note
    bool undecided = false;
    std::size_t last = 0;
};

// Compares every pair of notes up to `last`. A pair that is apart pulls `last` back to the
// note before the offending one; the walk of A stops once A lies beyond `last`, so a group
// never grows and never reaches past its barrier.
Membership measureMembers(std::span<const ElementIt> notes, std::size_t leftmost, std::size_t last,
                          std::vector<bool> &inSet) {
    Membership m{inSet};
    m.inSet.assign(last + 1, false);
    m.inSet[leftmost] = true;
    m.last = last;
    for (std::size_t a = 0; a <= m.last; ++a) {
        std::size_t mark = a;
        for (std::size_t b = 0; b <= m.last; ++b) {
            if (b == a) continue;
            const ChordRelation relation = relationOf(*notes[a], *notes[b]);
            if (relation == ChordRelation::Apart) {
                m.last = mark;
                break;
            }
            mark = b;
            if (relation == ChordRelation::Undecided) {
                m.undecided = true;
            } else if (m.inSet[a]) {
                m.inSet[b] = true;
            }
        }
    }
    return m;
}

// With an undecided pair in the group, the group ends before its first note that was not
// proven to belong; the element kept as last may then be any element.
ElementIt trimToMembers(std::span<const ElementIt> notes, const Membership &m) {
    const ElementIt last = notes[m.last];
    ElementIt previous = notes.front();
    std::size_t index = 0;
    for (ElementIt it = notes.front(), stop = std::next(last); it != stop; ++it) {
        if (it->isNoteOrRest()) {
            if (!m.inSet[index]) return previous;
            ++index;
        }
        previous = it;
    }
    return last;
}

} // namespace

ChordRelation chordRelation(const Element &first, const Element &second) {
    return relationOf(first, second);
}

ElementIt skipLoneNotes(ElementIt from, ElementIt end) {
    // A note is alone when the next note of its run is apart from it (or there is none): that
    // pair is the first that findChordGroup checks, whichever note the group is measured from,
    // and it then hands the note out as a group of its own.
    ElementIt previous = end; // the last note of the run so far
    for (ElementIt it = from; it != end; ++it) {
        if (endsGroups(it->Kind)) {
            previous = end;
        } else if (it->isNoteOrRest()) {
            if (previous != end && relationOf(*previous, *it) != ChordRelation::Apart)
                return previous;
            previous = it;
        }
    }
    return end;
}

std::optional<ChordGroup> findChordGroup(ElementIt from, ElementIt end,
                                         ChordGroupScratch &scratch) {
    // STEP 1: the group starts at the next Note or Rest.
    ElementIt first = from;
    while (first != end && !first->isNoteOrRest())
        ++first;
    if (first == end) return std::nullopt;

    // STEP 2: only notes before the next clef, bar line or signature can join it.
    const std::size_t start = segmentIndexOf(first, end, scratch);
    const std::span<const ElementIt> notes = std::span(scratch.Notes).subspan(start);

    // STEP 3: a chord is measured from its leftmost note.
    const std::size_t leftmost = leftmostFrom(scratch)[start] - start;

    // STEP 4: take notes while they may share the leftmost note's chord.
    const std::size_t last = extendFromLeftmost(notes, leftmost);
    if (last == 0) return ChordGroup{first, first};

    // STEP 5: check every pair; find the notes proven to belong with the leftmost one.
    const Membership membership = measureMembers(notes, leftmost, last, scratch.InSet);
    if (membership.last == 0) return ChordGroup{first, first};

    // STEP 6: when some pair stayed undecided, keep only the proven run.
    if (!membership.undecided) return ChordGroup{first, notes[membership.last]};
    return ChordGroup{first, trimToMembers(notes, membership)};
}

} // namespace qm
