#include "musicxmlwrite/xml_out.hpp"

#if QUILLMARK_HAVE_LIBXML2
#include <libxml/entities.h>
#include <libxml/xmlmemory.h>
#endif

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace qm::musicxml {

std::string xmlText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20) {
            if (b == '\t' || b == '\n' || b == '\r') out += c;
        } else if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// The buffer grows without being cleared (see UnclearedAllocator): to the whole reserved room
// at once, then as the vector grows.
void XmlWriter::grow(std::size_t needed) { Out.resize(std::max(Out.capacity(), Used + needed)); }

void XmlWriter::longNumber(int value) {
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    (void)error; // an int always fits
    put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void XmlWriter::startDocument() {
    put("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
        "\"http://www.musicxml.org/dtds/partwise.dtd\">");
}

void XmlWriter::end() {
    if (StartTagOpen) {
        put("/>");
        StartTagOpen = false;
    } else {
        put("</");
        put(Open.back());
        put('>');
    }
    Open.pop_back();
}

void XmlWriter::attribute(std::string_view name, std::string_view value) {
    put(' ');
    put(name);
    put("=\"");
    put(value);
    put('"');
}

void XmlWriter::attribute(std::string_view name, int value) {
    put(' ');
    put(name);
    put("=\"");
    number(value);
    put('"');
}

std::string escapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\r': out += "&#13;"; break;
        case '\0': return out; // the end of a C string: nothing after it is text
        default: out += c;
        }
    }
    return out;
}

// Most texts of a score are plain words and go in as they are; the rest are escaped by libxml2
// (which also writes a carriage return as a character reference, so it survives), or, where
// the library is not built, by escapeText, which gives the same bytes.
void XmlWriter::text(std::string_view scoreText) {
    closeStartTag();
    const auto special = [](char c) {
        return c == '<' || c == '>' || c == '&' || c == '"' || c == '\r';
    };
    if (std::none_of(scoreText.begin(), scoreText.end(), special)) {
        put(scoreText);
        return;
    }
#if QUILLMARK_HAVE_LIBXML2
    const std::string terminated(scoreText);
    xmlChar *escaped =
        xmlEncodeSpecialChars(nullptr, reinterpret_cast<const xmlChar *>(terminated.c_str()));
    if (escaped == nullptr) throw std::runtime_error("MusicXML writer: out of memory");
    put(std::string_view(reinterpret_cast<const char *>(escaped)));
    xmlFree(escaped);
#else
    put(escapeText(scoreText));
#endif
}

void XmlWriter::element(std::string_view name, std::string_view constant) {
    start(name);
    markup(constant);
    end();
}

void XmlWriter::element(std::string_view name, int value) {
    start(name);
    closeStartTag();
    number(value);
    end();
}

void XmlWriter::textElement(std::string_view name, std::string_view scoreText) {
    start(name);
    text(scoreText);
    end();
}

MusicXmlBytes XmlWriter::finish() {
    while (!Open.empty())
        end();
    put('\n');
    Out.resize(Used);
    return std::move(Out);
}

} // namespace qm::musicxml
