#include "core/symbols.hpp"

#include <array>
#include <utility>

namespace qm {

namespace {

constexpr std::pair<std::uint8_t, std::string_view> NamedSymbols[] = {
    {1, "tenor/alto clef"},
    {2, "bass clef"},
    {3, "treble clef"},
    {6, "small bass clef"},
    {7, "small treble clef"},
    {21, "breve"},
    {22, "stemless open notehead"},
    {23, "minim"},
    {24, "minim"},
    {25, "stemless closed notehead"},
    {26, "crotchet"},
    {27, "crotchet"},
    {28, "quaver"},
    {29, "quaver"},
    {30, "semiquaver"},
    {31, "semiquaver"},
    {32, "demisemiquaver"},
    {33, "demisemiquaver"},
    {34, "hemidemisemiquaver"},
    {35, "hemidemisemiquaver"},
    {36, "slash"},
    {37, "dot"},
    {38, "double dot"},
    {44, "flat"},
    {45, "double flat"},
    {46, "sharp"},
    {47, "double sharp"},
    {48, "natural"},
    {49, "semibreve rest"},
    {50, "breve rest"},
    {51, "minim rest"},
    {52, "crotchet rest"},
    {53, "quaver rest"},
    {54, "semiquaver rest"},
    {55, "demisemiquaver rest"},
    {56, "hemidemisemiquaver rest"},
    {64, "Accent"},
    {65, "Fermata (above)"},
    {66, "Fermata (below)"},
    {70, "Simile"},
    {71, "staccato"},
    {73, "comma"},
    {74, "breath"},
    {75, "Marcato"},
    {76, "Accent"},
    {78, "tenuto"},
    {115, "Coda"},
    {116, "Segno"},
    {121, "grace flat"},
    {122, "grace sharp"},
    {123, "grace natural"},
    {124, "slash"},
    {125, "tick"},
    {126, "Bow up"},
    {127, "Bow Dn"},
    {128, "breath"},
    {129, "mordent"},
    {130, "mordent"},
    {131, "stroke"},
    {132, "stroke"},
    {133, "Open string"},
    {134, "pedal dn"},
    {135, "pedal up"},
    {136, "turn"},
    {137, "multi-measure rest"},
    {138, "pp"},
    {139, "p"},
    {140, "mp"},
    {141, "mf"},
    {142, "f"},
    {143, "ff"},
    {144, "sf"},
    {145, "fz"},
    {146, "8va"},
    {156, "semibreve"},
};

constexpr std::array<std::string_view, 256> buildCatalogue() {
    std::array<std::string_view, 256> names{};
    for (auto &name : names)
        name = "Unknown symbol";
    for (const auto &[code, name] : NamedSymbols)
        names[code] = name;
    return names;
}

constexpr auto Catalogue = buildCatalogue();

constexpr std::uint8_t FixedPlacementCodes[] = {65, 66, 75, 76, 126, 127, 129, 130, 136};

} // namespace

std::string_view symbolName(std::uint8_t code) { return Catalogue[code]; }

bool symbolKeepsPosition(std::uint8_t code) {
    for (auto fixed : FixedPlacementCodes)
        if (fixed == code) return false;
    return true;
}

} // namespace qm
