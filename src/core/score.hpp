// The in-memory score: staves holding their elements in file order. The reader builds it, the
// repair passes rewrite it in place, the writer walks it. Partners (beams, ties, slur points)
// are named by ElementNo within the stave, never by pointer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <list>
#include <memory>
#include <memory_resource>
#include <string>
#include <type_traits>
#include <vector>

namespace qm {

enum class Kind : std::uint8_t {
    NewStave = 0,
    Clef = 1,
    BarLine = 2,
    Note = 3,
    Rest = 4,
    RestChord = 5,
    Chord = 6,
    TimeSig = 7,
    KeySig = 8,
    Text = 9,
    LineSegment = 10,
    Volume = 11,
    DynamicVar = 12,
    PerformanceStyle = 13,
    Pedal = 14,
    TempoVar = 15,
    FlowControl = 16,
    Symbol = 17,
    Accidental = 18,
    SlurPoint = 19,
    Accent = 20,
    Arpeggio = 21,
    Unknown = 22,
};

// Numbers of staves and of elements within a stave, and counts of elements. An NW file has at
// most 255 staves of at most 255 records; the element numbers are those of the records, or
// count the elements of a stave of rests (at most 255 copied, and per bar a rest for every 128
// units of its time and a few for the remainder: a few thousand; see nextElementNumber). Joined
// staves keep the numbers their elements had, so none grows with the number of systems.
using StaveNumber = std::int16_t;
using ElementNumber = std::int16_t;
static_assert(std::numeric_limits<StaveNumber>::max() >= 255);
static_assert(std::numeric_limits<ElementNumber>::max() >= 255);

// Staff positions of notes and accidentals: a signed byte of the record (-128..127), never
// moved by a pass; 16 bits hold it with room to spare.
using StaffPosition = std::int16_t;

// Payload of notes, rests, rest-chords and chords. Initial values are those of a new record.
// The flags only ever hold 0 or 1 and take a bit each (every write gives them 0, 1 or a
// comparison), so the record packs into 24 bytes. Bit-fields have no member pointers: code that
// picks a flag from a table goes through a NoteFlag.
struct NoteData {
    StaffPosition Position = 0;
    ElementNumber BeamTo = 0;
    ElementNumber BeamFrom = 0;
    ElementNumber TieTo = 0;
    ElementNumber TieFrom = 0;
    ElementNumber SlurTo = 0;
    ElementNumber SlurFrom = 0;
    ElementNumber MemberCount = 0;
    std::uint8_t Duration = 3;
    std::uint8_t Stem = 0;
    std::uint8_t SlurDir = 1;
    std::uint8_t Accidental = 5;
    std::uint8_t Articulation = 4;
    std::uint8_t BeamMatched : 1 = 1;
    std::uint8_t TieMatched : 1 = 1;
    std::uint8_t Grace : 1 = 0;
    std::uint8_t Dotted : 1 = 0;
    std::uint8_t DoubleDotted : 1 = 0;
    std::uint8_t AuxFrom : 1 = 0;
    std::uint8_t AuxTo : 1 = 0;
    std::uint8_t InChord : 1 = 0;
    std::uint8_t ChordFlag : 1 = 0;
    std::uint8_t HasBeamFrom : 1 = 0;
    std::uint8_t HasBeamTo : 1 = 0;
    std::uint8_t HasTieFrom : 1 = 0;
    std::uint8_t HasTieTo : 1 = 0;
    std::uint8_t HasSlurFrom : 1 = 0;
    std::uint8_t HasSlurTo : 1 = 0;

    bool operator==(const NoteData &) const = default;
};
static_assert(sizeof(NoteData) <= 24);

// One flag of the note record, read and written through functions.
struct NoteFlag {
    bool (*Get)(const NoteData &);
    void (*Set)(NoteData &, bool);
};

struct TextData {
    std::int32_t TextIndex = 0;
    std::uint8_t TextStyle = 0;
};

struct TimeSigData {
    std::int32_t Numerator = 0;
    std::int32_t Denominator = 0;
    std::uint8_t IsTop = 0;
    std::uint8_t CommonTime = 0;
    std::uint8_t CutTime = 0;
};

struct KeySigData {
    std::uint8_t Sharps = 0;
    std::uint8_t Flats = 0;
    std::int32_t SignCount = 0;
};

struct AccidentalData {
    StaffPosition Position = 0;
};

// One element of a stave. The payloads of the kinds share their storage: only the one of the
// element's Kind is meaningful, and a new element holds the initial note record for note kinds
// and zeros for the others (see newElement). Copying an Element copies its whole payload.
struct Element {
    StaveNumber StaveNo = 0;
    ElementNumber ElementNo = 0;
    std::int32_t YPos = 0;
    std::int32_t XPos = 0;
    qm::Kind Kind = qm::Kind::Unknown;
    std::uint8_t Code = 0;

    union {
        NoteData Note;
        TextData Text;
        TimeSigData TimeSig;
        KeySigData KeySig;
        AccidentalData Accidental;
    };

    Element() : Note{} {}

