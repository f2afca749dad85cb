#include "repair/chords.hpp"

#include <cassert>
#include <cstddef>
#include <iterator>
#include <vector>

#include "repair/chord_groups.hpp"
#include "repair/durations.hpp"
#include "repair/stems.hpp"

namespace qm {

namespace {

constexpr std::int32_t NoLength = 256; // longer than any note

// The Notes and Rests from `first` to `last`, both included, into `members`.
void collectNotesAndRests(ElementIt first, ElementIt last, ChordMembers &members) {
    members.clear();
    for (ElementIt it = first, stop = std::next(last); it != stop; ++it)
        if (it->isNoteOrRest()) members.push_back(&*it);
}

// Keeps the shortest rest (the first of them) unless a note is shorter still; every other rest
// becomes a grace note. Returns the kept rest, or null.
Element *keepShortestRest(const ChordMembers &members, std::vector<std::int32_t> &values,
                          Messages &messages) {
    values.assign(members.size(), 0);
    std::int32_t minNote = NoLength;
    std::int32_t minRest = NoLength;
    bool anyRest = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        values[i] = durationValue(*members[i], messages);
        const bool isRest = members[i]->Kind == Kind::Rest;
        anyRest = anyRest || isRest;
        std::int32_t &min = isRest ? minRest : minNote;
        if (values[i] != 0 && values[i] < min) min = values[i];
    }
    if (!anyRest) return nullptr;

    const std::int32_t m = minNote < minRest ? minNote : minRest;
    Element *kept = nullptr;
    bool changed = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        Element &e = *members[i];
        if (e.Kind != Kind::Rest) continue;
        if (!kept && values[i] <= m) {
            kept = &e;
            continue;
        }
        e.Kind = Kind::Note;
        e.Note.Grace = 1;
        changed = true;
    }
    if (changed)
        messages.reportError(58,
                             "Changed some rests in chord to grace notes with meaningless pitch");
    return kept;
}

// Other elements lying among the members go directly after the group, each as it is met, so
// several end up in reverse order. `last` itself stays.
void moveOthersAfterLast(ElementList &list, ElementIt first, ElementIt last) {
    ElementIt it = first;
    while (it != last) {
        const ElementIt current = it++;
        if (!current->isNoteOrRest()) list.splice(std::next(last), list, current);
    }
}

// The slur marks of the last slurred note go to every note of the same duration code.
void mergeSlurMarks(const ChordMembers &members) {
    const Element *source = nullptr;
    for (const Element *e : members) {
        if (e->Kind == Kind::Note && (e->Note.HasSlurFrom || e->Note.HasSlurTo)) source = e;
    }
    if (!source) return;
    for (Element *e : members) {
        if (e == source || e->Kind != Kind::Note || e->Note.Duration != source->Note.Duration)
            continue;
        e->Note.HasSlurFrom = source->Note.HasSlurFrom;
        e->Note.HasSlurTo = source->Note.HasSlurTo;
        e->Note.SlurDir = source->Note.SlurDir;
    }
}

// A beam or aux flag set on one note of a stem side (up or down) is set on every note of that
// side.
void mergeBeamAndAuxMarks(const ChordMembers &members) {
    // One bit per flag: HasBeamFrom, HasBeamTo, AuxFrom, AuxTo.
    const auto marksOf = [](const NoteData &n) {
        return n.HasBeamFrom | n.HasBeamTo << 1 | n.AuxFrom << 2 | n.AuxTo << 3;
    };
    int marksOnSide[2] = {};
    for (const Element *e : members) {
        if (e->Kind != Kind::Note || e->Note.Stem > 1) continue;
        marksOnSide[e->Note.Stem] |= marksOf(e->Note);
    }
    for (Element *e : members) {
        if (e->Kind != Kind::Note || e->Note.Stem > 1) continue;
        const int marks = marksOnSide[e->Note.Stem];
        if (marks & 1) e->Note.HasBeamFrom = 1;
        if (marks & 2) e->Note.HasBeamTo = 1;
        if (marks & 4) e->Note.AuxFrom = 1;
        if (marks & 8) e->Note.AuxTo = 1;
    }
}

// The note whose fields the chord shows: the shortest, and of those the highest (earliest on
// ties).
const Element *shortestHighestNote(const ChordMembers &members, Messages &messages) {
    const Element *best = nullptr;
    std::int32_t bestValue = 0;
    for (const Element *e : members) {
        if (e->Kind != Kind::Note) continue;
        const std::int32_t v = durationValue(*e, messages);
        if (v == 0) continue;
        const bool shorter = !best || v < bestValue;
        if (shorter || (v == bestValue && e->Note.Position > best->Note.Position)) {
            best = e;
            bestValue = v;
        }
    }
    return best ? best : members.front();
}

