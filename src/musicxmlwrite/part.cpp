#include "musicxmlwrite/part.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <utility>

#include "core/symbols.hpp"
#include "musicxmlwrite/xml_out.hpp"

namespace qm::musicxml {

namespace {

// None codes: an element holding one of these stands for nothing (the NWC file has no record
// for it either), so it is not counted as left out.
constexpr std::uint8_t NoDynamicVar = 5;
constexpr std::uint8_t NoPerformanceStyle = 23;
constexpr std::uint8_t NoTempoVar = 9;
constexpr std::uint8_t NoFlowControl = 10;

constexpr std::uint8_t BreathMarkCode = 0;
constexpr std::uint8_t FermataCode = 1;

// Signs that are dynamics, though the catalogue keeps them among the symbols.
constexpr std::uint8_t SforzandoSymbol = 144;
constexpr std::uint8_t ForzandoSymbol = 145;

constexpr std::array<std::string_view, 8> DynamicMarks = {"ppp", "pp", "p",  "mp",
                                                          "mf",  "f",  "ff", "fff"};
// The playback velocity of each level, as the NWC file gives it (10, 30, 45, 60, 75, 92, 108,
// 127), in percent of forte (velocity 90), as MusicXML counts dynamics, to two places.
constexpr std::array<std::string_view, 8> PercentOfForte = {"11.11", "33.33",  "50.00",  "66.67",
                                                            "83.33", "102.22", "120.00", "141.11"};

constexpr std::array<std::string_view, 23> PerformanceStyleWords = {
    "ad libitum", "animato",  "cantabile", "con brio", "dolce",       "espressivo",
    "grazioso",   "legato",   "maestoso",  "marcando", "meno mosso",  "poco a poco",
    "più mosso",  "semplice", "simile",    "solo",     "sostenuto",   "sotto voce",
    "staccato",   "subito",   "tenuto",    "tutti",    "volta subito"};

struct FlowWord {
    std::string_view Text;
    const char *SoundAttribute;
    std::string_view SoundValue;
};
// Flow directions 0..9: coda, segno, fine, to coda, D.C., D.C. al coda, D.C. al fine, D.S., ...
constexpr std::array<FlowWord, 10> FlowWords = {{{"", "coda", "coda"},
                                                 {"", "segno", "segno"},
                                                 {"Fine", "fine", "yes"},
                                                 {"To Coda", "tocoda", "coda"},
                                                 {"D.C.", "dacapo", "yes"},
                                                 {"D.C. al Coda", "dacapo", "yes"},
                                                 {"D.C. al Fine", "dacapo", "yes"},
                                                 {"D.S.", "dalsegno", "segno"},
                                                 {"D.S. al Coda", "dalsegno", "segno"},
                                                 {"D.S. al Fine", "dalsegno", "segno"}}};

constexpr const char *HeavyLight = "heavy-light";
constexpr const char *LightHeavy = "light-heavy";
constexpr const char *LightLight = "light-light";

// What a bar line of each model style does: close the bar with a right barline, or open the
// next bar with a left one. Style 0, the plain bar line, is implied by the measure itself.
// Kept as a table of constants: a style built on the stack for every bar line is stored in
// small parts and read back whole, which stalls the processor.
struct BarStyle {
    std::optional<BarlineOut> Right;
    std::optional<BarlineOut> Left;
};
constexpr std::array<BarStyle, 8> BarStyles = {{
    {},
    {BarlineOut{LightLight, std::nullopt}, std::nullopt},
    {std::nullopt, BarlineOut{HeavyLight, std::nullopt}},
    {BarlineOut{LightHeavy, std::nullopt}, std::nullopt},
    {std::nullopt, BarlineOut{HeavyLight, true}},
    {BarlineOut{LightHeavy, false}, std::nullopt},
    {std::nullopt, BarlineOut{HeavyLight, true}},
    {BarlineOut{LightHeavy, false}, std::nullopt},
}};

// A staff has fewer elements than a 32-bit index counts.
std::uint32_t itemIndex(std::size_t index) { return static_cast<std::uint32_t>(index); }

bool isRestKind(Kind kind) { return kind == Kind::Rest || kind == Kind::RestChord; }

int dotCount(const NoteData &note) { return note.DoubleDotted ? 2 : (note.Dotted ? 1 : 0); }

// The notes of a chord make one slot when none is a rest or a grace note and all are of one
// length: the usual chord.
bool alike(std::span<const Element *const> members) {
    if (members.empty()) return false;
    const NoteData &lead = members.front()->Note;
    for (const Element *member : members) {
        const NoteData &note = member->Note;
        if (member->Kind != Kind::Note || note.Grace || note.Duration != lead.Duration ||
            dotCount(note) != dotCount(lead))
            return false;
    }
    return true;
}

// A signed placement byte as the NWC file stores it: negative is above the staff.
bool placedAbove(std::int32_t yPos) {
    if (yPos < -256) return true;
    if (yPos > 255) return false;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(yPos & 0xFF)) < 0;
}

// How often the denominator halves (rounding down) before it is 1 or less, as the NWC file
// stores it: 6 shows as a 4.
int denominatorExponent(std::int32_t denominator) {
    int exponent = 0;
    for (; denominator > 1; denominator /= 2)
        ++exponent;
    return exponent;
}

// The crotchets per minute of a metronome mark in a text ("Allegro q = 132", "h=60"): the
// number after the last "=", counted in the note named before it (a minim "h", a quaver "e",
// else a crotchet). 0 when the text has none, or a number no tempo has.
int metronomeMark(std::string_view text) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string_view::npos) return 0;
    std::size_t at = equals + 1;
    while (at < text.size() && text[at] == ' ')
        ++at;
    int number = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4; ++at, ++digits)
        number = number * 10 + (text[at] - '0');
    if (digits == 0 || (at < text.size() && text[at] >= '0' && text[at] <= '9')) return 0;
    std::size_t unit = equals;
    while (unit > 0 && text[unit - 1] == ' ')
        --unit;
    const char note = unit > 0 ? text[unit - 1] : 'q';
    if (note == 'h') number *= 2;
    if (note == 'e') number /= 2;
    return number >= 10 && number <= 1000 ? number : 0;
}

