#include "core/score.hpp"

#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

#include "core/messages.hpp"

namespace qm {

Element newElement(Kind kind) {
    Element e;
    e.Kind = kind;
    if (!e.hasNoteData()) std::memset(static_cast<void *>(&e.Note), 0, sizeof e.Note);
    return e;
}

void initNoteData(NoteData &note) { note = NoteData{}; }

StaveList::iterator staveAt(Score &score, std::int32_t i) {
    if (i < 1 || i > static_cast<std::int32_t>(score.Staves.size())) return score.Staves.end();
    return std::next(score.Staves.begin(), i - 1);
}

void createStaves(Score &score, std::uint8_t count, std::int32_t version, Messages &messages) {
    if (count == 0) {
        messages.reportError(67, "File has wrong format or no staves");
        return;
    }
    score.StaveCount = count;
    score.NWVersion = version;
    score.Staves.clear();
    score.TextTable.assign(1, std::string{});
    score.TitleIndex = 0;
    // Staves are created head-first, so the head carries the highest number until the system
    // pass renumbers them; list order is file order.
    for (StaveNumber i = 1; i <= count; ++i) {
        Stave stave = newStave(score.ElementMemory.get());
        stave.StaveNo = i;
        score.Staves.push_front(std::move(stave));
    }
}

Stave newStave(std::pmr::memory_resource *memory) { return Stave{.Elements = ElementList(memory)}; }

ElementNumber nextElementNumber(Stave &stave) {
    if (stave.ElementCount >= std::numeric_limits<ElementNumber>::max())
        throw std::length_error("too many elements in one stave");
    return static_cast<ElementNumber>(++stave.ElementCount);
}

void preCreateElements(Stave &stave, std::int32_t count) {
    stave.ElementCount = count;
    stave.Elements.assign(static_cast<std::size_t>(count), newElement(Kind::Unknown));
}

void *ElementPool::do_allocate(std::size_t bytes, std::size_t alignment) {
    if (!pooled(bytes, alignment)) return Chunks.allocate(bytes, alignment);
    const std::size_t size = sizeClass(bytes);
    if (FreeBlock *recycled = FreeLists[size]) {
        FreeLists[size] = recycled->Next;
        return recycled;
    }
    const std::size_t rounded = size * Granule;
    if (ChunkLeft < rounded) return fromNewChunk(rounded);
    void *block = ChunkNext;
    ChunkNext += rounded;
    ChunkLeft -= rounded;
    return block;
}

// The rest of the current chunk is left unused; it is smaller than the block asked for.
void *ElementPool::fromNewChunk(std::size_t bytes) {
    if (BeforeGrowth) BeforeGrowth(ChunkBytes);
    ChunkNext = static_cast<std::byte *>(Chunks.allocate(ChunkBytes, alignof(std::max_align_t)));
    ChunkLeft = ChunkBytes - bytes;
    void *block = ChunkNext;
    ChunkNext += bytes;
    return block;
}

void ElementPool::do_deallocate(void *block, std::size_t bytes, std::size_t alignment) {
    if (!pooled(bytes, alignment)) return; // released with the pool
    const std::size_t size = sizeClass(bytes);
    FreeLists[size] = ::new (block) FreeBlock{FreeLists[size]};
}

void freeScore(Score &score) {
    // A list moved into storage of the pool is never destroyed: its nodes end with the pool's
    // memory, which the score releases as a whole. Lists from other memory (a stave built
    // elsewhere) are destroyed as usual.
    std::pmr::memory_resource *memory = score.ElementMemory.get();
    for (Stave &stave : score.Staves) {
        if (stave.Elements.get_allocator().resource() != memory) continue;
        void *storage = memory->allocate(sizeof(ElementList), alignof(ElementList));
        ::new (storage) ElementList(std::move(stave.Elements));
    }
    score.Staves.clear();
    score.StaveCount = 0;
}

bool chordsLeadTheirMembers(const Stave &stave) {
    const auto end = stave.Elements.end();
    for (auto it = stave.Elements.begin(); it != end; ++it) {
        if (it->Kind != Kind::Chord) continue;
        auto member = std::next(it);
        for (std::int32_t i = 0; i < it->Note.MemberCount; ++i, ++member)
            if (member == end || !member->isNoteOrRest() || !member->Note.InChord) return false;
    }
    return true;
}

std::string kindName(std::uint8_t kind) {
    switch (static_cast<Kind>(kind)) {
    case Kind::NewStave: return "New Stave";
    case Kind::Clef: return "Clef";
    case Kind::BarLine: return "Bar Line";
    case Kind::Note: return "Note";
    case Kind::Rest: return "Rest";
    case Kind::RestChord: return "Rest-chord";
    case Kind::Chord: return "Chord";
    case Kind::TimeSig: return "Time Signature";
    case Kind::KeySig: return "Key Signature";
    case Kind::Text: return "Text";
    case Kind::Volume: return "Volume";
    case Kind::DynamicVar: return "Dynamic variation";
    case Kind::Pedal: return "Ped Up/dn";
    case Kind::TempoVar: return "Tempo Var";
    case Kind::FlowControl: return "Flow Control";
    case Kind::Symbol: return "symbol";
    case Kind::Accidental: return "Accidental";
    case Kind::SlurPoint: return "Slur Point";
    case Kind::Accent: return "Accent";
    case Kind::Unknown: return "Unknown";
    default: return "Oops! ";
    }
}

std::string accentName(std::uint8_t code) {
    static constexpr const char *names[] = {"Staccato", "Tenuto", "Accent", "Mordent", "unknown"};
    return code <= 4 ? names[code] : "unknown";
}

char noteLetter(std::int32_t position) {
    std::int32_t r = (position + 1) % 7;
    if (r < 0) r += 7;
    return static_cast<char>('A' + r);
}

std::string cut255(std::string text) {
    if (text.size() > 255) text.resize(255);
    return text;
}

} // namespace qm