std::int32_t countMembers(const ChordMembers &members) {
    std::int32_t n = 0;
    for (const Element *e : members) {
        if (e->isNoteOrRest()) ++n;
    }
    return n;
}

void buildChord(Stave &stave, const ChordGroup &group, ChordScratch &scratch, Messages &messages) {
    const ChordMembers &members = scratch.Members;
    ElementList &list = stave.Elements;
    // The Chord element goes in front of the group; the element before the group is not moved
    // below, so it marks that place even if the group's first element were moved away.
    const bool atHead = group.first == list.begin();
    const ElementIt before = atHead ? list.end() : std::prev(group.first);

    // STEP 1: at most one rest stays a rest; it makes the chord a rest chord.
    const Element *keptRest = keepShortestRest(members, scratch.Values, messages);

    // STEP 2: settle the members' stems.
    if (keptRest) {
        chooseRestChordStems(members, *keptRest);
    } else {
        chooseNoteChordStems(members, messages);
    }

    // STEP 3: the members become contiguous; other elements follow the chord.
    moveOthersAfterLast(list, group.first, group.last);

    // STEP 4: slur, beam and aux marks are shared within the chord.
    mergeSlurMarks(members);
    mergeBeamAndAuxMarks(members);

    // STEP 5: the Chord element shows its shortest highest note and leads its members.
    Element chord = *shortestHighestNote(members, messages);
    chord.Kind = Kind::Chord;
    chord.Note.ChordFlag = keptRest ? 1 : 0;
    chord.Note.InChord = 1;
    // A group lies within one stave as read: at most 255 records.
    chord.Note.MemberCount = static_cast<ElementNumber>(countMembers(members));
    for (Element *e : members) {
        if (e->isNoteOrRest()) e->Note.InChord = 1;
    }
    stave.ElementCount = stave.ElementCount - chord.Note.MemberCount + 1;
    list.insert(atHead ? list.begin() : std::next(before), chord);
}

// The chord's members: the Notes and Rests that directly follow it, at most MemberCount.
std::vector<ElementIt> membersOf(ElementList &list, ElementIt chord) {
    std::vector<ElementIt> members;
    const std::int32_t wanted = chord->Note.MemberCount;
    for (ElementIt it = std::next(chord);
         it != list.end() && it->isNoteOrRest() && std::ssize(members) < wanted; ++it) {
        members.push_back(it);
    }
    return members;
}

// The chord's kept rest goes directly before it as a RestChord element; the notes left in the
// chord carry the rest-chord mark. The rest is looked for among the chord's own members only.
void splitOffRest(Stave &stave, ElementIt chord) {
    ElementList &list = stave.Elements;
    for (ElementIt rest : membersOf(list, chord)) {
        if (rest->Kind != Kind::Rest) continue;
        list.splice(chord, list, rest);
        rest->Kind = Kind::RestChord;
        rest->Note.MemberCount = 1;
        rest->Note.ChordFlag = 1;
        --chord->Note.MemberCount;
        --stave.ElementCount;
        for (ElementIt note : membersOf(list, chord)) {
            if (note->Kind == Kind::Note) note->Note.ChordFlag = 1;
        }
        return;
    }
}

// A chord of fewer than two notes is no chord: its note stands alone.
void dissolveChord(ElementList &list, ElementIt chord) {
    for (ElementIt note : membersOf(list, chord)) {
        if (note->Kind != Kind::Note) continue;
        note->Note.InChord = 0;
        note->Note.ChordFlag = 0;
    }
    chord->Kind = Kind::Unknown;
}

} // namespace

void buildChords(Stave &stave, Messages &messages, ChordScratch &scratch) {
    const ElementIt end = stave.Elements.end();
    ElementIt from = stave.Elements.begin();
    scratch.Groups.reset();
    for (;;) {
        from = skipLoneNotes(from, end);
        const auto group = findChordGroup(from, end, scratch.Groups);
        if (!group) break;
        if (group->first == group->last) { // a lone note or rest: no chord
            from = std::next(group->last);
            continue;
        }
        collectNotesAndRests(group->first, group->last, scratch.Members);
        if (scratch.Members.size() >= 2) buildChord(stave, *group, scratch, messages);
        from = std::next(group->last);
    }
    assert(chordsLeadTheirMembers(stave));
}

void splitRestChords(Score &score, Messages &) {
    for (Stave &stave : score.Staves) {
        ElementList &list = stave.Elements;
        for (ElementIt it = list.begin(); it != list.end(); ++it) {
            if (it->Kind != Kind::Chord) continue;
            if (it->Note.ChordFlag) splitOffRest(stave, it);
            if (it->Note.MemberCount < 2) dissolveChord(list, it);
        }
        assert(chordsLeadTheirMembers(stave));
    }
}

} // namespace qm
