#include "musicxmlwrite/musicxml.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <tuple>

#include "musicxmlwrite/part.hpp"
#include "musicxmlwrite/xml_out.hpp"

#ifndef QUILLMARK_VERSION
#define QUILLMARK_VERSION "unknown"
#endif

namespace qm {

namespace musicxml {

namespace {

// Whole elements of a note, written as they are.
constexpr std::array<ShortPiece, 8> TypeElements = {
    ShortPiece("<type>breve</type>"),  ShortPiece("<type>whole</type>"),
    ShortPiece("<type>half</type>"),   ShortPiece("<type>quarter</type>"),
    ShortPiece("<type>eighth</type>"), ShortPiece("<type>16th</type>"),
    ShortPiece("<type>32nd</type>"),   ShortPiece("<type>64th</type>")};
constexpr std::array<std::string_view, 5> AccidentalElements = {
    "<accidental>flat-flat</accidental>", "<accidental>flat</accidental>",
    "<accidental>natural</accidental>", "<accidental>sharp</accidental>",
    "<accidental>double-sharp</accidental>"};
constexpr std::array<BeamMark, BeamLevels> NoBeams{};
constexpr ShortPiece StemUp("<stem>up</stem>");
constexpr ShortPiece StemDown("<stem>down</stem>");
// A beam of each level (1 to 4) with each mark (BeamMark, None left empty).
using BeamPiece = Piece<40>;
constexpr auto BeamElements = [] {
    constexpr std::array<std::string_view, 6> values = {"",    "begin",        "continue",
                                                        "end", "forward hook", "backward hook"};
    constexpr std::array<std::string_view, BeamLevels> levels = {
        "<beam number=\"1\">", "<beam number=\"2\">", "<beam number=\"3\">", "<beam number=\"4\">"};
    std::array<std::array<BeamPiece, values.size()>, BeamLevels> table{};
    for (std::size_t level = 0; level < BeamLevels; ++level) {
        for (std::size_t mark = 1; mark < values.size(); ++mark) {
            BeamPiece &piece = table[level][mark];
            for (std::string_view part : {levels[level], values[mark], std::string_view("</beam>")})
                for (char c : part)
                    piece.Text[piece.Size++] = c;
        }
    }
    return table;
}();

// ---------------------------------------------------------------------------------------------
// Measures across parts.

// The time signature the bar starts in, if the bar sets one before its first note.
const TimeOut *openingTime(const Part &part, const Measure &measure) {
    for (const MeasureItem &item : part.items(measure)) {
        if (item.Kind == ItemKind::Slot) return nullptr;
        if (item.Kind != ItemKind::Attributes) continue;
        if (const AttributesOut &a = part.Attributes[item.Index]; a.Time) return &*a.Time;
    }
    return nullptr;
}

// An opening bar shorter than its time signature, in every part that has music there (not
// only a bar's rest), is a pickup: numbered 0 and not counted as a bar.
bool opensWithPickup(const std::vector<Part> &parts) {
    bool seen = false;
    for (const Part &part : parts) {
        if (part.Measures.size() < 2 || part.Measures[0].Length == 0) continue;
        const Measure &first = part.Measures[0];
        const TimeOut *time = openingTime(part, first);
        if (time == nullptr || first.Length >= time->BarLength) return false;
        seen = true;
    }
    return seen;
}

// The parts keep in step: every part gets as many measures as the longest (empty ones at the
// end), bar k lasts as long in every part (the longest part's bar; an empty bar everywhere
// lasts its time signature's bar), a system of the page starts where it does in the first part
// (where a short bar ran on into the next system, the parts may disagree), and the bars are
// numbered.
void alignMeasures(std::vector<Part> &parts, int divisions) {
    std::size_t count = 1;
    for (const Part &part : parts)
        count = std::max(count, part.Measures.size());
    const bool pickup = opensWithPickup(parts);
    for (Part &part : parts) {
        // Bars added at the end go on in the last bar's time signature.
        const int barLength = part.Measures.empty() ? 0 : part.Measures.back().BarLength;
        part.Measures.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            Measure &measure = part.Measures[i];
            if (measure.BarLength == 0 && i > 0) measure.BarLength = part.Measures[i - 1].BarLength;
            if (measure.BarLength == 0) measure.BarLength = barLength;
            measure.Number = static_cast<int>(pickup ? i : i + 1);
            measure.Implicit = pickup && i == 0;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        int length = 0, barLength = 0;
        const bool newSystem = parts.front().Measures[i].NewSystem;
        for (const Part &part : parts) {
            length = std::max(length, part.Measures[i].Length);
            barLength = std::max(barLength, part.Measures[i].BarLength);
        }
        if (length == 0) length = barLength > 0 ? barLength : 4 * divisions;
        for (Part &part : parts) {
            part.Measures[i].Length = length;
            part.Measures[i].NewSystem = newSystem;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Writing.

// The page texts come padded with blanks to the end of their records.
std::string trimmedEnd(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

class ScoreWriter {
public:
    ScoreWriter(const Timing &timing, std::size_t expectedSize) : Time(timing), Xml(expectedSize) {}

    void writeHeader(const Score &score);
    void writePartList(const Score &score, const std::vector<Part> &parts);
    void writePart(const Part &part, std::size_t index);
    MusicXmlBytes finish() { return Xml.finish(); }

private:
    void writeCredit(const char *type, const std::string &text, int y, const char *valign,
                     int size);
    void writeDefaults();
    void writeMeasure(const Part &part, const Measure &measure, bool first);
    void writeAttributes(const AttributesOut &attributes);
    void writeDirection(const DirectionOut &direction);
    void writeOneVoice(const Part &part, const Measure &measure);
    void writeStreams(const Part &part, const Measure &measure);
    void writeVoices(const Part &part, const Measure &measure);
    void finishVoice(int length, int position, int voice);
    void writeMeasureRest(int length);
    int writeSlot(const Part &part, const Slot &slot, int measureLength);
    void writeNote(const Slot &slot, const NoteOut &note, bool lead, int duration);
    void writeNotations(Fragment &out, const Slot &slot, const NoteOut &note, bool lead);
    void writeMove(std::string_view name, int duration, int voice);
    void writeBarline(const BarlineOut &barline, const char *location);

    const Timing &Time;
    XmlWriter Xml;
    bool DivisionsWritten = false;
    // A measure with one voice leaves out `<voice>`: voice 1 is what a reader takes without
    // it, and most measures have only one.
    bool SingleVoice = false;
    // An item of a bar of several voices, in the order it is written (working storage).
    struct Event {
        int Voice;
        int Onset;
        std::uint32_t Sequence;
        MeasureItem Item;
    };
    std::vector<Event> Events;
};

// An A4 page in tenths of a staff space (a space of 1.75 mm): where the credits stand.
constexpr int PageWidth = 1200;
constexpr int PageHeight = 1697;

// The header's markup is fixed but for the score's texts: whole pieces around the escaped
// texts, like the measures'.
constexpr std::size_t LargestHeaderTags = 256;

void ScoreWriter::writeCredit(const char *type, const std::string &text, int y, const char *valign,
                              int size) {
    {
        Fragment out(Xml, LargestHeaderTags);
        out.put("\n<credit page=\"1\"><credit-type>");
        out.put(type);
        out.put("</credit-type><credit-words default-x=\"");
        out.number(PageWidth / 2);
        out.put("\" default-y=\"");
        out.number(y);
        out.put("\" justify=\"center\" valign=\"");
        out.put(valign);
        out.put("\" font-size=\"");
        out.number(size);
        out.put("\">");
    }
    Xml.text(text);
    Xml.markup("</credit-words></credit>");
}

void ScoreWriter::writeDefaults() {
    static_assert(PageHeight == 1697 && PageWidth == 1200, "the page's size is written below");
    Xml.markup("\n<defaults><scaling><millimeters>7</millimeters><tenths>40</tenths></scaling>"
               "<page-layout><page-height>1697</page-height><page-width>1200</page-width>"
               "</page-layout></defaults>");
}

// A footer that states the rights to the score; any other footer is only printed.
bool isCopyrightLine(std::string_view text) {
    std::string lower(text);
    for (char &c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower.find("copyright") != std::string::npos ||
           lower.find("\xc2\xa9") != std::string::npos || lower.find("(c)") != std::string::npos;
}

void ScoreWriter::writeHeader(const Score &score) {
    Xml.startDocument();
    Xml.startLine("score-partwise");
    Xml.attribute("version", "4.0");
    std::string title;
    if (score.TitleIndex > 0 && static_cast<std::size_t>(score.TitleIndex) < score.TextTable.size())
        title = xmlText(score.TextTable[static_cast<std::size_t>(score.TitleIndex)]);
    const std::string header = trimmedEnd(xmlText(score.HeaderText));
    const std::string footer = trimmedEnd(xmlText(score.FooterText));
    const bool rights = !footer.empty() && isCopyrightLine(footer);
    if (!title.empty()) {
        Xml.markup("\n<work><work-title>");
        Xml.text(title);
        Xml.markup("</work-title></work>");
    }
    Xml.markup("\n<identification>");
    if (rights) {
        Xml.markup("<rights>");
        Xml.text(footer);
        Xml.markup("</rights>");
    }
    Xml.markup("<encoding><software>Quillmark " QUILLMARK_VERSION "</software></encoding>"
               "</identification>");
    writeDefaults();
    if (!title.empty()) writeCredit("title", title, PageHeight - 120, "top", 24);
    if (!header.empty()) writeCredit("page header", header, PageHeight - 60, "top", 10);
    if (!footer.empty()) writeCredit(rights ? "rights" : "page footer", footer, 60, "bottom", 10);
}

std::string partId(std::size_t index) {
    std::string id = std::to_string(index + 1);
    id.insert(id.begin(), 'P');
    return id;
}

// Staves joined as the NWC staff styles say: an upper and a lower grand staff by a brace,
// a run of orchestral staves by a bracket.
void ScoreWriter::writePartList(const Score &score, const std::vector<Part> &parts) {
    std::vector<std::uint8_t> styles;
    for (const Stave &stave : score.Staves)
        styles.push_back(stave.StaffStyle);
    styles.resize(parts.size());
    auto group = [&](const char *type, int number, const char *symbol) {
        Xml.startLine("part-group");
        Xml.attribute("type", type);
        Xml.attribute("number", number);
        if (symbol != nullptr) {
            Xml.element("group-symbol", symbol);
            Xml.element("group-barline", "yes");
        }
        Xml.end();
    };
    Xml.startLine("part-list");
    int groups = 0;
    for (std::size_t i = 0; i < parts.size();) {
        std::size_t span = 1;
        const char *symbol = nullptr;
        if (styles[i] == 1 && i + 1 < parts.size() && styles[i + 1] == 2) {
            span = 2;
            symbol = "brace";
        } else if (styles[i] == 3) {
            while (i + span < parts.size() && styles[i + span] == 3)
                ++span;
            if (span > 1) symbol = "bracket";
        }
        const int number = groups % 16 + 1;
        if (symbol != nullptr) group("start", number, symbol);
        for (std::size_t k = i; k < i + span; ++k) {
            {
                // The staves have no names of their own: the name is not printed.
                Fragment out(Xml, LargestHeaderTags);
                out.put("\n<score-part id=\"P");
                out.number(static_cast<int>(k + 1));
                out.put("\"><part-name print-object=\"no\">");
            }
            Xml.text(parts[k].Name);
            Xml.markup("</part-name></score-part>");
        }
        if (symbol != nullptr) {
            group("stop", number, nullptr);
            ++groups;
        }
        i += span;
    }
    Xml.end();
}

void ScoreWriter::writePart(const Part &part, std::size_t index) {
    Xml.startLine("part");
    Xml.attribute("id", partId(index).c_str());
    DivisionsWritten = false;
    for (std::size_t m = 0; m < part.Measures.size(); ++m)
        writeMeasure(part, part.Measures[m], m == 0);
    Xml.end();
}

// A measure's own tags, and the moves and rests of its voices, are written thousands of times
// per score: they go in as whole pieces (see Fragment).
constexpr std::size_t LargestMeasureTag = 96;
constexpr std::size_t LargestMove = 96;

void ScoreWriter::writeMeasure(const Part &part, const Measure &measure, bool first) {
    {
        Fragment out(Xml, LargestMeasureTag);
        out.put("\n<measure number=\"");
        out.number(measure.Number);
        out.put(measure.Implicit ? "\" implicit=\"yes\">" : "\">");
        if (measure.NewSystem) out.put("\n<print new-system=\"yes\"/>");
    }
    if (measure.Left) writeBarline(*measure.Left, "left");
    const std::span<const MeasureItem> items = part.items(measure);
    if (first && (items.empty() || items.front().Kind != ItemKind::Attributes))
        writeAttributes(AttributesOut{});
    if (!measure.hasExtraVoices()) {
        writeOneVoice(part, measure);
    } else if (measure.VoicePerStream) {
        writeStreams(part, measure);
    } else {
        writeVoices(part, measure);
    }
    if (measure.Right) writeBarline(*measure.Right, "right");
    Fragment(Xml, LargestMeasureTag).put("</measure>");
}

// The bar as it was built: the signs and directions where they stand among the notes, and an
// empty bar as a rest of the whole measure.
void ScoreWriter::writeOneVoice(const Part &part, const Measure &measure) {
    SingleVoice = true;
    int position = 0;
    for (const MeasureItem &item : part.items(measure)) {
        switch (item.Kind) {
        case ItemKind::Attributes: writeAttributes(part.Attributes[item.Index]); break;
        case ItemKind::Direction: writeDirection(part.Directions[item.Index]); break;
        case ItemKind::Slot:
            position += writeSlot(part, part.Slots[item.Index], measure.Length);
            break;
        }
    }
    if (!measure.hasNotes()) {
        writeMeasureRest(measure.Length);
        position = measure.Length;
    }
    if (measure.Length > position) writeMove("forward", measure.Length - position, 1);
}

// A bar whose voices are the voices it was built in: the first with the signs and directions
// where they stand, then each further voice from the start of the bar, each filled up to its
// end.
void ScoreWriter::writeStreams(const Part &part, const Measure &measure) {
    SingleVoice = false;
    int position = 0;
    int number = 1;
    for (const MeasureItem &item : part.items(measure)) {
        switch (item.Kind) {
        case ItemKind::Attributes: writeAttributes(part.Attributes[item.Index]); break;
        case ItemKind::Direction: writeDirection(part.Directions[item.Index]); break;
        case ItemKind::Slot:
            number = part.Slots[item.Index].Voice;
            position += writeSlot(part, part.Slots[item.Index], measure.Length);
            break;
        }
    }
    finishVoice(measure.Length, position, number);
    for (std::size_t v = 0; v < measure.ExtraVoiceCount; ++v) {
        writeMove("backup", measure.Length, 0);
        position = 0;
        for (std::size_t index : part.extraVoice(measure, v)) {
            const Slot &slot = part.Slots[index];
            number = slot.Voice;
            if (slot.Onset > position) writeMove("forward", slot.Onset - position, number);
            position = slot.Onset + writeSlot(part, slot, measure.Length);
        }
        finishVoice(measure.Length, position, number);
    }
}

// Any other bar of several voices, voice by voice from the start of the bar, each filled up to
// its end; the signs and directions go with the first voice written, at the time they stand.
void ScoreWriter::writeVoices(const Part &part, const Measure &measure) {
    SingleVoice = false;
    // STEP 1: every item with its voice and time, in the order it is to be written.
    Events.clear();
    int lowest = 1 << 30;
    int time = 0;
    std::uint32_t sequence = 0;
    for (const MeasureItem &item : part.items(measure)) {
        if (item.Kind != ItemKind::Slot) {
            Events.push_back(Event{0, time, sequence++, item});
            continue;
        }
        const Slot &slot = part.Slots[item.Index];
        Events.push_back(Event{slot.Voice, slot.Onset, sequence++, item});
        lowest = std::min(lowest, slot.Voice);
        time = slot.Onset + slot.Duration;
    }
    for (std::size_t v = 0; v < measure.ExtraVoiceCount; ++v) {
        for (std::size_t index : part.extraVoice(measure, v)) {
            const Slot &slot = part.Slots[index];
            Events.push_back(Event{slot.Voice,
                                   slot.Onset,
                                   sequence++,
                                   {ItemKind::Slot, static_cast<std::uint32_t>(index)}});
            lowest = std::min(lowest, slot.Voice);
        }
    }
    for (Event &event : Events)
        if (event.Voice == 0) event.Voice = lowest;
    std::sort(Events.begin(), Events.end(), [](const Event &a, const Event &b) {
        return std::tie(a.Voice, a.Onset, a.Sequence) < std::tie(b.Voice, b.Onset, b.Sequence);
    });

    // STEP 2: each voice in turn, moving to the time of each item.
    int position = 0;
    for (std::size_t i = 0; i < Events.size(); ++i) {
        const Event &event = Events[i];
        if (i > 0 && event.Voice != Events[i - 1].Voice) {
            finishVoice(measure.Length, position, Events[i - 1].Voice);
            writeMove("backup", measure.Length, 0);
            position = 0;
        }
        if (event.Onset > position) writeMove("forward", event.Onset - position, event.Voice);
        if (event.Onset < position) writeMove("backup", position - event.Onset, 0);
        position = event.Onset;
        switch (event.Item.Kind) {
        case ItemKind::Attributes: writeAttributes(part.Attributes[event.Item.Index]); break;
        case ItemKind::Direction: writeDirection(part.Directions[event.Item.Index]); break;
        case ItemKind::Slot:
            position += writeSlot(part, part.Slots[event.Item.Index], measure.Length);
        }
    }
    if (!Events.empty()) finishVoice(measure.Length, position, Events.back().Voice);
}

void ScoreWriter::finishVoice(int length, int position, int voice) {
    if (length > position) writeMove("forward", length - position, voice);
}

void ScoreWriter::writeMeasureRest(int length) {
    Fragment out(Xml, LargestMove);
    out.put("\n<note><rest measure=\"yes\"/><duration>");
    out.number(length);
    out.put("</duration></note>");
}

// Bar lines and changes of attributes come every few bars: whole pieces too, of the
// vocabulary's constants and numbers (the beats of a time signature are digits).
constexpr std::size_t LargestBarline = 128;
constexpr std::size_t LargestAttributes = 320;

void ScoreWriter::writeBarline(const BarlineOut &barline, const char *location) {
    Fragment out(Xml, LargestBarline);
    out.put("\n<barline location=\"");
    out.put(location);
    out.put("\"><bar-style>");
    out.put(barline.Style);
    out.put("</bar-style>");
    if (barline.RepeatForward)
        out.put(*barline.RepeatForward ? "<repeat direction=\"forward\"/>"
                                       : "<repeat direction=\"backward\"/>");
    out.put("</barline>");
}

void ScoreWriter::writeAttributes(const AttributesOut &attributes) {
    const TimeOut *time = attributes.Time ? &*attributes.Time : nullptr;
    Fragment out(Xml, LargestAttributes +
                          (time != nullptr ? time->Beats.size() + time->BeatType.size() : 0));
    const bool empty = DivisionsWritten && !attributes.Fifths && !time && !attributes.Clef;
    if (empty) {
        out.put("\n<attributes/>");
        return;
    }
    out.put("\n<attributes>");
    if (!DivisionsWritten) {
        out.put("<divisions>");
        out.number(Time.divisions());
        out.put("</divisions>");
        DivisionsWritten = true;
    }
    if (attributes.Fifths) {
        out.put("<key>");
        if (attributes.Cancel) {
            out.put("<cancel>");
            out.number(*attributes.Cancel);
            out.put("</cancel>");
        }
        out.put("<fifths>");
        out.number(*attributes.Fifths);
        out.put("</fifths></key>");
    }
    if (time != nullptr) {
        out.put("<time");
        if (time->Symbol != nullptr) {
            out.put(" symbol=\"");
            out.put(time->Symbol);
            out.put("\"");
        }
        out.put("><beats>");
        out.put(time->Beats);
        out.put("</beats><beat-type>");
        out.put(time->BeatType);
        out.put("</beat-type></time>");
    }
    if (attributes.Clef) {
        out.put("<clef><sign>");
        out.put(attributes.Clef->Sign);
        out.put("</sign><line>");
        out.number(attributes.Clef->Line);
        out.put("</line></clef>");
    }
    out.put("</attributes>");
}

// A direction's markup is fixed but for its text and sound value: the words are escaped as
// any text of a score, the rest goes in as whole pieces.
constexpr std::size_t LargestDirectionTags = 160;

void ScoreWriter::writeDirection(const DirectionOut &direction) {
    using Type = DirectionType;
    const bool words = direction.Type == Type::Words;
    {
        // A dynamics mark is named by its text; C strings end at a zero byte.
        const std::string_view dynamics = direction.Text.c_str();
        Fragment out(Xml, LargestDirectionTags + dynamics.size());
        out.put(direction.Above ? "\n<direction placement=\"above\"><direction-type>"
                                : "\n<direction placement=\"below\"><direction-type>");
        switch (direction.Type) {
        case Type::Dynamics:
            out.put("<dynamics><");
            out.put(dynamics);
            out.put("/></dynamics>");
            break;
        case Type::Words:
            out.put(direction.Italic ? "<words font-style=\"italic\">" : "<words>");
            break;
        case Type::PedalStart: out.put("<pedal type=\"start\" line=\"no\" sign=\"yes\"/>"); break;
        case Type::PedalStop: out.put("<pedal type=\"stop\" line=\"no\" sign=\"yes\"/>"); break;
        case Type::Segno: out.put("<segno/>"); break;
        case Type::Coda: out.put("<coda/>"); break;
        }
    }
    if (words) Xml.text(direction.Text);
    const std::string_view attribute =
        direction.SoundAttribute != nullptr ? direction.SoundAttribute : "";
    const std::string_view value = direction.SoundValue.c_str();
    Fragment out(Xml, LargestDirectionTags + attribute.size() + value.size());
    out.put(words ? "</words></direction-type>" : "</direction-type>");
    if (direction.SoundAttribute != nullptr) {
        out.put("<sound ");
        out.put(attribute);
        out.put("=\"");
        out.put(value);
        out.put("\"/>");
    }
    out.put("</direction>");
}

void ScoreWriter::writeMove(std::string_view name, int duration, int voice) {
    Fragment out(Xml, LargestMove);
    out.put("\n<");
    out.put(name);
    out.put("><duration>");
    out.number(duration);
    out.put("</duration>");
    if (voice > 0 && !SingleVoice) {
        out.put("<voice>");
        out.number(voice);
        out.put("</voice>");
    }
    out.put("</");
    out.put(name);
    out.put(">");
}

// Returns the time the slot takes: a bar's rest takes the whole measure.
int ScoreWriter::writeSlot(const Part &part, const Slot &slot, int measureLength) {
    if (!slot.hasNotes()) {
        // Time whose notes could not be written.
        if (slot.Duration > 0) writeMove("forward", slot.Duration, slot.Voice);
        return slot.Duration;
    }
    const int duration = slot.MeasureRest ? measureLength : slot.Duration;
    const std::span<const NoteOut> notes = part.notes(slot);
    for (std::size_t i = 0; i < notes.size(); ++i)
        writeNote(slot, notes[i], i == 0, duration);
    return duration;
}

// The most a note's markup takes, its slur included, with room for the padding of its largest
// block (a beam).
constexpr std::size_t LargestNote = 768 + BeamPiece::Capacity;

// The most frequent element by far, so its markup goes in as whole fixed pieces.
void ScoreWriter::writeNote(const Slot &slot, const NoteOut &note, bool lead, int duration) {
    Fragment out(Xml, LargestNote);
    out.put("\n<note>");
    if (slot.Grace) out.put("<grace/>");
    if (!lead) out.put("<chord/>");
    if (slot.MeasureRest) {
        out.put("<rest measure=\"yes\"/>");
    } else if (note.IsRest) {
        out.put("<rest/>");
    } else {
        out.put("<pitch><step>");
        out.put(note.Sound.Step);
        out.put("</step><alter>");
        out.number(note.Sound.Alter);
        out.put("</alter><octave>");
        out.number(note.Sound.Octave);
        out.put("</octave></pitch>");
    }
    if (!slot.Grace) {
        out.put("<duration>");
        out.number(duration);
        out.put("</duration>");
    }
    if (note.TieStop) out.put("<tie type=\"stop\"/>");
    if (note.TieStart) out.put("<tie type=\"start\"/>");
    if (!SingleVoice) {
        out.put("<voice>");
        out.number(slot.Voice);
        out.put("</voice>");
    }
    // The members of a grace chord keep their own written lengths.
    const NoteData *own = slot.Grace && note.Source != nullptr ? &note.Source->Note : nullptr;
    const std::size_t type = own != nullptr ? own->Duration : slot.Type;
    const int dots = own != nullptr ? (own->DoubleDotted ? 2 : (own->Dotted ? 1 : 0)) : slot.Dots;
    out.put(TypeElements[std::min<std::size_t>(type, TypeElements.size() - 1)]);
    for (int d = 0; d < std::min(dots, 2); ++d)
        out.put("<dot/>");
    if (note.Accidental && note.Sound.Courtesy)
        out.put("<accidental cautionary=\"yes\">natural</accidental>");
    else if (note.Accidental)
        out.put(AccidentalElements[static_cast<std::size_t>(*note.Accidental + 2)]);
    if (slot.StemUp && !note.IsRest) out.put(*slot.StemUp ? StemUp : StemDown);
    if (lead && slot.Beams != NoBeams) {
        for (std::size_t level = 0; level < BeamLevels; ++level)
            if (slot.Beams[level] != BeamMark::None)
                out.put(BeamElements[level][static_cast<std::size_t>(slot.Beams[level])]);
    }
    writeNotations(out, slot, note, lead);
    out.put("</note>");
}

void ScoreWriter::writeNotations(Fragment &out, const Slot &slot, const NoteOut &note, bool lead) {
    const bool articulations = (slot.Marks & Mark::Articulations) != 0;
    const bool marks = lead && (slot.Slur || slot.Marks != 0);
    if (!note.TieStart && !note.TieStop && !marks) return;
    out.put("<notations>");
    if (note.TieStop) out.put("<tied type=\"stop\"/>");
    if (note.TieStart) out.put("<tied type=\"start\"/>");
    if (lead) {
        if (slot.Slur) {
            out.put(slot.Slur->Start ? "<slur type=\"start\" number=\""
                                     : "<slur type=\"stop\" number=\"");
            out.number(slot.Slur->Number);
            out.put("\"/>");
        }
        if (articulations) {
            out.put("<articulations>");
            if (slot.Marks & Mark::Staccato) out.put("<staccato/>");
            if (slot.Marks & Mark::Tenuto) out.put("<tenuto/>");
            if (slot.Marks & Mark::Accent) out.put("<accent/>");
            if (slot.Marks & Mark::BreathMark) out.put("<breath-mark/>");
            out.put("</articulations>");
        }
        if (slot.Marks & Mark::Mordent) out.put("<ornaments><mordent/></ornaments>");
        if (slot.Marks & Mark::Fermata) out.put("<fermata type=\"upright\"/>");
    }
    out.put("</notations>");
}

} // namespace

} // namespace musicxml

namespace {

std::size_t elementCount(const Score &score) {
    std::size_t elements = 0;
    for (const Stave &stave : score.Staves)
        elements += stave.Elements.size();
    return elements;
}

// About what the document will take, so its buffer is reserved once: a note and its markup
// take some 120 to 160 bytes; the header and part list a few kilobytes.
std::size_t expectedSize(const Score &score) { return 4096 + 144 * elementCount(score); }

// The parts' first block of storage: the slots, notes and items of every element and a little
// more, so that most scores need no second one.
std::size_t arenaSize(const Score &score) {
    constexpr std::size_t perElement =
        sizeof(musicxml::Slot) + sizeof(musicxml::NoteOut) + sizeof(musicxml::MeasureItem) + 32;
    return 16384 + perElement * elementCount(score);
}

} // namespace

MusicXmlBytes writeMusicXml(const Score &score, MusicXmlStats &stats) {
    using namespace musicxml;
#ifdef QUILLMARK_WRITER_FLOOR
    // What the rest of a run costs (bench/floor.sh): about as many bytes as the writer writes
    // on the generated corpus, without building them.
    if (std::getenv("QUILLMARK_WRITER_FLOOR") != nullptr)
        return MusicXmlBytes(expectedSize(score) * 7272 / 10000, ' ');
#endif
    // STEP 1: one part per staff, measure by measure, in units every note fits.
    Timing timing;
    std::pmr::monotonic_buffer_resource arena(arenaSize(score));
    std::vector<Part> parts = buildParts(score, timing, stats, arena);
    // A document holds at least one part: a score without staves gets an empty one.
    if (parts.empty()) {
        parts.emplace_back();
        parts.back().Name = "Staff-1";
    }

    // STEP 2: beams and slurs from the notes' flags.
    assignBeams(parts);
    numberSlurs(parts, stats);

    // STEP 3: the parts' bars line up and are numbered; voices follow the stems.
    alignMeasures(parts, timing.divisions());
    assignVoices(parts);

    // STEP 4: the document.
    ScoreWriter writer(timing, expectedSize(score));
    writer.writeHeader(score);
    writer.writePartList(score, parts);
    for (std::size_t i = 0; i < parts.size(); ++i)
        writer.writePart(parts[i], i);
    return writer.finish();
}

} // namespace qm
