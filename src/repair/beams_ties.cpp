#include "repair/beams_ties.hpp"

#include <cstdint>
#include <string>

namespace qm {

namespace {

std::string num(std::int32_t value) { return std::to_string(value); }

// ", in stave N": built only when a message needs it.
std::string inStave(const Element &element) { return ", in stave " + num(element.StaveNo); }

// The first element from `from` on that carries `number`. Elements of another stave (bar lines
// copied from the stave above keep that stave's numbers) are passed over.
Element *forwardSearch(ElementList &list, ElementIt from, std::int32_t number) {
    const std::int32_t staveNo = from->StaveNo;
    for (ElementIt it = from; it != list.end(); ++it) {
        if (it->StaveNo == staveNo && it->ElementNo == number) return &*it;
    }
    return nullptr;
}

// The first Note of the given stave that carries `number`, searched from the head of the list.
Element *findNote(ElementList &list, std::int32_t staveNo, std::int32_t number) {
    for (Element &element : list) {
        if (element.ElementNo == number && element.StaveNo == staveNo &&
            element.Kind == Kind::Note) {
            return &element;
        }
    }
    return nullptr;
}

void clearMatchedFlags(ElementList &list, std::uint8_t NoteData::*flag) {
    for (Element &element : list) {
        if (element.Kind == Kind::Note) element.Note.*flag = 0;
    }
}

// A pair written as later -> earlier: the chain P -> L -> E -> Q becomes P -> E -> L -> Q.
void relinkReversedPair(ElementList &list, Element &later, Element &earlier) {
    const std::int32_t staveNo = later.StaveNo;
    const bool laterHadSource = later.Note.HasBeamFrom != 0;
    const ElementNumber oldSource = later.Note.BeamFrom;
    const bool earlierHadTarget = earlier.Note.HasBeamTo != 0;
    const ElementNumber oldTarget = earlier.Note.BeamTo;

    earlier.Note.HasBeamFrom = laterHadSource ? 1 : 0;
    earlier.Note.BeamFrom = laterHadSource ? oldSource : 0;
    if (laterHadSource) {
        if (Element *source = findNote(list, staveNo, oldSource))
            source->Note.BeamTo = earlier.ElementNo;
    }
    later.Note.HasBeamTo = earlierHadTarget ? 1 : 0;
    later.Note.BeamTo = earlierHadTarget ? oldTarget : 0;
    if (earlierHadTarget) {
        if (Element *target = findNote(list, staveNo, oldTarget))
            target->Note.BeamFrom = later.ElementNo;
    }
    later.Note.HasBeamFrom = 1;
    later.Note.BeamFrom = earlier.ElementNo;
    earlier.Note.HasBeamTo = 1;
    earlier.Note.BeamTo = later.ElementNo;
    // The later note now has its source confirmed, as if the earlier one had found it.
    later.Note.BeamMatched = 1;
}

void checkBackwardTarget(ElementList &list, Element &note, Messages &messages) {
    const std::int32_t x = note.ElementNo;
    const std::int32_t t = note.Note.BeamTo;
    Element *earlier = findNote(list, note.StaveNo, t);
    if (!earlier) {
        messages.reportError(68, "Missing beam end from element " + num(x) + " to element " +
                                     num(t) + inStave(note));
        note.Note.HasBeamTo = 0;
    } else if (earlier->Note.HasBeamFrom && earlier->Note.BeamFrom == x) {
        relinkReversedPair(list, note, *earlier);
    } else {
        messages.reportError(69, "Improperly matched beam ends between elements " + num(x) +
                                     " and " + num(t) + inStave(note));
    }
}

void checkForwardSource(ElementList &list, Element &note, Messages &messages) {
    const std::int32_t x = note.ElementNo;
    const std::int32_t f = note.Note.BeamFrom;
    Element *later = findNote(list, note.StaveNo, f);
    if (!later) {
        messages.reportError(70, "Missing beam start from element " + num(f) + " to element " +
                                     num(x) + inStave(note));
        note.Note.HasBeamFrom = 0;
    } else if (later->Note.HasBeamTo && later->Note.BeamTo == x) {
        relinkReversedPair(list, *later, note);
    } else {
        messages.reportError(71, "Improperly matched beam ends between elements " + num(x) +
                                     " and " + num(f) + inStave(note));
    }
}

// Both halves run; the second sees the links as the first left them.
void checkReversal(ElementList &list, Element &note, Messages &messages) {
    if (note.Note.HasBeamTo && note.Note.BeamTo < note.ElementNo)
        checkBackwardTarget(list, note, messages);
    if (note.Note.HasBeamFrom && note.Note.BeamFrom > note.ElementNo)
        checkForwardSource(list, note, messages);
}

bool pointsBackward(const Element &note) {
    return (note.Note.HasBeamTo && note.Note.BeamTo < note.ElementNo) ||
           (note.Note.HasBeamFrom && note.Note.BeamFrom > note.ElementNo);
}

// The fields and messages of one kind of link (beam or tie), so both are checked alike.
struct LinkKind {
    const char *word;
    ElementNumber NoteData::*To;
    std::uint8_t NoteData::*HasTo;
    ElementNumber NoteData::*From;
    std::uint8_t NoteData::*HasFrom;
    std::uint8_t NoteData::*Matched;
    int missingEndCode;
    int missingStartCode;
};

constexpr LinkKind Beam{"beam",
                        &NoteData::BeamTo,
                        &NoteData::HasBeamTo,
                        &NoteData::BeamFrom,
                        &NoteData::HasBeamFrom,
                        &NoteData::BeamMatched,
                        53,
                        54};
constexpr LinkKind Tie{"tie",
                       &NoteData::TieTo,
                       &NoteData::HasTieTo,
                       &NoteData::TieFrom,
                       &NoteData::HasTieFrom,
                       &NoteData::TieMatched,
                       55,
                       56};

// A target must name this note as its source; a source must have been confirmed by the note
// before it. Whatever does not match is reported and cleared.
template <const LinkKind &link>
void checkForwardLinks(ElementList &list, ElementIt it, Messages &messages) {
    NoteData &note = it->Note;
    const std::int32_t n = it->ElementNo;
    if (note.*link.HasTo) {
        Element *target = forwardSearch(list, it, note.*link.To);
        if (target && target->Kind == Kind::Note && target->Note.*link.HasFrom &&
            target->Note.*link.From == n) {
            target->Note.*link.Matched = 1;
        } else {
            messages.reportError(link.missingEndCode,
                                 std::string("Missing ") + link.word + " end, from element " +
                                     num(n) + " to element " + num(note.*link.To) + inStave(*it));
            note.*link.HasTo = 0;
        }
    } else if (note.*link.HasFrom && !(note.*link.Matched)) {
        messages.reportError(link.missingStartCode,
                             std::string("Missing ") + link.word + " start, to element " + num(n) +
                                 " from element " + num(note.*link.From) + inStave(*it));
        note.*link.HasFrom = 0;
    }
}

// Most notes carry no link of the kind, and then there is nothing to check.
template <const LinkKind &link> bool hasLinkToCheck(const NoteData &note) {
    return note.*link.HasTo || (note.*link.HasFrom && !(note.*link.Matched));
}

} // namespace

void pairBeams(Stave &stave, Messages &messages) {
    ElementList &list = stave.Elements;
    clearMatchedFlags(list, &NoteData::BeamMatched);
    for (ElementIt it = list.begin(); it != list.end(); ++it) {
        if (it->Kind != Kind::Note) continue;
        // A link that points the wrong way goes to the reversal check instead.
        if (pointsBackward(*it))
            checkReversal(list, *it, messages);
        else if (hasLinkToCheck<Beam>(it->Note))
            checkForwardLinks<Beam>(list, it, messages);
    }
}

void pairTies(Stave &stave, Messages &messages) {
    ElementList &list = stave.Elements;
    clearMatchedFlags(list, &NoteData::TieMatched);
    for (ElementIt it = list.begin(); it != list.end(); ++it) {
        if (it->Kind == Kind::Note && hasLinkToCheck<Tie>(it->Note))
            checkForwardLinks<Tie>(list, it, messages);
    }
}

} // namespace qm