    bool isNoteOrRest() const { return Kind == qm::Kind::Note || Kind == qm::Kind::Rest; }
    bool hasNoteData() const {
        return Kind == qm::Kind::Note || Kind == qm::Kind::Rest || Kind == qm::Kind::RestChord ||
               Kind == qm::Kind::Chord;
    }
};

// Every conversion holds hundreds of thousands of these at the format's limits (1.7 million
// for the largest layout): 40 bytes, 56 with the list links.
static_assert(sizeof(Element) <= 40);
static_assert(std::is_trivially_copyable_v<Element>);

// The memory of a score's element lists: a conversion allocates and frees hundreds of
// thousands of elements, one at a time. Small blocks come from chunks taken in turn from a
// monotonic buffer; a freed small block (a removed element, a dropped stave's nodes) goes to a
// free list of its size and is handed out again before fresh memory. Everything is released
// with the pool. Not thread-safe: one conversion, one pool.
class ElementPool final : public std::pmr::memory_resource {
public:
    ElementPool() = default;
    ElementPool(const ElementPool &) = delete;
    ElementPool &operator=(const ElementPool &) = delete;
    ~ElementPool() override = default;

    // Blocks up to this size (and aligned to at most 8) are pooled and recycled.
    static constexpr std::size_t MaxPooledBlock = 256;

    // Called with a chunk's size before each new chunk is taken: the model's memory as it
    // grows, so a caller running several conversions can hold one back. It may block.
    std::function<void(std::size_t bytes)> BeforeGrowth;

private:
    struct FreeBlock {
        FreeBlock *Next;
    };
    static constexpr std::size_t Granule = 8;
    static constexpr std::size_t ChunkBytes = 64 * 1024;

    static bool pooled(std::size_t bytes, std::size_t alignment) {
        return bytes <= MaxPooledBlock && alignment <= Granule;
    }
    static std::size_t sizeClass(std::size_t bytes) {
        return bytes <= sizeof(FreeBlock) ? 1 : (bytes + Granule - 1) / Granule;
    }

    void *do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void *block, std::size_t bytes, std::size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource &other) const noexcept override {
        return this == &other;
    }
    void *fromNewChunk(std::size_t bytes);

    std::array<FreeBlock *, MaxPooledBlock / Granule + 1> FreeLists{};
    std::byte *ChunkNext = nullptr;
    std::size_t ChunkLeft = 0;
    std::pmr::monotonic_buffer_resource Chunks;
};

// Element lists draw their nodes from the memory of their score (see Score).
using ElementList = std::pmr::list<Element>;
using ElementIt = ElementList::iterator;

struct Stave {
    StaveNumber StaveNo = 0;
    std::int32_t ElementCount = 0;
    std::int32_t YPos = 0;
    std::uint8_t SystemStart = 0;
    std::uint8_t SystemEnd = 0;
    ElementList Elements;
    std::uint8_t StaffStyle = 0;
    std::uint8_t InitialClef = 0;
    std::int32_t LyricLines = 0;
    std::uint8_t FinalBarStyle = 0;
};

using StaveList = std::list<Stave>;

// A new stave whose elements come from `memory`. Elements move between staves by splicing,
// which needs both lists to draw from the same memory: the staves of a score all use the
// score's.
Stave newStave(std::pmr::memory_resource *memory);

// Score-wide state of one conversion. TextTable entry 0 is always the empty text; the table
// grows as texts are read, so every text keeps an entry of its own.
struct Score {
    // Where the elements of every stave come from; released with the score. Declared before
    // the staves, so it outlives them.
    std::unique_ptr<ElementPool> ElementMemory = std::make_unique<ElementPool>();
    StaveList Staves;
    std::int32_t StaveCount = 0;
    std::int32_t NWVersion = 0;
    std::int32_t TitleIndex = 0;
    std::vector<std::string> TextTable{std::string{}};
    std::int32_t TextCount = 0;
    std::string HeaderText;
    std::string FooterText;
};

// A new element of the given kind with positions and numbers 0; notes, rests and chords get
// the initial note record, other kinds a payload of zeros.
Element newElement(Kind kind);

// Resets a note record to the values of a new one.
void initNoteData(NoteData &note);

// The i-th stave, counting from 1; end() when there are fewer staves.
StaveList::iterator staveAt(Score &score, std::int32_t i);

// Creates the staves of a file (error 67 when count is 0). Stave k of the file is staveAt(k).
class Messages;
void createStaves(Score &score, std::uint8_t count, std::int32_t version, Messages &messages);

// Counts one more element in the stave and gives its number. A number beyond what the field
// holds would be a fault of the model (see ElementNumber): it ends the conversion with
// std::length_error rather than wrap round to numbers other elements hold.
ElementNumber nextElementNumber(Stave &stave);

// Fills a stave with count Unknown elements, ready for the element records.
void preCreateElements(Stave &stave, std::int32_t count);

// Empties the score. The element lists drawn from the score's memory are not walked node by
// node (a walk over every element of a large score costs as much as a pass): their nodes are
// given up with that memory when the score goes.
void freeScore(Score &score);

// The invariant of chords: every live Chord element is followed directly by its MemberCount
// members, Notes or Rests marked InChord. (Asserted after the passes that make and split
// chords.)
bool chordsLeadTheirMembers(const Stave &stave);

// Display names used in messages ("Oops! " for kinds without a name of their own).
std::string kindName(std::uint8_t kind);
inline std::string kindName(Kind kind) { return kindName(static_cast<std::uint8_t>(kind)); }

// "Staccato", "Tenuto", "Accent", "Mordent", "unknown" for codes 0..4.
std::string accentName(std::uint8_t code);

// Letter of a staff position counted from the middle line of a treble staff (0 gives 'B').
char noteLetter(std::int32_t position);

// Cuts a text to the 255 characters that a short string holds.
std::string cut255(std::string text);

} // namespace qm
