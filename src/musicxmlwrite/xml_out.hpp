// The XML of a MusicXML document, written front to back into one growing buffer. The markup
// comes from the writer's own fixed vocabulary (element and attribute names, constant values
// and numbers) and is copied in as whole fragments; every text taken from a score that holds a
// character XML treats specially is escaped by libxml2. A document is tens of kilobytes per
// score, so the markup is appended directly rather than one library call per tag.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "musicxmlwrite/musicxml.hpp"

namespace qm::musicxml {

// A score's 8-bit text as XML character data: bytes above 127 are taken as Latin-1, and
// control characters, which XML 1.0 cannot hold, are left out (tab and line ends stay).
std::string xmlText(std::string_view bytes);

// Character data: "<", ">", "&", '"' and CR as entities, the rest as it is, up to a zero byte;
// byte for byte what libxml2's xmlEncodeSpecialChars gives, without the library, which has no
// build for every system Quillmark runs on.
std::string escapeText(std::string_view text);

class XmlWriter {
public:
    // `expectedSize`: the buffer is reserved once for a document of about this many bytes.
    explicit XmlWriter(std::size_t expectedSize = 32 * 1024) { Out.reserve(expectedSize); }

    // The XML declaration and the document type of a partwise score.
    void startDocument();
    // Starts an element on a line of its own. Lines break only before the larger elements
    // (measures, notes, directions, ...), which keeps the document readable and small.
    void startLine(std::string_view name) {
        closeStartTag();
        put('\n');
        openTag(name);
    }
    void start(std::string_view name) {
        closeStartTag();
        openTag(name);
    }
    void end();
    // An attribute of the element just started; the value is a constant or a number.
    void attribute(std::string_view name, std::string_view value);
    void attribute(std::string_view name, int value);
    // Text of a score (UTF-8, see xmlText), escaped by the library where it needs it.
    void text(std::string_view scoreText);
    // An element holding a constant of the vocabulary, a number, or a score's text.
    void element(std::string_view name, std::string_view constant);
    void element(std::string_view name, int value);
    void textElement(std::string_view name, std::string_view scoreText);
    void empty(std::string_view name) {
        start(name);
        end();
    }
    // Complete, balanced markup of the vocabulary (e.g. "<chord/>"), or content that is a
    // constant of it, copied as it is.
    void markup(std::string_view fixed) {
        closeStartTag();
        put(fixed);
    }
    void number(int value) {
        if (value >= 0 && value < 10)
            put(static_cast<char>('0' + value)); // most numbers of a score: voices, octaves
        else
            longNumber(value);
    }
    // Closes every open element and hands over the document.
    MusicXmlBytes finish();

    // Room for `size` more bytes of balanced markup, written through the pointer returned;
    // `taken` says where that markup ends. See Fragment.
    char *room(std::size_t size) {
        closeStartTag();
        if (size > Out.size() - Used) grow(size);
        return reinterpret_cast<char *>(Out.data() + Used);
    }
    void taken(const char *end) {
        Used = static_cast<std::size_t>(end - reinterpret_cast<const char *>(Out.data()));
    }

private:
    void openTag(std::string_view name) {
        put('<');
        put(name);
        Open.push_back(name);
        StartTagOpen = true;
    }
    void closeStartTag() {
        if (!StartTagOpen) return;
        put('>');
        StartTagOpen = false;
    }
    void put(std::string_view bytes) {
        if (bytes.size() > Out.size() - Used) grow(bytes.size());
        std::memcpy(Out.data() + Used, bytes.data(), bytes.size());
        Used += bytes.size();
    }
    void put(char c) {
        if (Used == Out.size()) grow(1);
        Out[Used++] = static_cast<std::uint8_t>(c);
    }
    void grow(std::size_t needed);
    void longNumber(int value);

    MusicXmlBytes Out; // bytes [0, Used) are the document; handed over without a copy
    std::size_t Used = 0;
    std::vector<std::string_view> Open;
    bool StartTagOpen = false;
};

// A piece of markup of at most Capacity bytes, kept padded so that it is copied as one block
// of known size (a fragment's `largest` counts the padding).
template <std::size_t N> struct Piece {
    static constexpr std::size_t Capacity = N;
    constexpr Piece() = default; // empty
    explicit consteval Piece(std::string_view markup) : Size(markup.size()) {
        if (Size > Capacity) throw "piece too long"; // stops the build
        for (std::size_t i = 0; i < Size; ++i)
            Text[i] = markup[i];
    }
    std::array<char, Capacity> Text{};
    std::size_t Size = 0;
};
using ShortPiece = Piece<24>;

// Balanced markup of a known largest size, for the elements written thousands of times per
// score: room is made once, and each piece is copied through a pointer of the fragment's own
// rather than checked and counted piece by piece.
class Fragment {
public:
    Fragment(XmlWriter &xml, std::size_t largest) : Xml(xml), At(xml.room(largest)) {}
    ~Fragment() { Xml.taken(At); }
    Fragment(const Fragment &) = delete;
    Fragment &operator=(const Fragment &) = delete;

    void put(std::string_view fixed) {
        std::memcpy(At, fixed.data(), fixed.size());
        At += fixed.size();
    }
    void put(char c) { *At++ = c; }
    template <std::size_t N> void put(const Piece<N> &piece) {
        std::memcpy(At, piece.Text.data(), N);
        At += piece.Size;
    }
    void number(int value) {
        if (value >= 0 && value < 10)
            *At++ = static_cast<char>('0' + value);
        else
            At = std::to_chars(At, At + MaxDigits, value).ptr;
    }

    static constexpr std::size_t MaxDigits = 11; // an int with its sign

private:
    XmlWriter &Xml;
    char *At;
};

} // namespace qm::musicxml
