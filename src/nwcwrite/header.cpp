#include "nwcwrite/header.hpp"

#include <array>
#include <cstddef>
#include <string>

namespace qm {

namespace {

struct FontRecord {
    std::uint8_t Style;
    std::uint8_t Size;
};

// The twelve fonts of a new file, in file order, all "Times New Roman".
constexpr std::array<FontRecord, 12> FontTable = {{
    {3, 12},
    {1, 10},
    {2, 12},
    {1, 20},
    {0, 12},
    {0, 9},
    {0, 8},
    {1, 9},
    {2, 9},
    {3, 9},
    {1, 12},
    {0, 10},
}};

// The entry of the text table, or an empty text for an index the table does not hold.
std::string_view tableText(const Score &score, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= score.TextTable.size()) return {};
    return score.TextTable[static_cast<std::size_t>(index)];
}

// One bit per staff, lowest first. The byte has room for eight staves only; a larger score
// sets all eight bits rather than wrapping to a mask that leaves staves out.
std::uint8_t staffMask(std::size_t staffCount) {
    if (staffCount >= 8) return 0xFF;
    return static_cast<std::uint8_t>((1u << staffCount) - 1u);
}

void logPageTextPlacement(const Score &score, Messages &messages) {
    if (!score.HeaderText.empty())
        messages.logPlainLine("   NW file header written as \"Comment\" in File/Info");
    if (!score.FooterText.empty())
        messages.logPlainLine("   NW file footer written as \"Copyright Notice 1\" in File/Info");
}

void writeIdentification(NwcOutput &out) {
    out.writeString("[NoteWorthy ArtWare]");
    out.writeZeros(2);
    out.writeString("[NoteWorthy Composer]");
    out.writeByte(0x4B); // format version 1.75: minor part first
    out.writeByte(0x01);
    out.writeByte(0x02);
    out.writeZeros(3);
    out.writeString(""); // user name
    out.writeString(""); // serial
    out.writeZeros(6);
    out.writeZeros(2);
    out.writeByte(0x10);
    out.writeZero();
}

// Title, author, the two copyright notices and the comment. The NW page footer becomes the
// first copyright notice and the page header the comment.
void writeFileInformation(NwcOutput &out, const Score &score) {
    out.writeString(tableText(score, score.TitleIndex));
    out.writeString("");
    out.writeString(score.FooterText);
    out.writeString("");
    out.writeString(score.HeaderText);
}

void writeSetup(NwcOutput &out) {
    out.writeString("NY_");
    out.writeString("F2");
    out.writeZeros(2);
    out.writeWord(1);
    out.writeString("0.50000000 0.50000000 0.50000000 0.50000000");
    out.writeZero();
    out.writeWord(8);
}

void writeLayout(NwcOutput &out, std::size_t staffCount) {
    out.writeByte(staffMask(staffCount));
    out.writeZeros(31);
    out.writeZero();
    out.writeWord(24);
}

void writeFonts(NwcOutput &out) {
    for (const FontRecord &font : FontTable) {
        out.writeString("Times New Roman");
        out.writeByte(font.Style);
        out.writeByte(font.Size);
        out.writeZeros(2);
    }
}

void writeStaffCount(NwcOutput &out, std::size_t staffCount) {
    out.writeByte(0xFF);
    out.writeZeros(3);
    out.writeWord(clampToWord(static_cast<std::int64_t>(staffCount)));
}

} // namespace

// The count and mask describe the staves that follow, that is the stave list the pipeline
// writes (StaveCount equals its length in a consistent model). The system pass may add staves
// beyond the 255 an NW file can hold; the count is a word, so it is written as it is.
void writeFileHeader(NwcOutput &out, const Score &score, Messages &messages) {
    logPageTextPlacement(score, messages);
    const std::size_t staffCount = score.Staves.size();
    writeIdentification(out);
    writeFileInformation(out, score);
    writeSetup(out);
    writeLayout(out, staffCount);
    writeFonts(out);
    writeStaffCount(out, staffCount);
}

} // namespace qm