// What the reader made of a note or rest besides the note written: small enough to be
// returned in registers, while the note is written where it is kept.
struct Reading {
    int Duration = 0;
    bool Grace = false;
    bool Omitted = false; // its pitch cannot be written
};

// One member of a group of notes that start together.
struct Member {
    NoteOut Note;
    Reading Info;
};

// A member of a group that has no slot (its pitch cannot be written).
constexpr std::uint32_t NoSlot = 0xFFFFFFFF;

// Working storage of a part's groups, and the pitch reader, kept from part to part.
struct GroupScratch {
    explicit GroupScratch(std::pmr::memory_resource &arena)
        : Gathered(&arena), Read(&arena), Sorted(&arena), SlotOf(&arena), ExtraVoiceEnds(&arena),
          ExtraVoiceSlots(&arena) {}
    PitchReader Pitches;
    PartVector<const Element *> Gathered;
    PartVector<Member> Read;
    PartVector<Slot> Sorted;
    PartVector<std::uint32_t> SlotOf;
    PartVector<int> ExtraVoiceEnds;
    PartVector<PartVector<std::size_t>> ExtraVoiceSlots;
};

class PartBuilder {
public:
    PartBuilder(const std::vector<std::string> &texts, const Timing &timing, MusicXmlStats &stats,
                GroupScratch &scratch, int &unitsNeeded, std::pmr::memory_resource &arena)
        : Texts(texts), Time(timing), Stats(stats), UnitsNeeded(unitsNeeded),
          Pitches(scratch.Pitches), Measures(std::pmr::new_delete_resource()), Items(&arena),
          Slots(&arena), Notes(&arena), Attributes(&arena), Directions(&arena),
          Gathered(scratch.Gathered), Read(scratch.Read), Sorted(scratch.Sorted),
          SlotOf(scratch.SlotOf), ExtraVoiceEnds(scratch.ExtraVoiceEnds),
          ExtraVoiceSlots(scratch.ExtraVoiceSlots), ExtraVoices(&arena), ExtraSlots(&arena),
          OpenTies(&arena) {
        ExtraVoiceEnds.clear();
        Pitches.startStaff();
    }

    Part build(const Stave &stave);

private:
    void addElement(ElementList::const_iterator &it, ElementList::const_iterator end);
    void takeMembers(ElementList::const_iterator &it, ElementList::const_iterator end,
                     std::int32_t count);
    void noteTiming(const Element &element) {
        UnitsNeeded = std::max(UnitsNeeded, unitsNeeded(element));
    }
    void addClef(const Element &element);
    void addKeySig(const Element &element);
    void addTimeSig(const Element &element);
    void addBarLine(std::uint8_t code);
    void addTempoVar(const Element &element);
    void addDirection(const Element &element);
    void addGroup(std::span<const Element *const> members);
    void addSingle(const Element &element);
    void addChord(std::span<const Element *const> members);
    Reading readMember(const Element &element, NoteOut &note);
    std::size_t addSlot(Slot &&slot);
    AttributesOut &attributes();
    void closeMeasure();
    void markMeasureRest();
    void matchTies(std::size_t slotIndex);
    void noteSystem(const Element &element);
    void finish(const Stave &stave);
    void omit() { ++Stats.OmittedElements; }
    void noteFlags(const Slot &slot) {
        // Merged without a branch each, as a slot's own flags are.
        Measure &bar = current();
        bar.BeamFlags |= slot.BeamFrom | slot.BeamTo;
        bar.SlurFlags |= slot.SlurFrom | slot.SlurTo;
    }
    // The bar being built is the last of the measures: a bar is built where it is kept, not
    // copied there when it closes.
    Measure &current() { return Measures.back(); }
    const Measure &current() const { return Measures.back(); }
    bool anyClosed() const { return Measures.size() > 1; }
    bool currentItemsEmpty() const { return Items.size() == current().FirstItem; }

