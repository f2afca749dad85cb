#include "repair/expressions.hpp"

#include <span>

namespace qm {

namespace {

// A word and the fewest characters a text needs to be taken as its abbreviation.
struct AbbreviableWord {
    std::string_view word;
    std::size_t minimum;
};

// Indexed by code.
constexpr AbbreviableWord PerformanceStyles[] = {
    {"adlibitum", 5},  {"animato", 4},   {"cantabile", 4},   {"conbrio", 7},  {"dolce", 5},
    {"espressivo", 6}, {"grazioso", 4},  {"legato", 3},      {"maestoso", 5}, {"marcando", 4},
    {"menomosso", 9},  {"pocoapoco", 9}, {"piumosso", 8},    {"semplice", 5}, {"simile", 3},
    {"solo", 4},       {"sostenuto", 4}, {"sottovoce", 8},   {"staccato", 4}, {"subito", 3},
    {"tenuto", 3},     {"tutti", 5},     {"voltasubito", 8},
};

// "rfz" is taken when written out in full: it cannot be abbreviated any further.
constexpr AbbreviableWord DynamicVariations[] = {
    {"crescendo", 5}, {"decrescendo", 6}, {"diminuendo", 3}, {"rfz", 3}, {"sfz", 2},
};

// Indexed by code; code 1 (segno) is never spelt out.
constexpr std::string_view FlowDirections[] = {
    "coda",     "",         "fine",     "tocoda",   "dacapo",
    "dcalcoda", "dcalfine", "dalsegno", "dsalcoda", "dsalfine",
};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The highest code whose word the text abbreviates, or `none`.
std::uint8_t matchAbbreviation(std::string_view text, std::span<const AbbreviableWord> words,
                               std::uint8_t none) {
    std::uint8_t match = none;
    if (text.empty()) return match;
    for (std::size_t code = 0; code < words.size(); ++code) {
        const AbbreviableWord &w = words[code];
        // The first letter turns most words away before the whole prefix is compared.
        if (text.size() >= w.minimum && w.word[0] == text[0] && w.word.starts_with(text))
            match = static_cast<std::uint8_t>(code);
    }
    return match;
}

} // namespace

std::string normaliseText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '.') result += lowerAscii(c);
    return result;
}

std::uint8_t matchPerformanceStyle(std::string_view normalised) {
    return matchAbbreviation(normalised, PerformanceStyles, NoPerformanceStyle);
}

std::uint8_t matchDynamicVariation(std::string_view normalised) {
    return matchAbbreviation(normalised, DynamicVariations, NoDynamicVariation);
}

std::uint8_t matchFlowDirection(std::string_view normalised) {
    std::uint8_t match = NoFlowDirection;
    if (normalised.empty()) return match;
    for (std::size_t code = 0; code < std::size(FlowDirections); ++code)
        if (FlowDirections[code] == normalised) match = static_cast<std::uint8_t>(code);
    return match;
}

} // namespace qm
