#include "repair/systems.hpp"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <string>
#include <vector>

#include "repair/bars.hpp"
#include "repair/durations.hpp"

namespace qm {

namespace {

using StaveIt = StaveList::iterator;

// A run of staves in list order: a stave and the staves after it that do not start a system.
struct SystemRun {
    StaveIt First;
    StaveIt Last;
    std::int32_t Length = 0;
};

std::vector<SystemRun> findRuns(StaveIt from, StaveIt end) {
    std::vector<SystemRun> runs;
    for (StaveIt it = from; it != end; ++it) {
        if (runs.empty() || it->SystemStart) runs.push_back(SystemRun{it, it, 0});
        runs.back().Last = it;
        ++runs.back().Length;
    }
    return runs;
}

// Kinds copied into a stave of rests: they end a bar's time and belong to every part.
bool copiedIntoRestStave(Kind kind) { return endsBarSpan(kind); }

void appendRests(Stave &stave, std::int32_t length) {
    while (length > 0) {
        const RestStep step = largestRest(length);
        length -= step.Covers;
        Element rest = newElement(Kind::Rest);
        rest.StaveNo = stave.StaveNo;
        rest.ElementNo = nextElementNumber(stave);
        rest.Note.Duration = step.Duration;
        rest.Note.Dotted = step.Dotted;
        rest.Note.DoubleDotted = step.DoubleDotted;
        stave.Elements.push_back(rest);
    }
}

// A stave that holds, bar for bar, whole-bar rests in place of the source's music, with the
// source's bar lines, time signatures and performance marks; and the dotting faults that
// measuring the source's bars met, in order.
struct RestStave {
    Stave Rests;
    std::vector<DottingFault> Faults;
};

RestStave makeRestStave(const Stave &source) {
    RestStave made{newStave(source.Elements.get_allocator().resource()), {}};
    Stave &stave = made.Rests;
    const auto end = source.Elements.end();
    for (auto it = source.Elements.begin(); it != end;) {
        if (copiedIntoRestStave(it->Kind)) {
            stave.Elements.push_back(*it);
            ++stave.ElementCount;
            ++it;
            continue;
        }
        appendRests(stave, barSpanValue(it, end, made.Faults));
        while (it != end && !copiedIntoRestStave(it->Kind))
            ++it;
    }
    return made;
}

// A copy whose elements come from the same memory as the original's (a plain copy of a list
// would take them from the general heap, and splicing needs one memory).
Stave copyOf(const Stave &original) {
    Stave copy = newStave(original.Elements.get_allocator().resource());
    copy.Elements = original.Elements;
    copy.ElementCount = original.ElementCount;
    assert(copy.Elements.get_allocator() == original.Elements.get_allocator());
    return copy;
}

void reportUnstartedRuns(const std::vector<SystemRun> &runs, Messages &messages) {
    for (const SystemRun &run : runs)
        if (!run.First->SystemStart)
            messages.reportError(6, "Failed to detect first stave in system");
}

// Every stave added to a system is filled from the system's first stave, so all of them are
// alike: the first is made by walking the source, the others are copies of it. Each reports
// the dotting errors of the source's bars again, as filling it from the source would.
void fillUpSystems(Score &score, std::vector<SystemRun> &runs, std::int32_t size,
                   Messages &messages) {
    for (SystemRun &run : runs) {
        if (!run.First->SystemStart || run.Length >= size) continue;
        RestStave model = makeRestStave(*run.First);
        for (; run.Length < size; ++run.Length) {
            for (const DottingFault fault : model.Faults)
                reportDottingFault(fault, messages);
            const bool last = run.Length + 1 == size;
            Stave added = last ? std::move(model.Rests) : copyOf(model.Rests);
            added.SystemEnd = last ? 1 : 0;
            run.Last = score.Staves.insert(std::next(run.Last), std::move(added));
            ++score.StaveCount;
        }
    }
}

// The first `size` staves take the staff styles of the largest system, and those beyond the
// first system's own staves its clefs too.
void takeOverStyles(StaveList &staves, StaveIt largest, std::int32_t size,
                    std::int32_t firstLength) {
    StaveIt target = staves.begin();
    StaveIt source = largest;
    for (std::int32_t i = 0; i < size; ++i, ++target, ++source) {
        target->StaffStyle = source->StaffStyle;
        if (i >= firstLength) target->InitialClef = source->InitialClef;
    }
}

// The largest system has at most the 255 staves of a file.
void renumber(StaveList &staves, std::int32_t size) {
    StaveNumber number = 1;
    for (auto it = staves.begin(); number <= size; ++it)
        it->StaveNo = number++;
}

void checkFirstSystemLength(StaveList &staves, std::int32_t size, Messages &messages) {
    const std::vector<SystemRun> runs = findRuns(staves.begin(), staves.end());
    if (runs.size() < 2 || runs.front().Length == size) return;
    messages.reportError(50, "Unexpected first system length of " +
                                 std::to_string(runs.front().Length) + " staves.");
}

// The clef in force after a run of elements, starting from `clef`.
std::uint8_t clefAfter(const ElementList &elements, std::uint8_t clef) {
    for (const Element &element : elements)
        if (element.Kind == Kind::Clef) clef = element.Code;
    return clef;
}

// A stave of a later system that opens in another clef than the one in force where it joins,
// and has no clef element of its own, gets one: without it the joined staff would go on in
// the earlier clef and every pitch of the system would be read wrong. Only staves read from
// the page (they hold a NewStave element) have a clef to open in; a stave of rests has none.
// `inForce` is the clef at the end of the stave it joins.
void insertOpeningClef(Stave &source, std::uint8_t inForce) {
    ElementList &list = source.Elements;
    // The reader has put a stave's NewStave element first.
    const bool fromPage = !list.empty() && list.front().Kind == Kind::NewStave;
    if (!fromPage || source.InitialClef == inForce) return;
    const auto first = std::find_if(list.begin(), list.end(),
                                    [](const Element &e) { return needsClefBefore(e.Kind); });
    if (first == list.end() || first->Kind == Kind::Clef) return;
    Element clef = newElement(Kind::Clef);
    clef.StaveNo = first->StaveNo;
    clef.Code = source.InitialClef;
    list.insert(first, clef);
    ++source.ElementCount;
}

// The stave's clef is followed from join to join, so that no stave is walked twice.
void appendStave(Stave &target, Stave &source, SplitBarTracker &tracker, std::uint8_t &clef,
                 Messages &messages) {
    insertOpeningClef(source, clef);
    clef = clefAfter(source.Elements, clef);
    const ElementIt formerLast =
        target.Elements.empty() ? target.Elements.end() : std::prev(target.Elements.end());
    // Splicing moves nodes between lists: both draw from the score's element memory.
    assert(target.Elements.get_allocator() == source.Elements.get_allocator());
    target.Elements.splice(target.Elements.end(), source.Elements);
    target.ElementCount += source.ElementCount;
    tracker.apply(target, formerLast, messages);
}

// Appends the k-th stave of every later system to the k-th output stave.
void appendLaterSystems(StaveList &output, StaveList &later, Messages &messages) {
    std::vector<SplitBarTracker> trackers(output.size());
    std::vector<std::uint8_t> clefs;
    for (const Stave &stave : output)
        clefs.push_back(clefAfter(stave.Elements, stave.InitialClef));
    for (SystemRun &run : findRuns(later.begin(), later.end())) {
        if (!run.First->SystemStart) messages.reportError(50, "Unexpected loss of start of system");
        StaveIt source = run.First;
        const StaveIt runEnd = std::next(run.Last);
        std::size_t k = 0;
        for (Stave &target : output) {
            if (source == runEnd) {
                messages.reportError(51, "Unexpected missing stave");
            } else {
                appendStave(target, *source++, trackers[k], clefs[k], messages);
            }
            ++k;
        }
        assert(source == runEnd); // no run is longer than the largest system
    }
}

} // namespace

void joinSystems(Score &score, Messages &messages) {
    StaveList &staves = score.Staves;
    if (staves.empty()) return;

    // STEP 1: measure the runs; the largest system sets the number of output staves.
    std::vector<SystemRun> runs = findRuns(staves.begin(), staves.end());
    reportUnstartedRuns(runs, messages);
    const std::int32_t firstLength = runs.front().Length;
    const auto largest = std::max_element(runs.begin(), runs.end(), [](auto &a, auto &b) {
        return a.Length < b.Length; // the earliest of equal runs wins
    });
    const std::int32_t size = largest->Length;
    const StaveIt largestFirst = largest->First;
    const bool uneven = std::any_of(runs.begin(), runs.end(),
                                    [size](const SystemRun &run) { return run.Length != size; });

    // STEP 2: fill shorter systems up with staves of rests.
    if (uneven) fillUpSystems(score, runs, size, messages);

    // STEP 3: a short first system takes the staff styles (and new staves' clefs) of the largest.
    if (firstLength < size) takeOverStyles(staves, largestFirst, size, firstLength);

    // STEP 4: number the output staves and check the first system.
    renumber(staves, size);
    checkFirstSystemLength(staves, size, messages);

    // STEP 5: keep the first `size` staves and append every later system to them.
    StaveList later;
    later.splice(later.begin(), staves, std::next(staves.begin(), size), staves.end());
    score.StaveCount = size;
    appendLaterSystems(staves, later, messages);
}

} // namespace qm