    const std::vector<std::string> &Texts;
    const Timing &Time;
    MusicXmlStats &Stats;
    int &UnitsNeeded; // the finest timing any note of the score needs so far
    PitchReader &Pitches;
    PartVector<Measure> Measures;  // the bars closed so far, then the one being built
    PartVector<MeasureItem> Items; // of every measure: the current one's from its FirstItem
    PartVector<Slot> Slots;        // of every measure, done or current
    PartVector<NoteOut> Notes;     // of every slot
    PartVector<AttributesOut> Attributes;
    PartVector<DirectionOut> Directions;
    int Now = 0;                 // time of the first voice in the current measure
    int BarLength = 0;           // of the time signature in force
    int Fifths = 0;              // of the key signature in force
    StaveNumber LastStaveNo = 0; // the page stave the last element came from
    bool BarHasStaveNo = false;  // an element of the current bar (not a bar line) had one
    bool PendingFermata = false;
    // Working storage of addGroup, kept from group to group.
    PartVector<const Element *> &Gathered;
    PartVector<Member> &Read;
    PartVector<Slot> &Sorted;
    PartVector<std::uint32_t> &SlotOf; // the slot in Sorted of each member read, or NoSlot
    PartVector<int> &ExtraVoiceEnds;   // where each further voice of the measure is free again
    // The slots of each further voice of the measure, until it closes (see ExtraVoiceEnds).
    PartVector<PartVector<std::size_t>> &ExtraVoiceSlots;
    PartVector<SlotRange> ExtraVoices;
    PartVector<std::size_t> ExtraSlots;
    // Notes whose tie waits for the note it ends on.
    struct OpenTie {
        std::size_t Note; // in Notes
        Pitch Sound;
    };
    PartVector<OpenTie> OpenTies;
    bool GroupTied = false; // a member of the group being added has a tie
};

Part PartBuilder::build(const Stave &stave) {
    // At most a slot per note or rest. The measures are not counted, which would take another
    // walk through the staff: a bar of the common score holds several elements besides its bar
    // line, and the measures grow outside the arena, where growing frees what they outgrew.
    Slots.reserve(stave.Elements.size());
    Notes.reserve(stave.Elements.size());
    Items.reserve(stave.Elements.size());
    Measures.reserve(stave.Elements.size() / 4 + 2);
    Measures.emplace_back();
    for (auto it = stave.Elements.begin(); it != stave.Elements.end(); ++it)
        addElement(it, stave.Elements.end());
    finish(stave);
    // Moved in whole, keeping their arena.
    return Part{"Staff-" + std::to_string(stave.StaveNo),
                std::move(Measures),
                std::move(Items),
                std::move(Slots),
                std::move(Notes),
                std::move(Attributes),
                std::move(Directions),
                std::move(ExtraVoices),
                std::move(ExtraSlots)};
}

// Takes the members of a chord that follow `it` (at most `count` notes and rests, skipping
// dropped elements) into Gathered, leaving `it` on the last one taken.
void PartBuilder::takeMembers(ElementList::const_iterator &it, ElementList::const_iterator end,
                              std::int32_t count) {
    std::int32_t taken = 0;
    for (auto next = std::next(it); next != end && taken < count; ++next) {
        if (next->Kind == Kind::Unknown) continue;
        if (!next->isNoteOrRest()) break;
        Gathered.push_back(&*next);
        it = next;
        ++taken;
    }
}

