// Elements, staves and scores built by hand for the pass and writer tests. Every field is named
// at the call, so no two arguments can trade places:
//   make({.kind = Kind::Note, .x = 20, .duration = 4, .position = 2})
#pragma once

#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "core/score.hpp"

namespace qm::test {

struct ElementFields {
    Kind kind = Kind::Unknown;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t code = 0;
    // Notes, rests and chords.
    std::uint8_t duration = 3;
    int dots = 0; // 1 dotted, 2 double-dotted
    std::int32_t position = 0;
    std::uint8_t stem = 0;
    bool grace = false;
    bool inChord = false;
    std::int32_t members = 0;
    // Time signatures.
    std::int32_t numerator = 0;
    std::int32_t denominator = 0;
};

inline Element make(const ElementFields &fields) {
    Element e = newElement(fields.kind);
    e.XPos = fields.x;
    e.YPos = fields.y;
    e.Code = fields.code;
    if (e.hasNoteData()) {
        e.Note.Duration = fields.duration;
        e.Note.Dotted = fields.dots == 1;
        e.Note.DoubleDotted = fields.dots == 2;
        e.Note.Position = fields.position;
        e.Note.Stem = fields.stem;
        e.Note.Grace = fields.grace;
        e.Note.InChord = fields.inChord;
        e.Note.MemberCount = fields.members;
    } else if (fields.kind == Kind::TimeSig) {
        e.TimeSig.Numerator = fields.numerator;
        e.TimeSig.Denominator = fields.denominator;
    }
    return e;
}

// A stave whose elements carry its number and are numbered 1, 2, ... in the order given.
inline Stave staveOf(std::vector<Element> elements, std::int32_t staveNo = 1) {
    Stave stave;
    stave.StaveNo = staveNo;
    for (Element &e : elements) {
        e.StaveNo = staveNo;
        e.ElementNo = ++stave.ElementCount;
        stave.Elements.push_back(e);
    }
    return stave;
}

inline Score scoreOf(Stave stave) {
    Score score;
    score.Staves.push_back(std::move(stave));
    score.StaveCount = 1;
    return score;
}

inline std::vector<Kind> kinds(const Stave &stave) {
    std::vector<Kind> result;
    for (const Element &e : stave.Elements)
        result.push_back(e.Kind);
    return result;
}

inline Element &at(Stave &stave, std::size_t i) {
    return *std::next(stave.Elements.begin(), static_cast<std::ptrdiff_t>(i));
}
inline const Element &at(const Stave &stave, std::size_t i) {
    return *std::next(stave.Elements.begin(), static_cast<std::ptrdiff_t>(i));
}

} // namespace qm::test
