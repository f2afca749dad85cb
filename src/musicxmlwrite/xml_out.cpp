#include "musicxmlwrite/xml_out.hpp"

#include <charconv>

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

namespace {

std::string_view number(char (&digits)[16], int value) {
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    (void)error; // an int always fits
    return {digits, static_cast<std::size_t>(end - digits)};
}

} // namespace

void XmlWriter::startDocument() {
    append("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
           "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
           "\"http://www.musicxml.org/dtds/partwise.dtd\">");
}

void XmlWriter::closeStartTag() {
    if (!StartTagOpen) return;
    append('>');
    StartTagOpen = false;
}

// Each element starts on a line of its own, so the document reads and compares line by line.
void XmlWriter::start(const char *name) {
    closeStartTag();
    append("\n<");
    append(name);
    Open.push_back(name);
    StartTagOpen = true;
}

void XmlWriter::end() {
    if (StartTagOpen) {
        append("/>");
        StartTagOpen = false;
    } else {
        append("</");
        append(Open.back());
        append('>');
    }
    Open.pop_back();
}

void XmlWriter::attribute(const char *name, const char *value) {
    append(' ');
    append(name);
    append("=\"");
    append(value);
    append('"');
}

void XmlWriter::attribute(const char *name, int value) {
    append(' ');
    append(name);
    append("=\"");
    char digits[16];
    append(number(digits, value));
    append('"');
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

void XmlWriter::text(std::string_view scoreText) {
    closeStartTag();
    append(escapeText(scoreText));
}

void XmlWriter::value(const char *constant) {
    closeStartTag();
    append(constant);
}

void XmlWriter::element(const char *name, const char *constant) {
    start(name);
    value(constant);
    end();
}

void XmlWriter::element(const char *name, int value) {
    start(name);
    closeStartTag();
    char digits[16];
    append(number(digits, value));
    end();
}

void XmlWriter::textElement(const char *name, std::string_view scoreText) {
    start(name);
    text(scoreText);
    end();
}

std::vector<std::uint8_t> XmlWriter::finish() {
    while (!Open.empty())
        end();
    append('\n');
    return std::move(Out);
}

} // namespace qm::musicxml
