#include "app/gui/rtf_reader.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace qm::rtf {
namespace {

// Groups nested deeper than this are read but their text is dropped, so memory stays bounded.
constexpr std::size_t MaxGroupDepth = 256;
// Numeric parameters are clamped here; RTF's own are 16- or 32-bit.
constexpr std::int64_t MaxParameter = 1'000'000'000;
constexpr char32_t ReplacementChar = 0xFFFD;
constexpr std::size_t MaxFixedPitchFonts = 64;

// Windows-1252 from 0x80 to 0x9F; the other bytes are Latin-1.
constexpr std::array<char32_t, 32> Cp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// Destinations whose contents are never shown.
constexpr std::array<std::string_view, 40> SkippedDestinations = {
    "fonttbl",      "colortbl",
    "stylesheet",   "info",
    "pict",         "object",
    "header",       "headerl",
    "headerr",      "headerf",
    "footer",       "footerl",
    "footerr",      "footerf",
    "footnote",     "fldinst",
    "listtable",    "listoverridetable",
    "rsidtbl",      "generator",
    "themedata",    "colorschememapping",
    "latentstyles", "datastore",
    "xmlnstbl",     "filetbl",
    "revtbl",       "pntext",
    "pntxta",       "pntxtb",
    "bkmkstart",    "bkmkend",
    "annotation",   "atnid",
    "atnauthor",    "comment",
    "private",      "template",
    "userprops",    "nonshppict"};

struct SpecialChar {
    std::string_view Word;
    char32_t Char;
};

constexpr std::array<SpecialChar, 14> SpecialChars = {{{"line", 0x2028},
                                                       {"tab", '\t'},
                                                       {"cell", '\t'},
                                                       {"emdash", 0x2014},
                                                       {"endash", 0x2013},
                                                       {"bullet", 0x2022},
                                                       {"lquote", 0x2018},
                                                       {"rquote", 0x2019},
                                                       {"ldblquote", 0x201C},
                                                       {"rdblquote", 0x201D},
                                                       {"emspace", 0x2003},
                                                       {"enspace", 0x2002},
                                                       {"qmspace", 0x2005},
                                                       {"zwj", 0x200D}}};

char32_t fromCodePage(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return Cp1252High[byte - 0x80];
    return byte;
}

void appendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSkippedDestination(std::string_view word) {
    return std::find(SkippedDestinations.begin(), SkippedDestinations.end(), word) !=
           SkippedDestinations.end();
}

struct ControlWord {
    std::string_view Word;
    bool HasParam = false;
    std::int64_t Param = 0;

    bool flagOn() const { return !HasParam || Param != 0; }
};

struct GroupState {
    CharFormat Format;
    Alignment Align = Alignment::Left;
    int LeftIndent = 0;
    bool Skip = false;        // inside a destination that is not shown
    bool InFontTable = false; // \fN and \fmodern there describe fonts
    int UnicodeSkip = 1;      // \ucN: fallback characters after each \uN
};

class Reader {
public:
    explicit Reader(std::string_view input) : In(input) {}

    Document read() {
        while (Pos < In.size() && !Finished)
            readNext();
        flushPendingHigh();
        if (!Current.Runs.empty()) endParagraph();
        return std::move(Out);
    }

private:
    void readNext() {
        const char c = In[Pos++];
        switch (c) {
        case '{': openGroup(); break;
        case '}': closeGroup(); break;
        case '\\': readControl(); break;
        case '\r':
        case '\n': break;
        default: readTextByte(static_cast<unsigned char>(c)); break;
        }
    }

    void openGroup() {
        FallbackLeft = 0;
        if (Stack.size() >= MaxGroupDepth) {
            ++OverflowDepth;
            return;
        }
        Stack.push_back(State);
    }

    void closeGroup() {
        FallbackLeft = 0;
        if (OverflowDepth > 0) {
            --OverflowDepth;
            return;
        }
        if (Stack.empty()) return; // a stray '}' before any group
        State = Stack.back();
        Stack.pop_back();
        Finished = Stack.empty(); // the document group has closed
    }

    void readTextByte(unsigned char byte) {
        if (swallowFallback()) return;
        if (byte == '\t') {
            emitChar('\t');
        } else if (byte >= 0x20 && byte != 0x7F) {
            emitChar(fromCodePage(byte));
        }
    }

    void readControl() {
        if (Pos >= In.size()) return;
        const char c = In[Pos];
        if (isLetter(c)) {
            applyControlWord(readControlWord());
            return;
        }
        ++Pos;
        readControlSymbol(c);
    }

