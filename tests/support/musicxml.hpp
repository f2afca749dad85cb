// MusicXML for tests: a score in the NW text form converted to MusicXML (and NWC), validated
// against the MusicXML 4.0 schema and queried with XPath.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/pipeline.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

namespace qm::test {

// Every schema problem of a document, one per line; empty when it is valid.
inline std::string schemaProblems(std::span<const std::uint8_t> bytes) {
    static xmlSchemaPtr schema = [] {
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(QUILLMARK_MUSICXML_SCHEMA);
        xmlSchemaPtr parsed = xmlSchemaParse(parser);
        xmlSchemaFreeParserCtxt(parser);
        return parsed;
    }();
    if (schema == nullptr) return "the MusicXML schema could not be read";
    std::string problems;
    xmlDocPtr doc = xmlReadMemory(reinterpret_cast<const char *>(bytes.data()),
                                  static_cast<int>(bytes.size()), "score.musicxml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) return "not well-formed XML";
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
    xmlSchemaSetValidStructuredErrors(
        context,
        [](void *sink, xmlErrorPtr error) {
            *static_cast<std::string *>(sink) +=
                "line " + std::to_string(error->line) + ": " + error->message;
        },
        &problems);
    const int result = xmlSchemaValidateDoc(context, doc);
    xmlSchemaFreeValidCtxt(context);
    xmlFreeDoc(doc);
    if (result != 0 && problems.empty()) problems = "invalid (no message)";
    return problems;
}

class MusicXmlDoc {
public:
    explicit MusicXmlDoc(std::vector<std::uint8_t> bytes) : Bytes(std::move(bytes)) {
        Doc = xmlReadMemory(reinterpret_cast<const char *>(Bytes.data()),
                            static_cast<int>(Bytes.size()), "score.musicxml", nullptr,
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    }
    ~MusicXmlDoc() { xmlFreeDoc(Doc); }
    MusicXmlDoc(const MusicXmlDoc &) = delete;
    MusicXmlDoc &operator=(const MusicXmlDoc &) = delete;

    // The string value of each node an XPath expression selects, or of its result.
    std::vector<std::string> all(const std::string &xpath) const {
        std::vector<std::string> values;
        if (Doc == nullptr) return values;
        xmlXPathContextPtr context = xmlXPathNewContext(Doc);
        xmlXPathObjectPtr result =
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar *>(xpath.c_str()), context);
        if (result != nullptr && result->type == XPATH_NODESET && result->nodesetval) {
            for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
                xmlChar *text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
                values.emplace_back(text ? reinterpret_cast<const char *>(text) : "");
                xmlFree(text);
            }
        } else if (result != nullptr) {
            xmlChar *text = xmlXPathCastToString(result);
            values.emplace_back(reinterpret_cast<const char *>(text));
            xmlFree(text);
        }
        xmlXPathFreeObject(result);
        xmlXPathFreeContext(context);
        return values;
    }
    // The first value (or "" when nothing is selected).
    std::string get(const std::string &xpath) const {
        std::vector<std::string> values = all(xpath);
        return values.empty() ? std::string{} : values.front();
    }
    // Values joined by blanks: a compact view of a sequence.
    std::string joined(const std::string &xpath) const {
        std::string text;
        for (const std::string &value : all(xpath))
            text += (text.empty() ? "" : " ") + value;
        return text;
    }
    std::string text() const { return std::string(Bytes.begin(), Bytes.end()); }
    xmlDocPtr tree() const { return Doc; }
    const std::vector<std::uint8_t> &bytes() const { return Bytes; }

private:
    std::vector<std::uint8_t> Bytes;
    xmlDocPtr Doc = nullptr;
};

struct MusicXmlConversion {
    RecordingMessages messages;
    MusicXmlStats stats;
    std::vector<std::uint8_t> nwc;
    std::unique_ptr<MusicXmlDoc> doc;
    std::string problems; // schema problems, empty when valid
};

inline std::unique_ptr<MusicXmlConversion> musicXmlFromBytes(std::span<const std::uint8_t> nw) {
    auto result = std::make_unique<MusicXmlConversion>();
    ConversionOptions options;
    options.Formats = OutputFormats{true, true};
    ConversionOutputs outputs = convertNW(nw, result->messages, options);
    result->stats = outputs.MusicXmlCounts;
    result->nwc = std::move(outputs.Nwc);
    result->doc = std::make_unique<MusicXmlDoc>(
        std::vector<std::uint8_t>(outputs.MusicXml.begin(), outputs.MusicXml.end()));
    result->problems = schemaProblems(result->doc->bytes());
    return result;
}

inline std::unique_ptr<MusicXmlConversion> musicXmlFromText(std::string_view text) {
    return musicXmlFromBytes(nwtext::build(text));
}

} // namespace qm::test
