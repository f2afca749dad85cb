#include "core/pipeline.hpp"

#include "core/score.hpp"
#include "nwcwrite/header.hpp"
#include "nwcwrite/staff.hpp"
#include "nwread/reader.hpp"
#include "repair/bars.hpp"
#include "repair/chords.hpp"
#include "repair/systems.hpp"

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

} // namespace

std::vector<std::uint8_t> convertScore(std::span<const std::uint8_t> nwBytes, Messages &messages) {
    Score score;
    RecordSource source(nwBytes);

    // Read: headers, then every stave with its own passes, then the page texts.
    const HeaderReadResult header = readNWHeader(source, score, messages);
    for (std::int32_t k = 1; k <= header.StaveCount; ++k)
        readNWStave(source, score, k, messages);
    readNWTrailer(source, score, messages);
    messages.logPlainLine("");

    // Repair the score as a whole; the order matters (each pass sees what the one before left).
    joinSystems(score, messages);
    insertOpeningSigns(score, messages);
    splitRestChords(score, messages);
    removeRepeatedSigns(score);
    setFinalBarStyles(score);

    // Write.
    NwcOutput out;
    out.reserve(estimatedNwcSize(score));
    writeFileHeader(out, score, messages);
    for (Stave &stave : score.Staves)
        writeStaff(out, stave, score, messages);
    messages.logPlainLine("");

    freeScore(score);
    return out.take();
}

} // namespace qm
