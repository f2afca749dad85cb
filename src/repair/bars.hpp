// Bar lengths and time signatures: opening signs, repeated signs, the closing bar, and the
// split-bar rule applied when systems are joined.
#pragma once

#include <cstdint>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"
#include "repair/durations.hpp"

namespace qm {

// Length in 64th-note units of a bar of num/den: num * (64 / den) for den 1, 2, 4, ..., 64;
// 0 for any other denominator.
std::int64_t timeSigBarLength(std::int64_t numerator, std::int64_t denominator);

// Time of the elements from `first` up to `end` (not included): chords unless grace, notes and
// rests unless grace or chord members; everything else takes no time.
std::int64_t spanSum(ElementList::const_iterator first, ElementList::const_iterator end,
                     Messages &messages);

// Kinds that show a stave's music has begun: an opening clef goes before the first of them.
bool needsClefBefore(Kind kind);

// Gives every stave an opening clef and time signature (warning or error 3).
void insertOpeningSigns(Score &score, Messages &messages);

// Drops clefs, time and key signatures that repeat the one in force, and NewStave elements.
void removeRepeatedSigns(Score &score);

// Turns a closing bar line into the stave's FinalBarStyle.
void setFinalBarStyles(Score &score);

// The split-bar rule: removes the plain bar line that closes a short bar at a system's end, so
// the bar runs on into the next system. Applied to a stave that grows system by system, it
// remembers what it has walked (the live bar lines, the time of each bar, the signature in
// force), so each call only walks the elements added since the previous one. `end` is the
// stave's last element before the next system was appended (Elements.end() when the stave was
// empty).
class SplitBarTracker {
public:
    void apply(Stave &stave, ElementIt end, Messages &messages);

private:
    // The elements between two bar lines: their time, the dotting errors that measuring it
    // reports (a run of Faults: the segments of a stave lie one after another, and so do their
    // faults), and whether a note or rest lies among them.
    struct Segment {
        std::int64_t Span = 0;
        std::uint32_t FirstFault = 0;
        std::uint32_t FaultCount = 0;
        bool HasNoteOrRest = false;
        void absorb(const Segment &later);
    };
    struct Bar {
        ElementIt Line;
        Segment Before; // from the previous live bar line (or the stave's start) to Line
    };

    void walkTo(Stave &stave, ElementIt end);
    void walkElement(ElementIt element);
    std::int64_t lastBarSpan(Messages &messages) const;

    std::vector<Bar> Bars;            // the live bar lines that may still go, in order
    Segment Open;                     // after the last live bar line
    std::vector<DottingFault> Faults; // in walk order
    ElementIt LastWalked;
    bool WalkedAny = false;
    std::int64_t BarLength = 64;
};

} // namespace qm