void PartBuilder::addElement(ElementList::const_iterator &it, ElementList::const_iterator end) {
    const Element &element = *it;
    if (element.Kind == Kind::Unknown) return;
    noteSystem(element);
    switch (element.Kind) {
    case Kind::Clef: addClef(element); return;
    case Kind::KeySig: addKeySig(element); return;
    case Kind::TimeSig: addTimeSig(element); return;
    case Kind::BarLine: addBarLine(element.Code); return;
    case Kind::Note:
    case Kind::Rest: {
        addSingle(element);
        return;
    }
    case Kind::Chord: {
        noteTiming(element);
        Gathered.clear();
        takeMembers(it, end, element.Note.MemberCount);
        if (alike(Gathered))
            addChord(Gathered);
        else
            addGroup(Gathered);
        return;
    }
    case Kind::RestChord: {
        // The rest sounds with the chord (or the single note) that follows it.
        Gathered.assign(1, &element);
        auto next = std::next(it);
        while (next != end && next->Kind == Kind::Unknown)
            ++next;
        if (next != end && next->Kind == Kind::Chord) {
            it = next;
            noteTiming(*next);
            takeMembers(it, end, next->Note.MemberCount);
        } else if (next != end && next->Kind == Kind::Note) {
            it = next;
            Gathered.push_back(&*next);
        }
        addGroup(Gathered);
        return;
    }
    case Kind::TempoVar: addTempoVar(element); return;
    case Kind::Volume:
    case Kind::DynamicVar:
    case Kind::PerformanceStyle:
    case Kind::Pedal:
    case Kind::FlowControl:
    case Kind::Symbol:
    case Kind::Text: addDirection(element); return;
    default: omit(); return; // kinds with no place in the music (the NWC writer refuses them)
    }
}

// The elements keep the number of the page stave they were read from: where that number
// changes, the next system of the page begins. Elements the repair made (the rests of a
// filled stave) have none; the opening signs have the joined stave's own number, so the
// first bar never starts a system. Only each bar's first numbered element is looked at: a
// system starts with a bar (where a short bar ran on from the last system, the next bar takes
// the break). Bar lines may have been copied from another stave: they count only in a bar that
// has nothing else to tell (a bar of a filled stave).
void PartBuilder::noteSystem(const Element &element) {
    if (BarHasStaveNo || element.StaveNo == 0) return;
    BarHasStaveNo = element.Kind != Kind::BarLine;
    if (LastStaveNo != 0 && element.StaveNo != LastStaveNo && anyClosed())
        current().NewSystem = true;
    LastStaveNo = element.StaveNo;
}

AttributesOut &PartBuilder::attributes() {
    if (currentItemsEmpty() || Items.back().Kind != ItemKind::Attributes) {
        Items.push_back({ItemKind::Attributes, itemIndex(Attributes.size())});
        Attributes.emplace_back();
    }
    return Attributes[Items.back().Index];
}

void PartBuilder::addClef(const Element &element) {
    const std::optional<ClefSign> sign = clefSign(element.Code);
    if (!sign) {
        omit();
        return;
    }
    Pitches.setClef(element.Code);
    attributes().Clef = ClefOut{sign->Sign, sign->Line};
}

void PartBuilder::addKeySig(const Element &element) {
    const KeySigData &key = element.KeySig;
    const int fifths = keyFifths(key.Sharps, key.Flats, key.SignCount);
    Pitches.setKey(fifths);
    AttributesOut &out = attributes();
    out.Fifths = fifths;
    if (fifths == 0 && Fifths != 0) out.Cancel = Fifths;
    Fifths = fifths;
}

void PartBuilder::addTimeSig(const Element &element) {
    const TimeSigData &sig = element.TimeSig;
    const int quarter = Time.divisions();
    TimeOut time;
    if (sig.CommonTime) {
        time = TimeOut{"4", "4", "common", 4 * quarter};
    } else if (sig.CutTime) {
        time = TimeOut{"2", "2", "cut", 4 * quarter};
    } else {
        const int exponent = denominatorExponent(sig.Denominator);
        // A bar needs at least one beat, and a beat no shorter than a 1024th.
        if (sig.Numerator <= 0 || exponent > 10) {
            omit();
            return;
        }
        const std::int32_t beats = std::min<std::int32_t>(sig.Numerator, 0xFFFF);
        time.Beats = std::to_string(beats);
        time.BeatType = std::to_string(1 << exponent);
        time.BarLength = static_cast<int>(std::min<std::int64_t>(
            static_cast<std::int64_t>(beats) * 4 * quarter >> exponent, 1 << 30));
    }
    BarLength = time.BarLength;
    attributes().Time = time;
}

void PartBuilder::addBarLine(std::uint8_t code) {
    const bool known = code < BarStyles.size();
    if (!known) omit(); // an unknown style still divides the bars
    const BarStyle *style = &BarStyles[known ? code : 0];
    Pitches.startBar();
    // An opening bar line with no music before it (at the start, or drawn beside the bar line
    // that closed the last bar) opens the bar to come.
    Measure &bar = current();
    if (!bar.hasNotes() && style->Left && !style->Right) {
        bar.Left = style->Left;
        return;
    }
    // Every other bar line closes a bar, an empty one too: a bar of silence on the page.
    bar.Right = style->Right;
    closeMeasure();
    current().Left = style->Left;
}

