// Beams and slurs: the notes carry flags (a beam or slur goes on from here, comes in here);
// MusicXML wants marks that open and close in one voice, and numbers for slurs.
#include <algorithm>
#include <bitset>
#include <iterator>

#include "musicxmlwrite/part.hpp"

namespace qm::musicxml {

namespace {

// Beam levels of a note: an eighth has one, a 64th four; longer notes have none.
std::size_t beamLevels(const Slot &slot) {
    return slot.Type >= 4 ? std::min<std::size_t>(slot.Type - 3, BeamLevels) : 0;
}

bool beamable(const Slot &slot) {
    return slot.hasNotes() && !slot.isRest() && beamLevels(slot) > 0 &&
           (slot.BeamFrom || slot.BeamTo);
}

// Marks a finished run of beamed slots: one beam over all of them, and at each further level
// a beam over the neighbours that have it, or a hook for a note that has it alone.
// Each slot's levels are read once, with its neighbours'.
void markRun(std::span<Slot> slots, const std::vector<std::size_t> &run) {
    if (run.size() < 2) return;
    std::size_t levelsBefore = 0;
    std::size_t levels = beamLevels(slots[run[0]]);
    for (std::size_t i = 0; i < run.size(); ++i) {
        const std::size_t levelsAfter = i + 1 < run.size() ? beamLevels(slots[run[i + 1]]) : 0;
        Slot &slot = slots[run[i]];
        for (std::size_t level = 0; level < levels; ++level) {
            const bool before = levelsBefore > level;
            const bool after = levelsAfter > level;
            BeamMark mark = BeamMark::Continue;
            if (!before && !after)
                mark = i == 0 ? BeamMark::ForwardHook : BeamMark::BackwardHook;
            else if (!before)
                mark = BeamMark::Begin;
            else if (!after)
                mark = BeamMark::End;
            slot.Beams[level] = mark;
        }
        levelsBefore = levels;
        levels = levelsAfter;
    }
}

// Adds a slot to a run by its beam flags: a run opens where a beam starts (or goes on with
// none open) and closes where it ends.
void extendRun(std::span<Slot> slots, std::vector<std::size_t> &run, std::size_t index) {
    const Slot &slot = slots[index];
    const bool starts = slot.BeamTo && !slot.BeamFrom;
    const bool ends = slot.BeamFrom && !slot.BeamTo;
    if (starts) {
        markRun(slots, run);
        run.clear();
    }
    if (ends && run.empty()) return;
    run.push_back(index);
    if (ends) {
        markRun(slots, run);
        run.clear();
    }
}

// The slots of one voice in time order. Main notes and grace notes are beamed apart: grace
// notes neither join nor break a run of main notes, and a run of grace notes closes at the
// next main note. Runs close at an unbeamed note and at the bar's end.
// `run` and `graceRun` are working storage, kept from voice to voice.
void beamVoice(std::span<Slot> slots, std::span<const std::size_t> voice,
               std::vector<std::size_t> &run, std::vector<std::size_t> &graceRun) {
    run.clear();
    graceRun.clear();
    auto close = [&](std::vector<std::size_t> &open) {
        if (open.empty()) return;
        markRun(slots, open);
        open.clear();
    };
    for (std::size_t index : voice) {
        const Slot &slot = slots[index];
        if (!slot.Grace) close(graceRun);
        std::vector<std::size_t> &open = slot.Grace ? graceRun : run;
        if (!beamable(slot)) {
            close(open);
            continue;
        }
        extendRun(slots, open, index);
    }
    close(graceRun);
    close(run);
}

} // namespace

void assignBeams(std::vector<Part> &parts) {
    std::vector<std::size_t> first;
    std::vector<std::size_t> run;
    std::vector<std::size_t> graceRun;
    for (Part &part : parts) {
        for (Measure &measure : part.Measures) {
            if (!measure.BeamFlags) continue;
            first.clear();
            for (const MeasureItem &item : part.items(measure))
                if (item.Kind == ItemKind::Slot) first.push_back(item.Index);
            beamVoice(part.Slots, first, run, graceRun);
            for (std::size_t v = 0; v < measure.ExtraVoiceCount; ++v)
                beamVoice(part.Slots, part.extraVoice(measure, v), run, graceRun);
        }
    }
}

namespace {

constexpr int MaxSlurNumber = 16;

struct OpenSlur {
    std::size_t Slot; // in Part::Slots
    int Number;
};

// Working storage of the slur numbering, kept from part to part.
struct SlurScratch {
    std::vector<std::size_t> Order;
    std::vector<std::size_t> Merged;
    std::vector<std::vector<OpenSlur>> Open;
};

// Open slurs per voice (innermost last) and the numbers in use across the part.
class SlurNumbering {
public:
    SlurNumbering(MusicXmlStats &stats, SlurScratch &scratch) : Stats(stats), Open(scratch.Open) {
        for (std::vector<OpenSlur> &open : Open)
            open.clear();
    }

