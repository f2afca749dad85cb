// Voice numbers as a musician reads them off the stems: in a bar that holds more than one
// voice, the up-stem notes are voice 1 and the down-stem notes voice 2, whichever of them the
// staff's time follows. Most such bars were built as streams that each keep to one stem side
// (a chord split by its stems, a rest beside a chord): each stream takes its side. Otherwise
// the notes are given voices one by one.
#include <algorithm>
#include <array>
#include <vector>

#include "musicxmlwrite/part.hpp"

namespace qm::musicxml {

namespace {

constexpr int Up = 1;
constexpr int Down = 2;
constexpr int NoSide = 0;
constexpr int MixedSides = -1;

// A timed slot of the bar, with the stream of the part it was built in.
struct Placed {
    std::size_t Slot;
    std::size_t Stream; // 0 the first voice, then the further voices in order
    int Voice = 0;      // 0 while not yet given
};

class BarVoices {
public:
    BarVoices(Part &part, const Measure &measure) : Slots(part.Slots) {
        for (const MeasureItem &item : part.items(measure))
            if (item.Kind == ItemKind::Slot) add(item.Index, 0);
        for (std::size_t v = 0; v < measure.ExtraVoiceCount; ++v)
            for (std::size_t index : part.extraVoice(measure, v))
                add(index, v + 1);
        Streams = measure.ExtraVoiceCount + 1;
    }

    // Gives every slot its voice; keeps the streams' numbers when the stems do not make
    // voices that take turns (two notes of one voice at once).
    void assign() {
        // STEP 1: notes with a stem take its side.
        for (Placed &p : Timed)
            if (const Slot &s = Slots[p.Slot]; !s.isRest() && s.StemUp)
                p.Voice = *s.StemUp ? Up : Down;
        // STEP 2: other notes take the side most of their stream's notes have.
        std::vector<int> streamSide(Streams, 0);
        for (std::size_t stream = 0; stream < Streams; ++stream)
            streamSide[stream] = majoritySide(stream);
        for (Placed &p : Timed)
            if (p.Voice == 0 && !Slots[p.Slot].isRest() && streamSide[p.Stream] != 0 &&
                isFree(streamSide[p.Stream], p))
                p.Voice = streamSide[p.Stream];
        // STEP 3: a rest beside notes goes to the side they leave free, or a voice of its own;
        // any other rest (or stemless note) to its stream's side when it is free.
        for (Placed &p : Timed) {
            if (p.Voice != 0) continue;
            const int beside = sideOfNotesBeside(p);
            int wanted = beside == Up ? Down : (beside == Down ? Up : NoSide);
            if (beside == NoSide)
                wanted = streamSide[p.Stream] != NoSide ? streamSide[p.Stream] : Up;
            p.Voice = wanted != 0 && isFree(wanted, p) ? wanted : firstFree(p);
        }
        // STEP 4: voices that overlap themselves fall back to the streams.
        if (!consistent())
            for (Placed &p : Timed)
                p.Voice = static_cast<int>(p.Stream) + 1;
        for (const Placed &p : Timed)
            Slots[p.Slot].Voice = p.Voice;
        // STEP 5: grace notes go with the note they lead to in their stream.
        for (std::size_t g = 0; g < Graces.size(); ++g) {
            const auto next = std::find_if(Timed.begin(), Timed.end(), [&](const Placed &p) {
                return p.Stream == Graces[g].Stream && p.Slot > Graces[g].Slot;
            });
            Slots[Graces[g].Slot].Voice = next != Timed.end() ? next->Voice : 1;
        }
    }

private:
    void add(std::size_t index, std::size_t stream) {
        (Slots[index].Grace ? Graces : Timed).push_back(Placed{index, stream});
    }

    int majoritySide(std::size_t stream) const {
        int up = 0, down = 0;
        for (const Placed &p : Timed) {
            if (p.Stream != stream) continue;
            up += p.Voice == Up;
            down += p.Voice == Down;
        }
        if (up == 0 && down == 0) return 0;
        return up >= down ? Up : Down;
    }