// A fermata belongs to the note that follows it, a breath mark to the note before it.
void PartBuilder::addTempoVar(const Element &element) {
    if (element.Code == NoTempoVar) return;
    if (element.Code == FermataCode) {
        if (PendingFermata) omit();
        PendingFermata = true;
        return;
    }
    if (element.Code != BreathMarkCode) {
        omit();
        return;
    }
    // The current bar's items, and the last bar's before them.
    const std::size_t from =
        anyClosed() ? Measures[Measures.size() - 2].FirstItem : current().FirstItem;
    for (std::size_t i = Items.size(); i > from; --i) {
        if (Items[i - 1].Kind == ItemKind::Slot) {
            Slots[Items[i - 1].Index].Marks |= Mark::BreathMark;
            return;
        }
    }
    omit();
}

void PartBuilder::addDirection(const Element &element) {
    DirectionOut out;
    const std::uint8_t code = element.Code;
    switch (element.Kind) {
    case Kind::Volume:
        if (code >= DynamicMarks.size()) return omit();
        out.Type = DirectionType::Dynamics;
        out.Text = DynamicMarks[code];
        out.Above = false;
        out.SoundAttribute = "dynamics";
        out.SoundValue = PercentOfForte[code];
        break;
    case Kind::DynamicVar:
        if (code == NoDynamicVar) return;
        if (code > 4) return omit();
        out.Above = false;
        if (code >= 3) {
            out.Type = DirectionType::Dynamics;
            out.Text = code == 3 ? "rfz" : "sfz";
        } else {
            out.Italic = true;
            out.Text = code == 0 ? "cresc." : (code == 1 ? "decresc." : "dim.");
        }
        break;
    case Kind::PerformanceStyle:
        if (code == NoPerformanceStyle) return;
        if (code >= PerformanceStyleWords.size()) return omit();
        out.Italic = true;
        out.Text = PerformanceStyleWords[code];
        break;
    case Kind::Pedal:
        if (code > 1) return omit();
        out.Type = code == 1 ? DirectionType::PedalStart : DirectionType::PedalStop;
        out.Above = false;
        break;
    case Kind::FlowControl: {
        if (code == NoFlowControl) return;
        if (code >= FlowWords.size()) return omit();
        const FlowWord &flow = FlowWords[code];
        out.Type = code == 0 ? DirectionType::Coda
                             : (code == 1 ? DirectionType::Segno : DirectionType::Words);
        out.Text = flow.Text;
        out.SoundAttribute = flow.SoundAttribute;
        out.SoundValue = flow.SoundValue;
        break;
    }
    case Kind::Symbol:
        if (code == SforzandoSymbol || code == ForzandoSymbol) {
            out.Type = DirectionType::Dynamics; // named "sf" and "fz" in the catalogue
            out.Above = false;
        }
        out.Text = symbolName(code);
        break;
    case Kind::Text: {
        // The text itself; an empty one shows nothing (here or in the NWC file).
        const std::int32_t index = element.Text.TextIndex;
        if (index <= 0 || static_cast<std::size_t>(index) >= Texts.size()) return;
        out.Text = xmlText(Texts[static_cast<std::size_t>(index)]);
        if (out.Text.empty()) return;
        out.Above = placedAbove(element.YPos);
        if (const int tempo = metronomeMark(out.Text); tempo > 0) {
            out.SoundAttribute = "tempo";
            out.SoundValue = std::to_string(tempo);
        }
        break;
    }
    default: return omit();
    }
    Items.push_back({ItemKind::Direction, itemIndex(Directions.size())});
    Directions.push_back(std::move(out));
}

Reading PartBuilder::readMember(const Element &element, NoteOut &out) {
    Reading reading;
    const NoteData &note = element.Note;
    noteTiming(element);
    out.Source = &element;
    out.IsRest = isRestKind(element.Kind);
    reading.Grace = note.Grace != 0;
    reading.Duration = reading.Grace ? 0 : Time.duration(note);
    if (out.IsRest) return reading;
    out.TieStart = note.HasTieTo != 0;
    out.TieStop = note.HasTieFrom != 0;
    if (const std::optional<int> printed = accidentalAlter(note.Accidental))
        out.Accidental = static_cast<std::int8_t>(*printed);
    reading.Omitted =
        !Pitches.read(note.Position, note.Accidental, out.TieStop, out.TieStart, out.Sound);
    return reading;
}

// A slot for members that sound alike (same grace, rest or note, length and dots). This and
// addToSlot run for every note from three builders: inline, so that none of them calls out.
inline void startSlot(Slot &slot, const NoteOut &first, const Reading &reading) {
    const NoteData &note = first.Source->Note;
    slot.Duration = reading.Duration;
    slot.Grace = reading.Grace;
    slot.Type = note.Duration;
    slot.Dots = static_cast<std::uint8_t>(dotCount(note));
    slot.Rest = first.IsRest;
    if (!first.IsRest && note.Duration > 1 && note.Stem <= 1) slot.StemUp = note.Stem == 0;
}

