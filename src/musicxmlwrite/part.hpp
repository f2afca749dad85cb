// One staff of the score as the measures of a MusicXML part: what each measure holds, in the
// order it is written, with the time of every note in divisions.
#pragma once

#include <array>
#include <cstdint>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/score.hpp"
#include "musicxmlwrite/musicxml.hpp"
#include "musicxmlwrite/pitch.hpp"

namespace qm::musicxml {

// Divisions per quarter and the length of every note in them.
struct Timing {
    int UnitsPer64th = 1; // 2 or 4 when a dotted 64th or double-dotted 32nd needs finer units

    int divisions() const { return 16 * UnitsPer64th; }
    // The written length of a note: its type with its dots.
    int duration(const NoteData &note) const;
};

// The units per 64th a note needs: 2 or 4 for a dotted 64th or a double-dotted 32nd, else 1.
int unitsNeeded(const Element &element);

enum class BeamMark : std::uint8_t { None, Begin, Continue, End, ForwardHook, BackwardHook };
constexpr std::size_t BeamLevels = 4; // eighth, 16th, 32nd, 64th

// Kept small (16 bytes): a part holds one per note, copied into its slot.
struct NoteOut {
    const Element *Source = nullptr;
    bool IsRest : 1 = false;
    bool TieStart : 1 = false;
    bool TieStop : 1 = false;
    Pitch Sound;                           // notes only
    std::optional<std::int8_t> Accidental; // printed accidental as an alteration
};

struct SlurMark {
    int Number;
    bool Start;
};

// The marks of a slot's lead note, one bit each; an articulation code of the model (0
// staccato .. 3 mordent) is its bit number.
namespace Mark {
constexpr std::uint8_t Staccato = 1, Tenuto = 2, Accent = 4, Mordent = 8;
constexpr std::uint8_t Fermata = 16, BreathMark = 32;
constexpr std::uint8_t Articulations = Staccato | Tenuto | Accent | BreathMark;
} // namespace Mark

// Notes that start together in one voice and last equally long: a single note or rest, or a
// chord. A slot without notes stands for time whose notes could not be written. Its notes are
// kept together in the part (Part::Notes), so that a slot is small and copied as plain bytes.
struct Slot {
    // Provided, so that a new slot is not cleared whole before its members are set.
    Slot() {}
    std::uint32_t FirstNote = 0; // in Part::Notes
    std::uint32_t NoteCount = 0;
    bool Rest = false; // a rest (a slot holds one rest, or notes)
    int Voice = 1;
    int Onset = 0;    // divisions from the start of the measure
    int Duration = 0; // 0 for grace notes
    bool Grace = false;
    std::uint8_t Type = 3; // duration code 0 breve .. 7 hemidemisemiquaver
    std::uint8_t Dots = 0;
    std::optional<bool> StemUp;
    bool BeamFrom = false;
    bool BeamTo = false;
    bool SlurFrom = false;
    bool SlurTo = false;
    std::array<BeamMark, BeamLevels> Beams{};
    // A slot ends one slur or starts one (a slur going on through it needs no mark).
    std::optional<SlurMark> Slur;
    std::uint8_t Marks = 0; // a bit each (see Mark): most slots have none
    // A rest alone in its bar that fills it: written as a rest of the whole measure.
    bool MeasureRest = false;

