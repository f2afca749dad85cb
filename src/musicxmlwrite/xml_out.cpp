#include "musicxmlwrite/xml_out.hpp"

#include <libxml/parser.h>
#include <libxml/xmlwriter.h>

#include <mutex>
#include <stdexcept>

namespace qm::musicxml {

namespace {

const xmlChar *chars(const char *text) { return reinterpret_cast<const xmlChar *>(text); }

// The library keeps tables of its own; they are set up once, before the first writer of any
// thread uses them.
void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

} // namespace

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

struct XmlWriter::State {
    xmlBufferPtr Buffer = nullptr;
    xmlTextWriterPtr Writer = nullptr;
    std::string Scratch; // zero-terminated copies for the library
};

namespace {

void check(int result) {
    if (result < 0) throw std::runtime_error("MusicXML writer: out of memory");
}

} // namespace

XmlWriter::XmlWriter() : Impl(new State) {
    initLibrary();
    Impl->Buffer = xmlBufferCreate();
    if (Impl->Buffer != nullptr) Impl->Writer = xmlNewTextWriterMemory(Impl->Buffer, 0);
    if (Impl->Writer == nullptr) {
        if (Impl->Buffer != nullptr) xmlBufferFree(Impl->Buffer);
        delete Impl;
        throw std::runtime_error("MusicXML writer: out of memory");
    }
    check(xmlTextWriterSetIndent(Impl->Writer, 1));
    check(xmlTextWriterSetIndentString(Impl->Writer, chars("  ")));
}

XmlWriter::~XmlWriter() {
    if (Impl->Writer != nullptr) xmlFreeTextWriter(Impl->Writer);
    xmlBufferFree(Impl->Buffer);
    delete Impl;
}

void XmlWriter::startDocument() {
    check(xmlTextWriterStartDocument(Impl->Writer, nullptr, "UTF-8", "no"));
    check(xmlTextWriterWriteDTD(Impl->Writer, chars("score-partwise"),
                                chars("-//Recordare//DTD MusicXML 4.0 Partwise//EN"),
                                chars("http://www.musicxml.org/dtds/partwise.dtd"), nullptr));
}

void XmlWriter::start(const char *name) {
    check(xmlTextWriterStartElement(Impl->Writer, chars(name)));
}

void XmlWriter::end() { check(xmlTextWriterEndElement(Impl->Writer)); }

void XmlWriter::attribute(const char *name, std::string_view value) {
    Impl->Scratch.assign(value);
    check(xmlTextWriterWriteAttribute(Impl->Writer, chars(name), chars(Impl->Scratch.c_str())));
}

void XmlWriter::text(std::string_view value) {
    Impl->Scratch.assign(value);
    check(xmlTextWriterWriteString(Impl->Writer, chars(Impl->Scratch.c_str())));
}

std::vector<std::uint8_t> XmlWriter::finish() {
    check(xmlTextWriterEndDocument(Impl->Writer));
    xmlFreeTextWriter(Impl->Writer); // flushes into the buffer
    Impl->Writer = nullptr;
    const xmlChar *content = xmlBufferContent(Impl->Buffer);
    const int size = xmlBufferLength(Impl->Buffer);
    return std::vector<std::uint8_t>(content, content + size);
}

} // namespace qm::musicxml
