// The conversion as one ordered table of named steps: reading, the passes that repair the
// model, and the writers. The pipeline runs them in table order; tools name them to look at the
// model between two steps.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/messages.hpp"
#include "core/score.hpp"
#include "musicxmlwrite/musicxml.hpp"
#include "nwread/reader.hpp"
#include "nwread/record.hpp"
#include "repair/chords.hpp"
#include "repair/note_signs.hpp"

namespace qm {

// Which files a conversion produces. The NWC writer runs either way, so the log is the same
// whichever outputs are asked for.
struct OutputFormats {
    bool Nwc = true;
    bool MusicXml = false;
};

// The bytes each writer produced. A writer that was not asked for leaves its buffer empty.
struct ConversionOutputs {
    std::vector<std::uint8_t> Nwc;
    MusicXmlBytes MusicXml;
    MusicXmlStats MusicXmlCounts;
};

// Working storage of the stave passes, kept from stave to stave of one conversion so that the
// passes of a stave allocate nothing once the buffers have grown. Holds nothing between passes.
struct PassScratch {
    ChordScratch Chords;
    SignScratch Signs;
};

// Everything a step may use. Stave steps also get the stave, its number and the stave before
// it, which has been through every stave step already.
struct PassContext {
    Score &score;
    Messages &messages;
    RecordSource &source;
    ConversionOutputs &outputs;
    Stave *stave = nullptr;
    const Stave *previous = nullptr;
    std::int32_t staveNumber = 0;
    OutputFormats formats{};
    PassScratch scratch{};
    // The kinds the stave held as read. No pass adds slur points, time signatures, texts,
    // accidentals or accents, so a kind absent here is absent later too.
    KindCensus kindsRead{};

    std::int32_t read(Kind kind) const { return kindsRead[static_cast<std::size_t>(kind)]; }
    bool readAny(Kind kind) const { return read(kind) > 0; }
};

// A Score step runs once; a run of consecutive Stave steps runs stave by stave, all of them on
// stave 1, then all of them on stave 2, ... (so a stave's passes see the staves before it
// finished, and the log keeps each stave's messages together).
enum class PassScope : std::uint8_t { Score, Stave };

struct Pass {
    std::string_view Name;
    PassScope Scope;
    void (*Run)(PassContext &context);
};

// Every step of a conversion, in the order they run.
std::span<const Pass> conversionPasses();

// The step with this name, or nullptr.
const Pass *findPass(std::string_view name);

} // namespace qm
