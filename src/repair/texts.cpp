#include "repair/texts.hpp"

#include <cstdlib>
#include <string>

#include "repair/expressions.hpp"

namespace qm {

namespace {

// Width of one character, in XPos units, by text style.
std::int32_t charWidth(std::uint8_t style) {
    static constexpr std::int32_t Widths[] = {12, 8, 11, 8, 10, 30};
    return style >= 1 && style <= 5 ? Widths[style] : Widths[0];
}

// How far a joined text moves down to sit where its style's letters sit.
std::int32_t styleYOffset(std::uint8_t style) {
    static constexpr std::int32_t Offsets[] = {2, 1, 3, 1, 2, 8};
    return style >= 1 && style <= 5 ? Offsets[style] : Offsets[0];
}

const std::string &textOf(const Score &score, std::int32_t index) {
    static const std::string Empty;
    if (index < 0 || static_cast<std::size_t>(index) >= score.TextTable.size()) return Empty;
    return score.TextTable[static_cast<std::size_t>(index)];
}

// The text being built from a first fragment and the fragments that continue it.
struct JoinedText {
    std::string text;
    std::size_t lastLength; // characters of the last fragment joined
    std::int32_t end;       // the next fragment must start left of this XPos
    std::int32_t width;

    void setEnd(std::int32_t xPos) {
        end = (static_cast<std::int32_t>(lastLength) + 3) * width + xPos;
    }
};

bool continuesOnLine(const Element &e, std::int32_t y, std::uint8_t style) {
    return e.Kind == Kind::Text && std::abs(e.YPos - y) <= 1 && e.Text.TextStyle == style;
}

// A full fragment continues without a gap; otherwise the gap says one blank or two.
void appendFragment(JoinedText &joined, const Element &fragment, const std::string &text) {
    if (joined.lastLength < 12) {
        const bool close = fragment.XPos < joined.end - 1.5 * joined.width;
        joined.text += close ? " " : "  ";
    }
    joined.text += text;
    joined.lastLength = text.size();
    joined.setEnd(fragment.XPos);
}

// Returns how many fragments it joined; `textsAfter` (the texts after `first`) ends the walk at
// the last of them.
std::int32_t joinFollowingFragments(ElementIt first, ElementIt last, std::int32_t textsAfter,
                                    Score &score) {
    Element &head = *first;
    const std::uint8_t style = head.Text.TextStyle;
    JoinedText joined{textOf(score, head.Text.TextIndex), 0, 0, charWidth(style)};
    joined.lastLength = joined.text.size();
    joined.setEnd(head.XPos);

    std::int32_t joinedCount = 0;
    for (auto it = std::next(first); it != last && textsAfter > 0; ++it) {
        if (it->Kind == Kind::Text) --textsAfter;
        if (!continuesOnLine(*it, head.YPos, style)) continue;
        if (it->XPos >= joined.end) break;
        appendFragment(joined, *it, textOf(score, it->Text.TextIndex));
        it->Kind = Kind::Unknown;
        ++joinedCount;
    }
    if (head.Text.TextIndex > 0 &&
        static_cast<std::size_t>(head.Text.TextIndex) < score.TextTable.size())
        score.TextTable[static_cast<std::size_t>(head.Text.TextIndex)] = cut255(joined.text);
    head.YPos += styleYOffset(style);
    return joinedCount;
}

} // namespace

void joinTextFragments(Stave &stave, Score &score, std::int32_t texts) {
    ElementList &list = stave.Elements;
    // Texts still ahead: each head and each fragment joined to it is one less.
    for (auto it = list.begin(); it != list.end() && texts > 0; ++it) {
        if (it->Kind != Kind::Text) continue;
        --texts;
        texts -= joinFollowingFragments(it, list.end(), texts, score);
    }
}

void classifyTexts(Stave &stave, const Score &score) {
    for (Element &element : stave.Elements) {
        if (element.Kind != Kind::Text) continue;
        const std::string text = normaliseText(textOf(score, element.Text.TextIndex));
        const std::uint8_t dynamic = matchDynamicVariation(text);
        const std::uint8_t style = matchPerformanceStyle(text);
        const std::uint8_t flow = matchFlowDirection(text);
        // A later list overrides an earlier one.
        if (dynamic != NoDynamicVariation) {
            element.Kind = Kind::DynamicVar;
            element.Code = dynamic;
        }
        if (style != NoPerformanceStyle) {
            element.Kind = Kind::PerformanceStyle;
            element.Code = style;
        }
        if (flow != NoFlowDirection) {
            element.Kind = Kind::FlowControl;
            element.Code = flow;
        }
    }
}

void findTitle(Stave &stave, Score &score) {
    Element *title = nullptr;
    for (Element &element : stave.Elements) {
        if (element.Kind != Kind::Text) continue;
        if (element.Text.TextStyle != 2 && element.Text.TextStyle != 5) continue;
        if (element.YPos >= stave.YPos) continue;
        if (!title || element.YPos < title->YPos) title = &element;
    }
    if (!title) return;
    score.TitleIndex = title->Text.TextIndex;
    title->Kind = Kind::Unknown;
}

} // namespace qm