    void visit(Part &part, std::size_t slotIndex) {
        Slot &slot = part.Slots[slotIndex];
        if (!slot.hasNotes() || (!slot.SlurFrom && !slot.SlurTo)) return;
        const auto voice = static_cast<std::size_t>(slot.Voice);
        if (voice >= Open.size()) Open.resize(voice + 1);
        std::vector<OpenSlur> &open = Open[voice];
        if (slot.SlurFrom && !slot.SlurTo) {
            if (open.empty()) return; // an end without a start shows nothing
            slot.Slur = SlurMark{open.back().Number, false};
            InUse.reset(static_cast<std::size_t>(open.back().Number));
            open.pop_back();
        } else if (slot.SlurTo && (!slot.SlurFrom || open.empty())) {
            int number = 1;
            while (number <= MaxSlurNumber && InUse.test(static_cast<std::size_t>(number)))
                ++number;
            if (number > MaxSlurNumber) {
                ++Stats.OmittedElements;
                return;
            }
            InUse.set(static_cast<std::size_t>(number));
            slot.Slur = SlurMark{number, true};
            open.push_back(OpenSlur{slotIndex, number});
        }
    }

    // A slur still open at the end of the part has no note to end on: its start goes.
    void dropUnfinished(Part &part) {
        for (const std::vector<OpenSlur> &open : Open) {
            for (const OpenSlur &slur : open) {
                part.Slots[slur.Slot].Slur.reset();
                ++Stats.OmittedElements;
            }
        }
    }

private:
    MusicXmlStats &Stats;
    std::vector<std::vector<OpenSlur>> &Open; // by voice
    std::bitset<MaxSlurNumber + 1> InUse;
};

// The slots of a measure in time order across voices, the first voice first at equal times,
// then the further voices in turn. Each voice is in time order already, so they are merged.
void timeOrder(const Part &part, const Measure &measure, SlurScratch &scratch) {
    std::vector<std::size_t> &order = scratch.Order;
    order.clear();
    for (const MeasureItem &item : part.items(measure))
        if (item.Kind == ItemKind::Slot) order.push_back(item.Index);
    const auto earlier = [&](std::size_t a, std::size_t b) {
        return part.Slots[a].Onset < part.Slots[b].Onset;
    };
    for (std::size_t v = 0; v < measure.ExtraVoiceCount; ++v) {
        const std::span<const std::size_t> voice = part.extraVoice(measure, v);
        scratch.Merged.clear();
        std::merge(order.begin(), order.end(), voice.begin(), voice.end(),
                   std::back_inserter(scratch.Merged), earlier);
        order.swap(scratch.Merged);
    }
}

// Slots are visited in time order across voices, so a number freed by one voice is never
// reused while it is still open in another.
void numberPartSlurs(Part &part, MusicXmlStats &stats, SlurScratch &scratch) {
    if (std::none_of(part.Measures.begin(), part.Measures.end(),
                     [](const Measure &measure) { return measure.SlurFlags; }))
        return;
    SlurNumbering numbering(stats, scratch);
    for (std::size_t m = 0; m < part.Measures.size(); ++m) {
        if (!part.Measures[m].SlurFlags) continue;
        timeOrder(part, part.Measures[m], scratch);
        for (std::size_t index : scratch.Order)
            numbering.visit(part, index);
    }
    numbering.dropUnfinished(part);
}

} // namespace

void numberSlurs(std::vector<Part> &parts, MusicXmlStats &stats) {
    SlurScratch scratch;
    for (Part &part : parts)
        numberPartSlurs(part, stats, scratch);
}

} // namespace qm::musicxml
