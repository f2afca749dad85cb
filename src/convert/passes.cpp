#include "convert/passes.hpp"

#include <algorithm>
#include <array>

#include "nwcwrite/header.hpp"
#include "nwcwrite/staff.hpp"
#include "nwread/reader.hpp"
#include "repair/bars.hpp"
#include "repair/beams_ties.hpp"
#include "repair/chords.hpp"
#include "repair/note_signs.hpp"
#include "repair/positions.hpp"
#include "repair/slurs.hpp"
#include "repair/stave_start.hpp"
#include "repair/systems.hpp"
#include "repair/texts.hpp"
#include "repair/time_sig_digits.hpp"
#include "repair/unwritable.hpp"

namespace qm {

namespace {

// Room for the header, the staff headers and a note record per element, so the buffer
// rarely grows while the file is written.
std::size_t estimatedNwcSize(const Score &score) {
    std::size_t size = 1024;
    for (const Stave &stave : score.Staves)
        size += 64 + 16 * stave.Elements.size();
    return size;
}

void writeNwc(PassContext &c) {
    NwcOutput out;
    out.reserve(estimatedNwcSize(c.score));
    writeFileHeader(out, c.score, c.messages);
    for (Stave &stave : c.score.Staves)
        writeStaff(out, stave, c.score, c.messages);
    if (c.formats.Nwc) c.outputs.Nwc = out.take();
}

// Reads the model as the repairs left it, before the NWC writer moves a few marks for its own
// placement rules.
void writeMusicXmlOutput(PassContext &c) {
    if (c.formats.MusicXml) c.outputs.MusicXml = writeMusicXml(c.score, c.outputs.MusicXmlCounts);
}

// The order matters: each step sees what the ones before it left. Within a stave, slurs see
// absolute positions and single notes; chords see paired beams; texts see relative positions.
// The whole-score passes see the staves joined system by system.
constexpr std::array Passes{
    Pass{"read-header", PassScope::Score,
         [](PassContext &c) { readNWHeader(c.source, c.score, c.messages); }},

    Pass{"read-stave", PassScope::Stave,
         [](PassContext &c) {
             c.kindsRead = readNWStave(c.source, c.score, c.staveNumber, c.messages);
         }},
    Pass{"new-stave-to-front", PassScope::Stave,
         [](PassContext &c) { newStaveToFront(*c.stave, c.score.NWVersion, c.messages); }},
    Pass{"copy-bar-lines", PassScope::Stave,
         [](PassContext &c) { copyBarLines(*c.stave, c.previous); }},
    Pass{"resolve-slurs", PassScope::Stave,
         [](PassContext &c) {
             if (c.readAny(Kind::SlurPoint))
                 resolveSlurs(*c.stave, c.messages, c.read(Kind::SlurPoint));
         }},
    Pass{"merge-time-sig-digits", PassScope::Stave,
         [](PassContext &c) {
             // A single time signature has no digits to merge.
             if (c.read(Kind::TimeSig) > 1) mergeTimeSigDigits(*c.stave, c.read(Kind::TimeSig));
         }},
    Pass{"pair-beams", PassScope::Stave, [](PassContext &c) { pairBeams(*c.stave, c.messages); }},
    Pass{"pair-ties", PassScope::Stave, [](PassContext &c) { pairTies(*c.stave, c.messages); }},
    Pass{"build-chords", PassScope::Stave,
         [](PassContext &c) { buildChords(*c.stave, c.messages, c.scratch.Chords); }},
    Pass{"attach-accidentals", PassScope::Stave,
         [](PassContext &c) {
             if (c.readAny(Kind::Accidental))
                 attachAccidentals(*c.stave, c.messages, c.scratch.Signs);
         }},
    Pass{"attach-accents", PassScope::Stave,
         [](PassContext &c) {
             if (c.readAny(Kind::Accent)) attachAccents(*c.stave, c.messages, c.scratch.Signs);
         }},
    Pass{"make-positions-relative", PassScope::Stave,
         [](PassContext &c) { makePositionsRelative(*c.stave, c.messages); }},
    Pass{"join-text-fragments", PassScope::Stave,
         [](PassContext &c) {
             if (c.readAny(Kind::Text)) joinTextFragments(*c.stave, c.score, c.read(Kind::Text));
         }},
    Pass{"classify-texts", PassScope::Stave,
         [](PassContext &c) {
             if (c.readAny(Kind::Text)) classifyTexts(*c.stave, c.score);
         }},
    Pass{"find-title", PassScope::Stave,
         [](PassContext &c) {
             if (c.staveNumber == 1 && c.readAny(Kind::Text)) findTitle(*c.stave, c.score);
         }},
    Pass{"remove-unwritable", PassScope::Stave, [](PassContext &c) { removeUnwritable(*c.stave); }},

    Pass{"read-trailer", PassScope::Score,
         [](PassContext &c) {
             readNWTrailer(c.source, c.score, c.messages);
             c.messages.logPlainLine("");
         }},
    Pass{"join-systems", PassScope::Score,
         [](PassContext &c) { joinSystems(c.score, c.messages); }},
    Pass{"insert-opening-signs", PassScope::Score,
         [](PassContext &c) { insertOpeningSigns(c.score, c.messages); }},
    Pass{"split-rest-chords", PassScope::Score,
         [](PassContext &c) { splitRestChords(c.score, c.messages); }},
    Pass{"remove-repeated-signs", PassScope::Score,
         [](PassContext &c) { removeRepeatedSigns(c.score); }},
    Pass{"set-final-bar-styles", PassScope::Score,
         [](PassContext &c) { setFinalBarStyles(c.score); }},

    Pass{"write-musicxml", PassScope::Score, writeMusicXmlOutput},
    Pass{"write-nwc", PassScope::Score, writeNwc},
    Pass{"end-of-file", PassScope::Score, [](PassContext &c) { c.messages.logPlainLine(""); }},
};

} // namespace

std::span<const Pass> conversionPasses() { return Passes; }

const Pass *findPass(std::string_view name) {
    const auto found =
        std::find_if(Passes.begin(), Passes.end(), [&](const Pass &p) { return p.Name == name; });
    return found == Passes.end() ? nullptr : &*found;
}

} // namespace qm
