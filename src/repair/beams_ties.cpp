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

// The flags a link kind reads and writes (bit-fields: no member pointers to them).
constexpr NoteFlag HasBeamToFlag{[](const NoteData &n) -> bool { return n.HasBeamTo; },
                                 [](NoteData &n, bool v) { n.HasBeamTo = v; }};
constexpr NoteFlag HasBeamFromFlag{[](const NoteData &n) -> bool { return n.HasBeamFrom; },
                                   [](NoteData &n, bool v) { n.HasBeamFrom = v; }};
constexpr NoteFlag BeamMatchedFlag{[](const NoteData &n) -> bool { return n.BeamMatched; },
                                   [](NoteData &n, bool v) { n.BeamMatched = v; }};
constexpr NoteFlag HasTieToFlag{[](const NoteData &n) -> bool { return n.HasTieTo; },
                                [](NoteData &n, bool v) { n.HasTieTo = v; }};
constexpr NoteFlag HasTieFromFlag{[](const NoteData &n) -> bool { return n.HasTieFrom; },
                                  [](NoteData &n, bool v) { n.HasTieFrom = v; }};
constexpr NoteFlag TieMatchedFlag{[](const NoteData &n) -> bool { return n.TieMatched; },
                                  [](NoteData &n, bool v) { n.TieMatched = v; }};

// The fields and messages of one kind of link (beam or tie), so both are checked alike.
struct LinkKind {
    const char *word;
    ElementNumber NoteData::*To;
    NoteFlag HasTo;
    ElementNumber NoteData::*From;
    NoteFlag HasFrom;
    NoteFlag Matched;
    int missingEndCode;
    int missingStartCode;
};

constexpr LinkKind Beam{.word = "beam",
                        .To = &NoteData::BeamTo,
                        .HasTo = HasBeamToFlag,
                        .From = &NoteData::BeamFrom,
                        .HasFrom = HasBeamFromFlag,
                        .Matched = BeamMatchedFlag,
                        .missingEndCode = 53,
                        .missingStartCode = 54};
constexpr LinkKind Tie{.word = "tie",
                       .To = &NoteData::TieTo,
                       .HasTo = HasTieToFlag,
                       .From = &NoteData::TieFrom,
                       .HasFrom = HasTieFromFlag,
                       .Matched = TieMatchedFlag,
                       .missingEndCode = 55,
                       .missingStartCode = 56};

template <const LinkKind &link> void clearMatchedFlags(ElementList &list) {
    for (Element &element : list) {
        if (element.Kind == Kind::Note) link.Matched.Set(element.Note, false);
    }
}

// A target must name this note as its source; a source must have been confirmed by the note
// before it. Whatever does not match is reported and cleared.
template <const LinkKind &link>
void checkForwardLinks(ElementList &list, ElementIt it, Messages &messages) {
    NoteData &note = it->Note;
    const std::int32_t n = it->ElementNo;
    if (link.HasTo.Get(note)) {
        Element *target = forwardSearch(list, it, note.*link.To);
        if (target && target->Kind == Kind::Note && link.HasFrom.Get(target->Note) &&
            target->Note.*link.From == n) {
            link.Matched.Set(target->Note, true);
        } else {
            messages.reportError(link.missingEndCode,
                                 std::string("Missing ") + link.word + " end, from element " +
                                     num(n) + " to element " + num(note.*link.To) + inStave(*it));
            link.HasTo.Set(note, false);
        }
    } else if (link.HasFrom.Get(note) && !link.Matched.Get(note)) {
        messages.reportError(link.missingStartCode,
                             std::string("Missing ") + link.word + " start, to element " + num(n) +
                                 " from element " + num(note.*link.From) + inStave(*it));
        link.HasFrom.Set(note, false);
    }
}

// Most notes carry no link of the kind, and then there is nothing to check.
template <const LinkKind &link> bool hasLinkToCheck(const NoteData &note) {
    return link.HasTo.Get(note) || (link.HasFrom.Get(note) && !link.Matched.Get(note));
}

} // namespace

void pairBeams(Stave &stave, Messages &messages) {
    ElementList &list = stave.Elements;
    clearMatchedFlags<Beam>(list);
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
    clearMatchedFlags<Tie>(list);
    for (ElementIt it = list.begin(); it != list.end(); ++it) {
        if (it->Kind == Kind::Note && hasLinkToCheck<Tie>(it->Note))
            checkForwardLinks<Tie>(list, it, messages);
    }
}

} // namespace qm
