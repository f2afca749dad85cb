#include "core/model_printer.hpp"

#include <array>
#include <cstdio>

namespace qm {

namespace {

constexpr std::array<std::string_view, 23> KindWords{
    "newstave", "clef",   "bar",        "note",      "rest",    "restchord", "chord",  "timesig",
    "keysig",   "text",   "line",       "volume",    "dynamic", "perfstyle", "pedal",  "tempo",
    "flow",     "symbol", "accidental", "slurpoint", "accent",  "arpeggio",  "unknown"};

// The note record's fields, in record order, with how to read each as a number.
struct NoteField {
    std::string_view Name;
    std::int32_t (*Get)(const NoteData &);
};

constexpr std::array<NoteField, 28> NoteFields{{
    {"dur", [](const NoteData &n) -> std::int32_t { return n.Duration; }},
    {"pos", [](const NoteData &n) -> std::int32_t { return n.Position; }},
    {"beam_to", [](const NoteData &n) -> std::int32_t { return n.BeamTo; }},
    {"beam_from", [](const NoteData &n) -> std::int32_t { return n.BeamFrom; }},
    {"tie_to", [](const NoteData &n) -> std::int32_t { return n.TieTo; }},
    {"tie_from", [](const NoteData &n) -> std::int32_t { return n.TieFrom; }},
    {"slur_to", [](const NoteData &n) -> std::int32_t { return n.SlurTo; }},
    {"slur_from", [](const NoteData &n) -> std::int32_t { return n.SlurFrom; }},
    {"members", [](const NoteData &n) -> std::int32_t { return n.MemberCount; }},
    {"stem", [](const NoteData &n) -> std::int32_t { return n.Stem; }},
    {"beam_matched", [](const NoteData &n) -> std::int32_t { return n.BeamMatched; }},
    {"tie_matched", [](const NoteData &n) -> std::int32_t { return n.TieMatched; }},
    {"grace", [](const NoteData &n) -> std::int32_t { return n.Grace; }},
    {"dotted", [](const NoteData &n) -> std::int32_t { return n.Dotted; }},
    {"double_dotted", [](const NoteData &n) -> std::int32_t { return n.DoubleDotted; }},
    {"aux_from", [](const NoteData &n) -> std::int32_t { return n.AuxFrom; }},
    {"aux_to", [](const NoteData &n) -> std::int32_t { return n.AuxTo; }},
    {"in_chord", [](const NoteData &n) -> std::int32_t { return n.InChord; }},
    {"chord_flag", [](const NoteData &n) -> std::int32_t { return n.ChordFlag; }},
    {"has_beam_from", [](const NoteData &n) -> std::int32_t { return n.HasBeamFrom; }},
    {"has_beam_to", [](const NoteData &n) -> std::int32_t { return n.HasBeamTo; }},
    {"has_tie_from", [](const NoteData &n) -> std::int32_t { return n.HasTieFrom; }},
    {"has_tie_to", [](const NoteData &n) -> std::int32_t { return n.HasTieTo; }},
    {"has_slur_from", [](const NoteData &n) -> std::int32_t { return n.HasSlurFrom; }},
    {"has_slur_to", [](const NoteData &n) -> std::int32_t { return n.HasSlurTo; }},
    {"slur_dir", [](const NoteData &n) -> std::int32_t { return n.SlurDir; }},
    {"acc", [](const NoteData &n) -> std::int32_t { return n.Accidental; }},
    {"art", [](const NoteData &n) -> std::int32_t { return n.Articulation; }},
}};

void field(std::string &out, std::string_view name, std::int64_t value) {
    out += ' ';
    out += name;
    out += '=';
    out += std::to_string(value);
}

// Printable ASCII as is; quotes, backslashes and everything else escaped.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    return out + "\"";
}

void printNoteFields(std::string &out, const NoteData &note) {
    static const NoteData initial{};
    for (const NoteField &f : NoteFields) {
        const std::int32_t value = f.Get(note);
        if (value != f.Get(initial)) field(out, f.Name, value);
    }
}

void printPayload(std::string &out, const Element &e) {
    switch (e.Kind) {
    case Kind::Note:
    case Kind::Rest:
    case Kind::RestChord:
    case Kind::Chord: printNoteFields(out, e.Note); break;
    case Kind::Text:
        field(out, "text", e.Text.TextIndex);
        field(out, "style", e.Text.TextStyle);
        break;
    case Kind::TimeSig:
        field(out, "num", e.TimeSig.Numerator);
        field(out, "den", e.TimeSig.Denominator);
        field(out, "top", e.TimeSig.IsTop);
        field(out, "common", e.TimeSig.CommonTime);
        field(out, "cut", e.TimeSig.CutTime);
        break;
    case Kind::KeySig:
        field(out, "sharps", e.KeySig.Sharps);
        field(out, "flats", e.KeySig.Flats);
        field(out, "signs", e.KeySig.SignCount);
        break;
    case Kind::Accidental: field(out, "pos", e.Accidental.Position); break;
    default: break;
    }
}

} // namespace

std::string_view kindWord(Kind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < KindWords.size() ? KindWords[index] : "kind?";
}

std::string printElement(const Element &e, std::int32_t staveNo) {
    std::string out = "#";
    out += std::to_string(e.ElementNo);
    if (e.StaveNo != staveNo) field(out, "s", e.StaveNo);
    out += ' ';
    out += kindWord(e.Kind);
    field(out, "x", e.XPos);
    field(out, "y", e.YPos);
    // A note's Code means nothing; other kinds keep their clef, style, symbol, ... in it.
    const bool noteKind = e.Kind == Kind::Note || e.Kind == Kind::Rest ||
                          e.Kind == Kind::RestChord || e.Kind == Kind::Chord;
    if (!noteKind || e.Code != 0) field(out, "code", e.Code);
    printPayload(out, e);
    return out;
}

std::string printStave(const Stave &stave) {
    std::string out = "stave " + std::to_string(stave.StaveNo);
    field(out, "y", stave.YPos);
    field(out, "start", stave.SystemStart);
    field(out, "end", stave.SystemEnd);
    field(out, "style", stave.StaffStyle);
    field(out, "clef", stave.InitialClef);
    field(out, "lyrics", stave.LyricLines);
    field(out, "final_bar", stave.FinalBarStyle);
    field(out, "count", stave.ElementCount);
    out += '\n';
    for (const Element &e : stave.Elements)
        out += "  " + printElement(e, stave.StaveNo) + '\n';
    return out;
}

std::string printScore(const Score &score) {
    std::string out = "score";
    field(out, "version", score.NWVersion);
    field(out, "staves", score.StaveCount);
    field(out, "title", score.TitleIndex);
    out += '\n';
    for (std::size_t i = 1; i < score.TextTable.size(); ++i)
        out += "text " + std::to_string(i) + ' ' + quoted(score.TextTable[i]) + '\n';
    if (!score.HeaderText.empty()) out += "header " + quoted(score.HeaderText) + '\n';
    if (!score.FooterText.empty()) out += "footer " + quoted(score.FooterText) + '\n';
    for (const Stave &stave : score.Staves)
        out += printStave(stave);
    return out;
}

} // namespace qm