    void readControlSymbol(char c) {
        if (OverflowDepth > 0) return;
        if (c == '*') {
            State.Skip = true;
            return;
        }
        if (c == '\'') {
            readHexByte();
            return;
        }
        if (swallowFallback()) return;
        switch (c) {
        case '\\':
        case '{':
        case '}': emitChar(static_cast<unsigned char>(c)); break;
        case '~': emitChar(0x00A0); break;
        case '_': emitChar(0x2011); break;
        case '\r':
        case '\n': endParagraphIfShown(); break;
        default: break; // \- optional hyphen, \| \: and unknown symbols
        }
    }

    void readHexByte() {
        int value = 0;
        int digits = 0;
        while (digits < 2 && Pos < In.size() && hexValue(In[Pos]) >= 0) {
            value = value * 16 + hexValue(In[Pos]);
            ++Pos;
            ++digits;
        }
        if (digits > 0) readTextByte(static_cast<unsigned char>(value));
    }

    ControlWord readControlWord() {
        ControlWord word;
        const std::size_t start = Pos;
        while (Pos < In.size() && isLetter(In[Pos]))
            ++Pos;
        word.Word = In.substr(start, Pos - start);
        readParameter(word);
        if (Pos < In.size() && In[Pos] == ' ') ++Pos; // the delimiter belongs to the word
        return word;
    }

    void readParameter(ControlWord &word) {
        bool negative = false;
        if (Pos + 1 < In.size() && In[Pos] == '-' && isDigit(In[Pos + 1])) {
            negative = true;
            ++Pos;
        }
        std::int64_t value = 0;
        while (Pos < In.size() && isDigit(In[Pos])) {
            word.HasParam = true;
            value = std::min(value * 10 + (In[Pos] - '0'), MaxParameter);
            ++Pos;
        }
        word.Param = negative ? -value : value;
    }

    void applyControlWord(const ControlWord &word) {
        if (word.Word == "bin") {
            skipBinary(word);
            return;
        }
        if (OverflowDepth > 0) return; // nothing past the depth limit is shown
        if (State.InFontTable) {
            describeFont(word);
            return;
        }
        if (isSkippedDestination(word.Word)) {
            State.Skip = true;
            State.InFontTable = word.Word == "fonttbl";
            return;
        }
        if (word.Word == "u") {
            readUnicode(word);
            return;
        }
        if (swallowFallback()) return;
        if (applyFormatting(word)) return;
        if (word.Word == "par" || word.Word == "sect" || word.Word == "page" ||
            word.Word == "row") {
            endParagraphIfShown();
            return;
        }
        for (const SpecialChar &special : SpecialChars) {
            if (word.Word == special.Word) emitChar(special.Char);
        }
    }

    // Character and paragraph properties; true when the word was one of them.
    bool applyFormatting(const ControlWord &word) {
        return applyCharFormat(word) || applyParagraphFormat(word);
    }

    bool applyCharFormat(const ControlWord &word) {
        const std::string_view w = word.Word;
        CharFormat &format = State.Format;
        if (w == "b") {
            format.Bold = word.flagOn();
        } else if (w == "i") {
            format.Italic = word.flagOn();
        } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw") {
            format.Underline = word.flagOn();
        } else if (w == "ulnone") {
            format.Underline = false;
        } else if (w == "fs") {
            format.HalfPoints = fontSize(word);
        } else if (w == "f") {
            format.FixedPitch = isFixedPitch(word.Param);
        } else if (w == "plain") {
            format = CharFormat{};
        } else if (w == "uc") {
            State.UnicodeSkip = static_cast<int>(std::clamp<std::int64_t>(word.Param, 0, 16));
        } else {
            return false;
        }
        return true;
    }

    bool applyParagraphFormat(const ControlWord &word) {
        const std::string_view w = word.Word;
        if (w == "pard") {
            State.Align = Alignment::Left;
            State.LeftIndent = 0;
        } else if (w == "li") {
            State.LeftIndent = static_cast<int>(std::clamp<std::int64_t>(word.Param, 0, 14400));
        } else if (w == "ql") {
            State.Align = Alignment::Left;
        } else if (w == "qc") {
            State.Align = Alignment::Center;
        } else if (w == "qr") {
            State.Align = Alignment::Right;
        } else if (w == "qj") {
            State.Align = Alignment::Justify;
        } else {
            return false;
        }
        return true;
    }

    // Inside the font table: \fN starts a font's entry, \fmodern marks it fixed-pitch.
    void describeFont(const ControlWord &word) {
        if (word.Word == "f") {
            DescribedFont = word.Param;
        } else if (word.Word == "fmodern" && FixedPitchFonts.size() < MaxFixedPitchFonts) {
            FixedPitchFonts.push_back(DescribedFont);
        }
    }

