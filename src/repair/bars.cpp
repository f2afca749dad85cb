#include "repair/bars.hpp"

#include <array>
#include <cassert>
#include <iterator>
#include <string>

#include "repair/durations.hpp"

namespace qm {

bool needsClefBefore(Kind kind) {
    switch (kind) {
    case Kind::Clef:
    case Kind::BarLine:
    case Kind::Note:
    case Kind::Rest:
    case Kind::RestChord:
    case Kind::Chord:
    case Kind::TimeSig:
    case Kind::KeySig:
    case Kind::Accidental:
    case Kind::SlurPoint:
    case Kind::Accent: return true;
    default: return false;
    }
}

namespace {

// Kinds that take or mark time: the opening time signature goes before the first of them.
bool needsTimeSigBefore(Kind kind) {
    switch (kind) {
    case Kind::Note:
    case Kind::Rest:
    case Kind::RestChord:
    case Kind::Chord:
    case Kind::TimeSig:
    case Kind::Accidental:
    case Kind::SlurPoint:
    case Kind::Accent: return true;
    default: return false;
    }
}

// Kinds that may follow the closing bar line without keeping it in the music.
bool mayFollowClosingBar(Kind kind) {
    switch (kind) {
    case Kind::NewStave:
    case Kind::BarLine:
    case Kind::Chord:
    case Kind::Text:
    case Kind::Accidental:
    case Kind::SlurPoint:
    case Kind::Accent:
    case Kind::Unknown: return true;
    default: return false;
    }
}

// What an element adds to a span sum: chords unless grace, notes and rests unless grace or
// chord members.
bool takesSpanTime(const Element &element) {
    if (element.Kind == Kind::Chord) return !element.Note.Grace;
    return element.isNoteOrRest() && !element.Note.InChord && !element.Note.Grace;
}

std::int64_t signatureBarLength(const TimeSigData &timeSig) {
    if (timeSig.CommonTime || timeSig.CutTime) return 64; // 4/4 and 2/2
    return timeSigBarLength(timeSig.Numerator, timeSig.Denominator);
}

template <typename Pred> ElementIt findFrom(ElementIt from, ElementIt end, Pred pred) {
    while (from != end && !pred(from->Kind))
        ++from;
    return from;
}

ElementIt insertSign(Stave &stave, ElementIt before, Kind kind) {
    Element sign = newElement(kind);
    sign.StaveNo = stave.StaveNo;
    ++stave.ElementCount;
    return stave.Elements.insert(before, sign);
}

// Time of the second bar after `timeSig`; the first is skipped so an upbeat does not count.
std::int64_t measureSecondBar(Stave &stave, ElementIt timeSig, Messages &messages) {
    const ElementIt end = stave.Elements.end();
    const auto isBar = [](Kind kind) { return kind == Kind::BarLine; };
    const ElementIt b1 = findFrom(std::next(timeSig), end, isBar);
    if (b1 == end || std::next(b1) == end) return 0;
    const ElementIt b2 = findFrom(std::next(b1), end, isBar);
    if (b2 == end) return 0;
    return spanSum(std::next(b1), b2, messages);
}

struct Signature {
    std::int32_t Numerator;
    std::int32_t Denominator;
};

constexpr std::array<Signature, 4> Candidates{{{4, 4}, {3, 4}, {6, 4}, {9, 8}}};

void chooseTimeSig(Element &timeSig, std::int64_t measured, Messages &messages) {
    Signature chosen = Candidates[0];
    bool matches = false;
    for (const Signature &candidate : Candidates) {
        if (timeSigBarLength(candidate.Numerator, candidate.Denominator) == measured) {
            chosen = candidate;
            matches = true;
            break;
        }
    }
    const std::string text = "Inserted a time signature " + std::to_string(chosen.Numerator) + "/" +
                             std::to_string(chosen.Denominator);
    if (matches) {
        messages.reportWarning(3, text);
    } else {
        messages.reportError(3, text + " which doesn't match bar length");
    }
    timeSig.TimeSig = TimeSigData{};
    timeSig.TimeSig.Numerator = chosen.Numerator;
    timeSig.TimeSig.Denominator = chosen.Denominator;
    timeSig.TimeSig.IsTop = 1;
}

void insertOpeningSignsInStave(Stave &stave, Messages &messages) {
    const ElementIt end = stave.Elements.end();
    ElementIt clef = findFrom(stave.Elements.begin(), end, needsClefBefore);
    if (clef == end) return; // nothing but texts and marks: no signs needed
    if (clef->Kind != Kind::Clef) {
        clef = insertSign(stave, clef, Kind::Clef);
        clef->Code = stave.InitialClef;
    }
    ElementIt first = findFrom(std::next(clef), end, needsTimeSigBefore);
    if (first == end || first->Kind == Kind::TimeSig) return;
    const ElementIt timeSig = insertSign(stave, first, Kind::TimeSig);
    chooseTimeSig(*timeSig, measureSecondBar(stave, timeSig, messages), messages);
}

bool sameTimeSig(const TimeSigData &a, const TimeSigData &b) {
    return a.Numerator == b.Numerator && a.Denominator == b.Denominator &&
           a.CommonTime == b.CommonTime && a.CutTime == b.CutTime;
}

bool sameKeySig(const KeySigData &a, const KeySigData &b) {
    return a.Flats == b.Flats && a.SignCount == b.SignCount;
}

void removeRepeatedSignsInStave(Stave &stave) {
    const Element *clef = nullptr;
    const Element *timeSig = nullptr;
    const Element *keySig = nullptr;
    for (Element &element : stave.Elements) {
        switch (element.Kind) {
        case Kind::NewStave: element.Kind = Kind::Unknown; break;
        case Kind::Clef:
            if (clef && clef->Code == element.Code) {
                element.Kind = Kind::Unknown;
            } else {
                clef = &element;
            }
            break;
        case Kind::TimeSig:
            if (timeSig && sameTimeSig(timeSig->TimeSig, element.TimeSig)) {
                element.Kind = Kind::Unknown;
            } else {
                timeSig = &element;
            }
            break;
        case Kind::KeySig:
            if (keySig && sameKeySig(keySig->KeySig, element.KeySig)) {
                element.Kind = Kind::Unknown;
            } else {
                keySig = &element;
            }
            break;
        default: break;
        }
    }
}

// Walking back from the end finds the last bar line; any element before it (from the end)
// that may not follow a closing bar keeps the bar line in the music.
void setFinalBarStyle(Stave &stave) {
    stave.FinalBarStyle = 3;
    for (auto it = stave.Elements.rbegin(); it != stave.Elements.rend(); ++it) {
        if (it->Kind == Kind::BarLine) {
            stave.FinalBarStyle = it->Code;
            it->Kind = Kind::Unknown;
            return;
        }
        if (!mayFollowClosingBar(it->Kind)) return;
    }
}

} // namespace

std::int64_t timeSigBarLength(std::int64_t numerator, std::int64_t denominator) {
    switch (denominator) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 32:
    case 64: return numerator * (64 / denominator);
    default: return 0;
    }
}