// Grace notes held in one chord stay one grace chord, whatever their written lengths.
bool sameSlot(const Slot &slot, const Member &member) {
    const NoteData &note = member.Note.Source->Note;
    if (slot.isRest() || member.Note.IsRest || slot.Grace != member.Info.Grace) return false;
    return slot.Grace || (slot.Type == note.Duration && slot.Dots == dotCount(note));
}

// Counts a member in its slot; its note is kept with the slot's others in the part.
inline void addToSlot(Slot &slot, const NoteOut &member) {
    const NoteData &note = member.Source->Note;
    ++slot.NoteCount;
    // Any member's flag marks the slot: merged without a branch each.
    slot.SlurFrom |= note.HasSlurFrom != 0;
    slot.SlurTo |= note.HasSlurTo != 0;
    if (member.IsRest) return;
    slot.BeamFrom |= note.HasBeamFrom != 0;
    slot.BeamTo |= note.HasBeamTo != 0;
    if (note.Articulation <= 3) slot.Marks |= static_cast<std::uint8_t>(1 << note.Articulation);
}

// Notes and rests that start together. Members of equal kind and length form one slot (a
// chord); grace notes come first and take no time. The first voice goes on by the shortest
// member, as the NWC staff does; longer members, and a rest beside notes, start at the same
// time in further voices, so every voice adds up.
void PartBuilder::addGroup(std::span<const Element *const> members) {
    // STEP 1: read every member in staff order (accidentals hold from one to the next).
    PartVector<Member> &read = Read;
    read.clear();
    GroupTied = false;
    for (const Element *element : members) {
        Member &member = read.emplace_back();
        member.Info = readMember(*element, member.Note);
        GroupTied = GroupTied || member.Note.TieStart || member.Note.TieStop;
    }

    // STEP 2: sort the members into slots; the group goes on by its shortest timed member.
    // Then each slot's notes go into the part together, in staff order.
    PartVector<Slot> &slots = Sorted;
    slots.clear();
    SlotOf.clear();
    int advance = 0;
    for (const Member &member : read) {
        const Reading &info = member.Info;
        if (!info.Grace && (advance == 0 || info.Duration < advance)) advance = info.Duration;
        if (info.Omitted) {
            omit();
            SlotOf.push_back(NoSlot);
            continue;
        }
        auto slot = std::find_if(slots.begin(), slots.end(),
                                 [&](const Slot &s) { return sameSlot(s, member); });
        if (slot == slots.end()) {
            startSlot(slots.emplace_back(), member.Note, info);
            slot = std::prev(slots.end());
        }
        addToSlot(*slot, member.Note);
        SlotOf.push_back(static_cast<std::uint32_t>(slot - slots.begin()));
    }
    for (std::size_t s = 0; s < slots.size(); ++s) {
        slots[s].FirstNote = itemIndex(Notes.size());
        for (std::size_t i = 0; i < read.size(); ++i)
            if (SlotOf[i] == s) Notes.push_back(read[i].Note);
    }

    // STEP 3: grace slots, then the first voice's slot: notes of the advancing length before
    // a rest of it. A group whose advancing notes could not be written keeps its time. The
    // slots taken stay where they are, passed over below.
    const int onset = Now;
    for (Slot &slot : slots)
        if (slot.Grace) addSlot(std::move(slot));
    auto advancing = [&](bool rest) {
        return std::find_if(slots.begin(), slots.end(), [&](const Slot &s) {
            return !s.Grace && s.Duration == advance && s.isRest() == rest;
        });
    };
    auto main = advancing(false);
    if (main == slots.end()) main = advancing(true);
    if (advance > 0) {
        Slot &timed = Slots[main != slots.end() ? addSlot(std::move(*main)) : addSlot(Slot{})];
        timed.Duration = advance;
        if (std::exchange(PendingFermata, false)) timed.Marks |= Mark::Fermata;
    }
    Now = onset + advance;

    // STEP 4: the other timed slots go to the first further voice that is free at the onset.
    for (auto slotIt = slots.begin(); slotIt != slots.end(); ++slotIt) {
        if (slotIt->Grace || slotIt == main) continue;
        Slot &slot = *slotIt;
        slot.Onset = onset;
        std::size_t voice = 0;
        while (voice < ExtraVoiceEnds.size() && ExtraVoiceEnds[voice] > onset)
            ++voice;
        if (voice == ExtraVoiceEnds.size()) {
            ExtraVoiceEnds.push_back(0);
            if (ExtraVoiceSlots.size() == voice) ExtraVoiceSlots.emplace_back();
            ExtraVoiceSlots[voice].clear();
        }
        ExtraVoiceEnds[voice] = onset + slot.Duration;
        slot.Voice = static_cast<int>(voice) + 2;
        ExtraVoiceSlots[voice].push_back(Slots.size());
        noteFlags(slot);
        Slots.push_back(std::move(slot));
        if (GroupTied) matchTies(Slots.size() - 1);
        ++current().SlotCount;
    }
}

