#include "repair/note_signs.hpp"

#include <algorithm>
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
// the nearest barrier: any note, and the nearest note on each staff position.
class NearbyNotes {
public:
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
    std::array<Element *, 256> ByPosition{};
    std::array<std::uint8_t, 256> Seen; // slots to clear at the next barrier, each once
    std::size_t SeenCount = 0;
    Element *Any = nullptr;
};

// Walks the stave in the given direction and hands each element of `signKind` to `visit`
// with the notes seen since the last barrier on the way there.
template <typename Iterator, typename Visit>
void walkWithNearbyNotes(Iterator first, Iterator last, Kind signKind, NearbyNotes &notes,
                         Visit visit) {
    notes.forget();
    for (auto it = first; it != last; ++it) {
        Element &element = *it;
        if (isBarrier(element.Kind)) {
            notes.forget();
        } else if (element.Kind == Kind::Note) {
            notes.see(element);
        } else if (element.Kind == signKind) {
            visit(element, notes);
        }
    }
}

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

// For each sign of the kind, in list order: its neighbours, found in one walk each way, into
// `found`. (The pipeline runs the passes only on staves read with signs of their kind.)
template <typename Pick>
void findNeighbours(Stave &stave, Kind signKind, Pick pick, SignScratch &found) {
    found.clear();
    ElementList &list = stave.Elements;
    NearbyNotes table; // one table for both walks: clearing it is cheaper than making one
    walkWithNearbyNotes(list.rbegin(), list.rend(), signKind, table,
                        [&](Element &sign, const NearbyNotes &notes) {
                            found.push_back({&sign, pick(sign, notes), nullptr});
                        });
    std::reverse(found.begin(), found.end());
    std::size_t i = 0;
    walkWithNearbyNotes(list.begin(), list.end(), signKind, table,
                        [&](Element &sign, const NearbyNotes &notes) {
                            found[i].behind = pick(sign, notes);
                            ++i;
                        });
}

std::string placeOf(const Element &sign) {
    return " in " + std::to_string(sign.StaveNo) + "th stave, element " +
           std::to_string(sign.ElementNo);
}

} // namespace

void attachAccidentals(Stave &stave, Messages &messages, SignScratch &scratch) {
    auto samePosition = [](const Element &sign, const NearbyNotes &notes) {
        return notes.at(sign.Accidental.Position);
    };
    findNeighbours(stave, Kind::Accidental, samePosition, scratch);
    for (const SignNeighbours &neighbours : scratch) {
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
    findNeighbours(stave, Kind::Accent, anyNote, scratch);
    for (const SignNeighbours &neighbours : scratch) {
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