std::int64_t spanSum(ElementList::const_iterator first, ElementList::const_iterator end,
                     Messages &messages) {
    std::int64_t sum = 0;
    for (auto it = first; it != end; ++it)
        if (takesSpanTime(*it)) sum += durationValue(*it, messages);
    return sum;
}

void insertOpeningSigns(Score &score, Messages &messages) {
    for (Stave &stave : score.Staves)
        insertOpeningSignsInStave(stave, messages);
}

void removeRepeatedSigns(Score &score) {
    for (Stave &stave : score.Staves)
        removeRepeatedSignsInStave(stave);
}

void setFinalBarStyles(Score &score) {
    for (Stave &stave : score.Staves)
        setFinalBarStyle(stave);
}

void SplitBarTracker::Segment::absorb(const Segment &later) {
    assert(later.FaultCount == 0 || FaultCount == 0 || FirstFault + FaultCount == later.FirstFault);
    if (FaultCount == 0) FirstFault = later.FirstFault;
    Span += later.Span;
    FaultCount += later.FaultCount;
    HasNoteOrRest = HasNoteOrRest || later.HasNoteOrRest;
}

void SplitBarTracker::apply(Stave &stave, ElementIt end, Messages &messages) {
    if (end == stave.Elements.end()) return; // the stave was empty: no bar to run on
    walkTo(stave, end);
    if (Bars.empty()) return;
    Bar &last = Bars.back();
    if (last.Line->Code != 0 || Open.HasNoteOrRest) return;
    if (lastBarSpan(messages) >= BarLength) return;
    // The bar line goes: its bar and what follows it become one open bar.
    last.Line->Kind = Kind::Unknown;
    Segment merged = last.Before;
    merged.absorb(Open);
    Open = merged;
    Bars.pop_back();
}

// Inline: the walk visits every element of every appended stave.
inline void SplitBarTracker::walkElement(ElementIt element) {
    if (element->Kind == Kind::BarLine) {
        // A bar line goes only while nothing after it holds a note or rest and the lines after
        // it have gone, and a line that is not plain never goes. So music before this line, or
        // this line not plain, keeps every earlier line for good: they need not be remembered,
        // which keeps the list short on a stave of 128 joined systems.
        if (Open.HasNoteOrRest || element->Code != 0) Bars.clear();
        Bars.push_back(Bar{element, Open});
        Open = Segment{};
        Open.FirstFault = static_cast<std::uint32_t>(Faults.size());
        return;
    }
    if (element->Kind == Kind::TimeSig) BarLength = signatureBarLength(element->TimeSig);
    if (takesSpanTime(*element)) {
        const Duration duration = measureDuration(*element);
        Open.Span += duration.Value;
        if (duration.Fault != DottingFault::None) {
            if (Open.FaultCount == 0) Open.FirstFault = static_cast<std::uint32_t>(Faults.size());
            Faults.push_back(duration.Fault);
            ++Open.FaultCount;
        }
    }
    Open.HasNoteOrRest = Open.HasNoteOrRest || element->isNoteOrRest();
}

void SplitBarTracker::walkTo(Stave &stave, ElementIt end) {
    if (WalkedAny && LastWalked == end) return;
    if (!WalkedAny) Bars.reserve(16); // a stave's bars, mostly, in one allocation
    ElementIt it = WalkedAny ? std::next(LastWalked) : stave.Elements.begin();
    const ElementIt stop = std::next(end);
    for (; it != stop; ++it) {
        assert(it != stave.Elements.end()); // `end` lies ahead of what was walked
        walkElement(it);
    }
    LastWalked = end;
    WalkedAny = true;
}

// Time from the bar line before the last (or the stave's first element) to the last bar line.
// Measuring it reports the dotting errors of its notes each time, as a fresh walk would.
std::int64_t SplitBarTracker::lastBarSpan(Messages &messages) const {
    const Segment &bar = Bars.back().Before;
    for (std::uint32_t i = 0; i < bar.FaultCount; ++i)
        reportDottingFault(Faults[bar.FirstFault + i], messages);
    return bar.Span;
}

} // namespace qm