// A lone note or rest, by far the most common group: the same as a group of one, built in its
// place in the measure.
void PartBuilder::addSingle(const Element &element) {
    // The note is read into its place in the part, and taken back if it cannot be written.
    const std::uint32_t first = itemIndex(Notes.size());
    NoteOut &note = Notes.emplace_back();
    const Reading reading = readMember(element, note);
    if (reading.Omitted) {
        omit();
        Notes.pop_back();
    }
    if (reading.Grace && reading.Omitted) return;
    Items.push_back({ItemKind::Slot, itemIndex(Slots.size())});
    ++current().SlotCount;
    Slot &slot = Slots.emplace_back();
    slot.Onset = Now;
    if (reading.Omitted) {
        slot.Duration = reading.Duration; // its time stays
    } else {
        startSlot(slot, note, reading);
        slot.FirstNote = first;
        addToSlot(slot, note);
        noteFlags(slot);
        if (note.TieStart || note.TieStop) matchTies(Slots.size() - 1);
    }
    if (reading.Grace) return;
    if (std::exchange(PendingFermata, false)) slot.Marks |= Mark::Fermata;
    Now += reading.Duration;
}

// A chord whose notes are alike: one slot in the first voice, built in place as a lone note is,
// without sorting its members into slots. A chord none of whose notes can be written keeps
// its time.
void PartBuilder::addChord(std::span<const Element *const> members) {
    const std::uint32_t first = itemIndex(Notes.size());
    Items.push_back({ItemKind::Slot, itemIndex(Slots.size())});
    ++current().SlotCount;
    Slot &slot = Slots.emplace_back();
    slot.Onset = Now;
    Reading reading;
    GroupTied = false;
    for (const Element *element : members) {
        NoteOut &note = Notes.emplace_back();
        reading = readMember(*element, note);
        GroupTied = GroupTied || note.TieStart || note.TieStop;
        if (reading.Omitted) {
            omit();
            Notes.pop_back();
            continue;
        }
        if (!slot.hasNotes()) {
            startSlot(slot, note, reading);
            slot.FirstNote = first;
        }
        addToSlot(slot, note);
    }
    slot.Duration = reading.Duration;
    noteFlags(slot);
    if (GroupTied) matchTies(Slots.size() - 1);
    if (std::exchange(PendingFermata, false)) slot.Marks |= Mark::Fermata;
    Now += reading.Duration;
}

// Adds a slot to the first voice at the current time.
std::size_t PartBuilder::addSlot(Slot &&slot) {
    slot.Voice = 1;
    slot.Onset = Now;
    Items.push_back({ItemKind::Slot, itemIndex(Slots.size())});
    ++current().SlotCount;
    noteFlags(slot);
    Slots.push_back(std::move(slot));
    if (GroupTied) matchTies(Slots.size() - 1);
    return Slots.size() - 1;
}

// A tie joins two notes of one pitch. A tie that ends on another pitch (a damaged score) would
// stay open in every reader: it is left out, counted once, and so is the start it came from
// when nothing else ends it.
void PartBuilder::matchTies(std::size_t slotIndex) {
    const Slot &slot = Slots[slotIndex];
    const std::size_t end = slot.FirstNote + slot.NoteCount;
    for (std::size_t i = slot.FirstNote; i < end; ++i) {
        NoteOut &note = Notes[i];
        if (!note.TieStop) continue;
        const auto start = std::find_if(OpenTies.begin(), OpenTies.end(), [&](const OpenTie &t) {
            return t.Sound.Step == note.Sound.Step && t.Sound.Alter == note.Sound.Alter &&
                   t.Sound.Octave == note.Sound.Octave;
        });
        if (start != OpenTies.end()) {
            OpenTies.erase(start);
        } else {
            note.TieStop = false;
            omit();
        }
    }
    for (std::size_t i = slot.FirstNote; i < end; ++i)
        if (Notes[i].TieStart) OpenTies.push_back(OpenTie{i, Notes[i].Sound});
}

