#include "repair/note_signs.hpp"

#include <array>
#include <string>
#include <vector>

namespace qm {

namespace {

// The searches for an accidental's or accent's note never cross one of these.
bool isBarrier(Kind kind) {
    return kind == Kind::NewStave || kind == Kind::Clef || kind == Kind::BarLine ||
           kind == Kind::TimeSig || kind == Kind::KeySig;
}

// The notes that a sign at some point of the stave may belong to, looking one way only up to
// the nearest barrier: any note, and the nearest note on each staff position. The table of
// positions comes from the passes' working storage, all empty, and is left so by forget().
class NearbyNotes {
public:
    explicit NearbyNotes(std::array<Element *, 256> &byPosition) : ByPosition(byPosition) {}
    void forget() {
        for (std::size_t i = 0; i < SeenCount; ++i)
            ByPosition[Seen[i]] = nullptr;
        SeenCount = 0;
        Any = nullptr;
    }
    void see(Element &note) {
        const std::size_t slot = slotOf(note.Note.Position);
        if (!ByPosition[slot]) Seen[SeenCount++] = static_cast<std::uint8_t>(slot);
        ByPosition[slot] = &note;
        Any = &note;
    }
    Element *at(std::int32_t position) const {
        Element *note = ByPosition[slotOf(position)];
        return note && note->Note.Position == position ? note : nullptr;
    }
    Element *any() const { return Any; }

private:
    // Note positions are signed bytes as read (-127..128): one slot each.
    static std::size_t slotOf(std::int32_t position) {
        return static_cast<std::size_t>(position & 0xFF);
    }
    std::array<Element *, 256> &ByPosition;
    std::array<std::uint8_t, 256> Seen; // slots to clear at the next barrier, each once
    std::size_t SeenCount = 0;
    Element *Any = nullptr;
};

// The note an accidental or accent is drawn for, from the nearest note ahead of it (or none)
// and the last suitable note behind it since the last barrier (or none).
Element *noteForAccidental(const Element &sign, const SignNeighbours &n) {
    if (n.ahead && sign.XPos + 10 >= n.ahead->XPos) return n.ahead;
    if (n.behind && n.behind->XPos >= sign.XPos - 5) return n.behind;
    if (n.ahead && n.ahead->XPos > sign.XPos - 5) return n.ahead;
    return nullptr;
}

// Unlike an accidental, an accent never takes a note more than 10 units ahead of it.
Element *noteForAccent(const Element &sign, const SignNeighbours &n) {
    if (n.ahead && sign.XPos + 10 >= n.ahead->XPos) return n.ahead;
    if (n.behind && n.behind->XPos >= sign.XPos - 5) return n.behind;
    return nullptr;
}

// How the passes below find a sign's note ahead: the slot of the staff position it waits for
// and whether a note met in that slot is its note.
struct AheadRule {
    std::size_t (*signSlot)(const Element &sign);
    std::size_t (*noteSlot)(const Element &note);
    bool (*isItsNote)(const Element &sign, const Element &note);
};

// For each sign of the kind, in list order: its neighbours, in one walk. The note behind is
// picked from the notes seen since the last barrier; a sign then waits, chained in the slot of
// its note ahead, until the first note in that slot decides it (its note, or none) or a barrier
// ends the wait with none. (The pipeline runs the passes only on staves read with signs of
// their kind.)
template <typename Pick>
void findNeighbours(Stave &stave, Kind signKind, const AheadRule &rule, Pick pickBehind,
                    SignScratch &scratch) {
    std::vector<SignNeighbours> &found = scratch.Found;
    std::vector<std::uint32_t> &chain = scratch.NextWaiting;
    std::vector<std::uint8_t> &slotsInUse = scratch.SlotsInUse;
    found.clear();
    chain.clear();
    slotsInUse.clear();
    std::array<std::uint32_t, 256> &waiting =
        scratch.Waiting; // per slot: the last sign there, plus 1
    NearbyNotes behind(scratch.NoteAt);
    const auto endWaits = [&] {
        behind.forget();
        for (const std::uint8_t slot : slotsInUse)
            waiting[slot] = 0;
        slotsInUse.clear();
    };
    for (Element &element : stave.Elements) {
        if (isBarrier(element.Kind)) {
            endWaits();
        } else if (element.Kind == Kind::Note) {
            behind.see(element);
            const std::size_t slot = rule.noteSlot(element);
            for (std::uint32_t i = waiting[slot]; i != 0; i = chain[i - 1])
                found[i - 1].ahead =
                    rule.isItsNote(*found[i - 1].sign, element) ? &element : nullptr;
            waiting[slot] = 0;
        } else if (element.Kind == signKind) {
            const std::size_t slot = rule.signSlot(element);
            found.push_back({&element, nullptr, pickBehind(element, behind)});
            chain.push_back(waiting[slot]);
            if (waiting[slot] == 0) slotsInUse.push_back(static_cast<std::uint8_t>(slot));
            waiting[slot] = static_cast<std::uint32_t>(found.size());
        }
    }
    endWaits(); // the tables are empty again for the next stave
}

// Accidentals wait for a note on their own staff position; accents take the next note.
std::size_t positionSlot(std::int32_t position) {
    return static_cast<std::size_t>(position & 0xFF);
}

constexpr AheadRule AccidentalAhead{
    [](const Element &sign) { return positionSlot(sign.Accidental.Position); },
    [](const Element &note) { return positionSlot(note.Note.Position); },
    [](const Element &sign, const Element &note) {
        return note.Note.Position == sign.Accidental.Position;
    }};
constexpr AheadRule AccentAhead{[](const Element &) { return std::size_t{0}; },
                                [](const Element &) { return std::size_t{0}; },
                                [](const Element &, const Element &) { return true; }};

std::string placeOf(const Element &sign) {
    return " in " + std::to_string(sign.StaveNo) + "th stave, element " +
           std::to_string(sign.ElementNo);
}

} // namespace

void attachAccidentals(Stave &stave, Messages &messages, SignScratch &scratch) {
    auto samePosition = [](const Element &sign, const NearbyNotes &notes) {
        return notes.at(sign.Accidental.Position);
    };
    findNeighbours(stave, Kind::Accidental, AccidentalAhead, samePosition, scratch);
    for (const SignNeighbours &neighbours : scratch.Found) {
        const Element *sign = neighbours.sign;
        if (Element *note = noteForAccidental(*sign, neighbours)) {
            note->Note.Accidental = sign->Code;
            continue;
        }
        messages.reportError(16, std::string("Lost note for accidental, pitch ") +
                                     noteLetter(sign->Accidental.Position) + placeOf(*sign));
    }
}

void attachAccents(Stave &stave, Messages &messages, SignScratch &scratch) {
    auto anyNote = [](const Element &, const NearbyNotes &notes) { return notes.any(); };
    findNeighbours(stave, Kind::Accent, AccentAhead, anyNote, scratch);
    for (const SignNeighbours &neighbours : scratch.Found) {
        Element *sign = neighbours.sign;
        const std::uint8_t code = sign->Code;
        Element *note = noteForAccent(*sign, neighbours);
        if (!note) {
            messages.reportError(15, "Lost note for accent " + accentName(code) + placeOf(*sign));
            continue;
        }
        note->Note.Articulation = 2;
        sign->Kind = Kind::Unknown;
        if (code != 2)
            messages.reportError(14, "Noteworthy is unable to display " + accentName(code) +
                                         ". It has been changed to an accent.");
    }
}

} // namespace qm
