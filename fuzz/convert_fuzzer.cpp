// Converts arbitrary bytes as an NW file with both writers, and dumps what the NWC writer
// produced: nothing may crash, hang or trip a sanitizer, whatever the input, and the MusicXML
// document must always be one the MusicXML 4.0 schema accepts.
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"

namespace {

class DiscardMessages : public qm::Messages {
public:
    void reportError(int, std::string_view) override {}
    void reportWarning(int, std::string_view) override {}
    void logPlainLine(std::string_view) override {}
};

bool validMusicXml(std::span<const std::uint8_t> bytes) {
    static xmlSchemaPtr schema = [] {
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(QUILLMARK_MUSICXML_SCHEMA);
        xmlSchemaPtr parsed = xmlSchemaParse(parser);
        xmlSchemaFreeParserCtxt(parser);
        if (parsed == nullptr) __builtin_trap(); // the fuzzer cannot check without it
        return parsed;
    }();
    xmlDocPtr doc = xmlReadMemory(reinterpret_cast<const char *>(bytes.data()),
                                  static_cast<int>(bytes.size()), "score.musicxml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) return false;
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
    xmlSchemaSetValidStructuredErrors(
        context, [](void *, xmlErrorPtr) {}, nullptr);
    const bool valid = xmlSchemaValidateDoc(context, doc) == 0;
    xmlSchemaFreeValidCtxt(context);
    xmlFreeDoc(doc);
    return valid;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    DiscardMessages messages;
    qm::ConversionOptions options;
    options.Formats = qm::OutputFormats{true, true};
    const qm::ConversionOutputs outputs = qm::convertNW(input, messages, options);
    try {
        (void)qm::dumpNwc(outputs.Nwc);
    } catch (const qm::NwcDumpError &) {
        __builtin_trap(); // the dump must follow everything the writer produces
    }
    if (!validMusicXml(outputs.MusicXml)) __builtin_trap();
    (void)qm::nwtext::dump(input);
    return 0;
}