// A rest alone in its bar, and a semibreve rest or one as long as the bar, is the bar's rest:
// it lasts the bar, whatever its written value (a semibreve rest fills a 3/4 bar). Like an
// empty bar it sets no length of its own: it lasts as long as the other parts' bar.
void PartBuilder::markMeasureRest() {
    if (BarLength <= 0 || !ExtraVoiceEnds.empty() || current().SlotCount != 1) return;
    for (std::size_t i = current().FirstItem; i < Items.size(); ++i) {
        if (Items[i].Kind != ItemKind::Slot) continue;
        Slot &slot = Slots[Items[i].Index];
        if (!slot.isRest() || slot.Grace) return;
        const bool semibreve = slot.Type == 1 && slot.Dots == 0;
        if (!semibreve && slot.Duration != BarLength) return;
        slot.MeasureRest = true;
        Now = 0;
        return;
    }
}

void PartBuilder::closeMeasure() {
    // A fermata written just before the bar line belongs to the bar's last note.
    if (PendingFermata) {
        for (std::size_t i = Items.size(); i > current().FirstItem; --i) {
            const MeasureItem &item = Items[i - 1];
            if (item.Kind != ItemKind::Slot || Slots[item.Index].Grace) continue;
            Slots[item.Index].Marks |= Mark::Fermata;
            PendingFermata = false;
            break;
        }
    }
    markMeasureRest();
    Measure &bar = current();
    bar.Length = Now;
    bar.BarLength = BarLength;
    for (int end : ExtraVoiceEnds)
        bar.Length = std::max(bar.Length, end);
    bar.ItemCount = itemIndex(Items.size() - bar.FirstItem);
    bar.FirstExtraVoice = itemIndex(ExtraVoices.size());
    bar.ExtraVoiceCount = itemIndex(ExtraVoiceEnds.size());
    for (std::size_t v = 0; v < ExtraVoiceEnds.size(); ++v) {
        const PartVector<std::size_t> &slots = ExtraVoiceSlots[v];
        ExtraVoices.push_back({itemIndex(ExtraSlots.size()), itemIndex(slots.size())});
        ExtraSlots.insert(ExtraSlots.end(), slots.begin(), slots.end());
    }
    Measures.emplace_back().FirstItem = itemIndex(Items.size());
    BarHasStaveNo = false;
    Now = 0;
    ExtraVoiceEnds.clear();
}

// The last bar: what follows the last notes (texts, a courtesy sign) joins the bar before,
// and the staff closes with a final bar line, a repeat one when its last bar line repeats.
void PartBuilder::finish(const Stave &stave) {
    if (current().hasNotes() || !anyClosed()) {
        if (!currentItemsEmpty() || current().hasNotes()) closeMeasure();
    } else {
        // The current bar's items follow the last bar's.
        Measures[Measures.size() - 2].ItemCount += itemIndex(Items.size() - current().FirstItem);
    }
    Measures.pop_back(); // the bar left open: empty, or its items joined to the bar before
    if (PendingFermata) omit();
    // A tie whose end was left out goes too.
    for (const OpenTie &tie : OpenTies)
        Notes[tie.Note].TieStart = false;
    if (Measures.empty()) return;
    Measure &last = Measures.back();
    const bool repeat = stave.FinalBarStyle == 5 || stave.FinalBarStyle == 7 ||
                        (last.Right && last.Right->RepeatForward.has_value());
    last.Right = BarlineOut{LightHeavy, repeat ? std::optional<bool>(false) : std::nullopt};
}

} // namespace

int Timing::duration(const NoteData &note) const {
    const int base = (1 << (7 - std::min<int>(note.Duration, 7))) * UnitsPer64th;
    if (note.DoubleDotted) return base * 7 / 4;
    if (note.Dotted) return base * 3 / 2;
    return base;
}

int unitsNeeded(const Element &element) {
    // Only a 32nd or shorter with dots needs more than one unit: most notes are told at the
    // second test.
    if (element.Kind < Kind::Note || element.Kind > Kind::Chord) return 1;
    const NoteData &note = element.Note;
    if (note.Duration < 6) return 1;
    const int base = 1 << (7 - std::min<int>(note.Duration, 7));
    if (note.DoubleDotted && base < 4) return 4 / base;
    if (note.Dotted && base < 2) return 2;
    return 1;
}

// The parts are built in the coarsest timing, and built again in the one the notes need when
// it is finer (rare): the notes are told in the same walk, not one of their own.
std::vector<Part> buildParts(const Score &score, Timing &timing, MusicXmlStats &stats,
                             std::pmr::memory_resource &arena) {
    const MusicXmlStats before = stats;
    timing.UnitsPer64th = 1;
    for (;;) {
        std::vector<Part> parts;
        parts.reserve(score.Staves.size() + 1);
        GroupScratch scratch(arena);
        int needed = 1;
        for (const Stave &stave : score.Staves)
            parts.push_back(
                PartBuilder(score.TextTable, timing, stats, scratch, needed, arena).build(stave));
        if (needed == timing.UnitsPer64th) return parts;
        timing.UnitsPer64th = needed;
        stats = before;
    }
}

} // namespace qm::musicxml