    bool hasNotes() const { return NoteCount > 0; }
    bool isRest() const { return NoteCount > 0 && Rest; }
};

struct ClefOut {
    char Sign;
    int Line;
};
struct TimeOut {
    std::string Beats;
    std::string BeatType;
    const char *Symbol = nullptr; // "common", "cut" or none
    int BarLength = 0;            // in divisions
};
struct AttributesOut {
    std::optional<int> Fifths;
    std::optional<int> Cancel; // the fifths of the key a change to no key cancels
    std::optional<TimeOut> Time;
    std::optional<ClefOut> Clef;
};

enum class DirectionType : std::uint8_t { Dynamics, Words, PedalStart, PedalStop, Segno, Coda };

struct DirectionOut {
    DirectionType Type = DirectionType::Words;
    std::string Text; // dynamics mark name, or the words
    bool Above = true;
    bool Italic = false;
    const char *SoundAttribute = nullptr; // an optional <sound> attribute and its value
    std::string SoundValue;
};

// What a measure holds, in order: a note slot, a change of attributes or a direction, each
// kept in its own vector of the part (most items are notes, which need no more than this).
enum class ItemKind : std::uint8_t { Slot, Attributes, Direction };
struct MeasureItem {
    ItemKind Kind;
    std::uint32_t Index; // into Part::Slots, Part::Attributes or Part::Directions
};

struct BarlineOut {
    const char *Style; // bar-style value
    std::optional<bool> RepeatForward;
};

struct Measure {
    // Provided, so that a new measure is not cleared whole before its members are set.
    Measure() {}
    // The first voice, with attributes and directions: Part::Items from FirstItem on.
    std::uint32_t FirstItem = 0;
    std::uint32_t ItemCount = 0;
    std::size_t SlotCount = 0; // every voice's slots (kept in the part, in one vector)
    // Voices 2, 3, ...: Part::ExtraVoices from FirstExtraVoice on.
    std::uint32_t FirstExtraVoice = 0;
    std::uint32_t ExtraVoiceCount = 0;
    // The longest voice; once the parts are aligned, the longest voice of any part.
    int Length = 0;
    int BarLength = 0; // of the time signature in force at the bar's end, 0 when there is none
    std::optional<BarlineOut> Left;
    std::optional<BarlineOut> Right;
    bool Implicit = false;
    bool NewSystem = false;      // the first bar of a system of the page
    bool VoicePerStream = false; // each of the voices above is one voice number
    // A slot of the measure has a beam flag, or a slur flag: most measures have neither, and
    // the beams and slurs skip them.
    bool BeamFlags = false;
    bool SlurFlags = false;
    int Number = 1;

    bool hasNotes() const { return SlotCount > 0; }
    bool hasExtraVoices() const { return ExtraVoiceCount > 0; }
};

// A further voice of a measure: its slots in time order, in Part::ExtraSlots.
struct SlotRange {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
};

// The parts of a document live in one arena, freed at once when the document is written: the
// builder's vectors grow and are dropped dozens of times per score. (The measures grow outside
// it: see PartBuilder::build.)
template <typename T> using PartVector = std::pmr::vector<T>;

// Every measure's items, slots, attributes and directions are kept in vectors of the part, so
// that a bar costs no allocation of its own.
struct Part {
    std::string Name;
    PartVector<Measure> Measures;
    PartVector<MeasureItem> Items;
    PartVector<Slot> Slots;
    PartVector<NoteOut> Notes; // of every slot, a slot's together
    PartVector<AttributesOut> Attributes;
    PartVector<DirectionOut> Directions;
    PartVector<SlotRange> ExtraVoices;  // of every measure, voice after voice
    PartVector<std::size_t> ExtraSlots; // of every further voice, one after the other

    std::span<const NoteOut> notes(const Slot &slot) const {
        return {Notes.data() + slot.FirstNote, slot.NoteCount};
    }
    std::span<const MeasureItem> items(const Measure &measure) const {
        return {Items.data() + measure.FirstItem, measure.ItemCount};
    }
    // The slots of voice 2 + `voice` of a measure.
    std::span<const std::size_t> extraVoice(const Measure &measure, std::size_t voice) const {
        const SlotRange &range = ExtraVoices[measure.FirstExtraVoice + voice];
        return {ExtraSlots.data() + range.First, range.Count};
    }
};

// Builds the measures of every staff, a part each, counting in `stats` what cannot be
// expressed, in the finest timing its notes need (`timing` is set to it).
std::vector<Part> buildParts(const Score &score, Timing &timing, MusicXmlStats &stats,
                             std::pmr::memory_resource &arena);

// Beam marks per measure, voice and level, from the notes' beam flags (a beam that the flags
// leave open or start twice is closed where its notes end).
void assignBeams(std::vector<Part> &parts);

// Voice numbers of the measures with more than one voice: up-stem notes in voice 1, down-stem
// notes in voice 2, a rest beside notes on the free side or in a voice of its own.
void assignVoices(std::vector<Part> &parts);

// Slur marks from the notes' slur flags, with numbers that stay distinct while slurs overlap.
// A slur that never ends is left out and counted.
void numberSlurs(std::vector<Part> &parts, MusicXmlStats &stats);

} // namespace qm::musicxml
