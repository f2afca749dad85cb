// A small reader for the rich text the help window shows: groups, paragraphs, bold, italic,
// underline, font sizes, fixed-pitch fonts, alignment, left indents, \'hh and \uN. Everything else
// is skipped. Any byte sequence is read in one linear pass; malformed input gives whatever text
// could be recovered.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm::rtf {

struct CharFormat {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int HalfPoints = 24;     // \fsN: font size in half points
    bool FixedPitch = false; // \fN names a font that the font table marks \fmodern

    bool operator==(const CharFormat &) const = default;
};

enum class Alignment { Left, Center, Right, Justify };

// A stretch of text in one format; the text is UTF-8.
struct Run {
    std::string Text;
    CharFormat Format;
};

struct Paragraph {
    Alignment Align = Alignment::Left;
    int LeftIndent = 0; // \liN, in twips
    std::vector<Run> Runs;
};

struct Document {
    std::vector<Paragraph> Paragraphs;
};

// Reads RTF; input that does not start with "{\rtf" is taken as plain text, one paragraph a line.
Document parse(std::string_view input);

// The document's text, paragraphs separated by '\n'.
std::string plainText(const Document &document);

} // namespace qm::rtf