    bool isFixedPitch(std::int64_t font) const {
        return std::find(FixedPitchFonts.begin(), FixedPitchFonts.end(), font) !=
               FixedPitchFonts.end();
    }

    static int fontSize(const ControlWord &word) {
        if (!word.HasParam) return CharFormat{}.HalfPoints;
        return static_cast<int>(std::clamp<std::int64_t>(word.Param, 2, 400));
    }

    void skipBinary(const ControlWord &word) {
        const auto remaining = static_cast<std::int64_t>(In.size() - Pos);
        Pos += static_cast<std::size_t>(std::clamp<std::int64_t>(word.Param, 0, remaining));
    }

    // \uN gives one UTF-16 code unit (negative N counts from 65536), then \ucN fallback
    // characters follow that a reader that knows \u skips.
    void readUnicode(const ControlWord &word) {
        if (swallowFallback()) return;
        std::int64_t unit = word.Param;
        if (unit < 0) unit += 65536;
        FallbackLeft = State.UnicodeSkip;
        if (unit <= 0 || unit > 0xFFFF) {
            if (unit != 0) emitChar(ReplacementChar);
            return;
        }
        const auto codeUnit = static_cast<char32_t>(unit);
        if (codeUnit >= 0xD800 && codeUnit < 0xDC00) {
            flushPendingHigh();
            PendingHigh = codeUnit;
            return;
        }
        if (codeUnit >= 0xDC00 && codeUnit < 0xE000) {
            const char32_t high = PendingHigh;
            PendingHigh = 0;
            emitChar(high == 0 ? ReplacementChar
                               : 0x10000 + ((high - 0xD800) << 10) + (codeUnit - 0xDC00));
            return;
        }
        emitChar(codeUnit);
    }

    // True when the current unit is one of the fallback characters of the last \uN.
    bool swallowFallback() {
        if (FallbackLeft == 0) return false;
        --FallbackLeft;
        return true;
    }

    bool shown() const { return !State.Skip && OverflowDepth == 0; }

    void flushPendingHigh() {
        if (PendingHigh == 0) return;
        PendingHigh = 0;
        if (shown()) appendToRun(ReplacementChar);
    }

    void emitChar(char32_t c) {
        if (!shown()) return;
        if (PendingHigh != 0) flushPendingHigh();
        appendToRun(c);
    }

    void appendToRun(char32_t c) {
        if (Current.Runs.empty() || !(Current.Runs.back().Format == State.Format)) {
            Current.Runs.push_back(Run{{}, State.Format});
        }
        appendUtf8(Current.Runs.back().Text, c);
    }

    void endParagraphIfShown() {
        if (!shown()) return;
        flushPendingHigh();
        endParagraph();
    }

    void endParagraph() {
        Current.Align = State.Align;
        Current.LeftIndent = State.LeftIndent;
        Out.Paragraphs.push_back(std::move(Current));
        Current = Paragraph{};
    }

    std::string_view In;
    std::size_t Pos = 0;
    bool Finished = false;
    GroupState State;
    std::vector<GroupState> Stack;
    std::size_t OverflowDepth = 0;
    int FallbackLeft = 0;
    char32_t PendingHigh = 0;
    std::int64_t DescribedFont = 0;
    std::vector<std::int64_t> FixedPitchFonts;
    Paragraph Current;
    Document Out;
};

bool looksLikeRtf(std::string_view input) {
    const std::size_t start = input.find_first_not_of(" \t\r\n");
    return start != std::string_view::npos && input.substr(start).starts_with("{\\rtf");
}

// Text that is not RTF: one paragraph per line, control characters other than tab dropped.
Document readPlainText(std::string_view input) {
    Document document;
    Paragraph paragraph;
    std::string line;
    auto finishLine = [&] {
        paragraph.Runs.clear();
        if (!line.empty()) paragraph.Runs.push_back(Run{line, CharFormat{}});
        document.Paragraphs.push_back(paragraph);
        line.clear();
    };
    for (const char c : input) {
        if (c == '\n') {
            finishLine();
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            line += c;
        }
    }
    if (!line.empty()) finishLine();
    return document;
}

} // namespace

Document parse(std::string_view input) {
    if (!looksLikeRtf(input)) return readPlainText(input);
    return Reader(input.substr(input.find('{'))).read();
}

std::string plainText(const Document &document) {
    std::string text;
    for (std::size_t i = 0; i < document.Paragraphs.size(); ++i) {
        if (i > 0) text += '\n';
        for (const Run &run : document.Paragraphs[i].Runs)
            text += run.Text;
    }
    return text;
}

} // namespace qm::rtf