    // Up or Down when every note starting with this slot has that side, NoSide when no note
    // does, MixedSides when they have both.
    int sideOfNotesBeside(const Placed &p) const {
        int side = NoSide;
        for (const Placed &other : Timed) {
            if (&other == &p || Slots[other.Slot].Onset != Slots[p.Slot].Onset) continue;
            if (Slots[other.Slot].isRest() || other.Voice == 0) continue;
            if (side != NoSide && side != other.Voice) return MixedSides;
            side = other.Voice;
        }
        return side;
    }

    bool isFree(int voice, const Placed &p) const {
        const Slot &slot = Slots[p.Slot];
        for (const Placed &other : Timed) {
            if (&other == &p || other.Voice != voice) continue;
            const Slot &o = Slots[other.Slot];
            if (o.Onset < slot.Onset + slot.Duration && slot.Onset < o.Onset + o.Duration)
                return false;
        }
        return true;
    }

    int firstFree(const Placed &p) const {
        int voice = Down + 1;
        while (!isFree(voice, p))
            ++voice;
        return voice;
    }

    bool consistent() const {
        for (const Placed &p : Timed)
            if (!isFree(p.Voice, p)) return false;
        return true;
    }

    PartVector<Slot> &Slots;
    std::vector<Placed> Timed;
    std::vector<Placed> Graces;
    std::size_t Streams = 1;
};

// Adds a slot's stem side to what the slots before it in its stream had: NoSide while none
// has a stem, MixedSides once they differ.
int withSide(int side, const Slot &slot) {
    if (side == MixedSides || slot.Grace || slot.isRest() || !slot.StemUp) return side;
    const int own = *slot.StemUp ? Up : Down;
    return side == NoSide || side == own ? own : MixedSides;
}

// The common bar: each stream of the part keeps to one stem side (a chord split by its stems,
// a rest beside a chord). The streams take their sides; a stream with no stems (rests,
// semibreves) takes a side no other stream has, or a voice of its own. Returns false, leaving
// the bar as it is, when a stream holds both sides or two streams the same one.
bool assignByStream(Part &part, Measure &measure) {
    constexpr std::size_t MaxStreams = 8;
    const std::size_t streams = measure.ExtraVoiceCount + 1;
    if (streams > MaxStreams) return false;
    std::array<int, MaxStreams> sides{};
    for (const MeasureItem &item : part.items(measure))
        if (item.Kind == ItemKind::Slot) sides[0] = withSide(sides[0], part.Slots[item.Index]);
    for (std::size_t v = 1; v < streams; ++v)
        for (std::size_t index : part.extraVoice(measure, v - 1))
            sides[v] = withSide(sides[v], part.Slots[index]);
    bool up = false, down = false;
    for (std::size_t v = 0; v < streams; ++v) {
        if (sides[v] == MixedSides || (sides[v] == Up && up) || (sides[v] == Down && down))
            return false;
        up = up || sides[v] == Up;
        down = down || sides[v] == Down;
    }
    int own = Down + 1;
    for (std::size_t v = 0; v < streams; ++v) {
        if (sides[v] != NoSide) continue;
        sides[v] = !up ? Up : (!down ? Down : own++);
        up = up || sides[v] == Up;
        down = down || sides[v] == Down;
    }
    for (const MeasureItem &item : part.items(measure))
        if (item.Kind == ItemKind::Slot) part.Slots[item.Index].Voice = sides[0];
    for (std::size_t v = 1; v < streams; ++v)
        for (std::size_t index : part.extraVoice(measure, v - 1))
            part.Slots[index].Voice = sides[v];
    measure.VoicePerStream = true;
    return true;
}

} // namespace

void assignVoices(std::vector<Part> &parts) {
    for (Part &part : parts)
        for (Measure &measure : part.Measures)
            if (measure.hasExtraVoices() && !assignByStream(part, measure))
                BarVoices(part, measure).assign();
}

} // namespace qm::musicxml
