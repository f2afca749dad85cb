#include "fuzz/checks.hpp"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <charconv>
#include <numeric>
#include <set>
#include <vector>

#include "app/batch/file_message_log.hpp"
#include "app/batch/naming.hpp"
#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"

namespace qm::fuzz {

namespace {

constexpr std::string_view Heading = "file:\\\\\\";
constexpr std::string_view InputPath = "/fuzz/input.nw";

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// The line with its quoted strings removed, so that a text from the file cannot pass for a
// field of the listing.
std::string unquoted(std::string_view line) {
    std::string rest;
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (inQuotes && line[i] == '\\') {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (!inQuotes) rest += line[i];
    }
    return rest;
}

std::int64_t numberAfter(std::string_view line, std::string_view key) {
    const std::size_t at = line.find(key);
    if (at == std::string_view::npos) return -1;
    std::int64_t value = -1;
    const char *first = line.data() + at + key.size();
    std::from_chars(first, line.data() + line.size(), value);
    return value;
}

bool hasControlByte(std::string_view line) {
    return std::any_of(line.begin(), line.end(),
                       [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

// Counts the messages written, and checks every line could only have come from the log itself.
std::string checkLogLines(const std::vector<std::string> &lines, const MessageCounts &counts) {
    if (lines.empty() || lines.front() != std::string(Heading) + std::string(InputPath))
        return "the log does not open with the file's heading line";
    std::int32_t errors = 0, warnings = 0, empty = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (hasControlByte(line)) return "a log line holds a line break: " + line;
        if (line.empty()) {
            ++empty;
            continue;
        }
        if (!line.starts_with("   ")) return "a log line outside the file's indentation: " + line;
        if (line.starts_with("   Error ")) ++errors;
        if (line.starts_with("   Warning ")) ++warnings;
    }
    if (empty != 2) return "the log has " + std::to_string(empty) + " empty lines, not 2";
    if (errors != counts.ErrorCount || warnings != counts.WarningCount)
        return "the log shows " + std::to_string(errors) + " errors and " +
               std::to_string(warnings) + " warnings, the counts say " +
               std::to_string(counts.ErrorCount) + " and " + std::to_string(counts.WarningCount);
    const auto sum = [](const auto &frequencies) {
        return std::accumulate(frequencies.begin(), frequencies.end(), std::int32_t{0});
    };
    if (sum(counts.ErrorFrequency) != errors || sum(counts.WarningFrequency) != warnings)
        return "a message code outside the known codes was reported";
    return {};
}

} // namespace

std::string checkNwcOutput(std::span<const std::uint8_t> nwcBytes) {
    std::string listing;
    try {
        listing = dumpNwc(nwcBytes);
    } catch (const NwcDumpError &error) {
        return std::string("the dump cannot follow the NWC output: ") + error.what();
    }
    std::int64_t declared = -1;
    std::int64_t staves = 0;
    for (const std::string_view line : splitLines(listing)) {
        if (line.starts_with("# ")) return std::string(line.substr(2));
        if (line.find(" @0x") != std::string_view::npos &&
            unquoted(line).find(" @0x") != std::string::npos)
            return "a byte differs from the writer's constant: " + std::string(line);
        if (line.starts_with("staves ")) declared = numberAfter(line, "count=");
        if (!line.starts_with("staff ")) continue;
        ++staves;
        if (numberAfter(line, "staff ") != staves)
            return "staff out of order: " + std::string(line);
        if (line.find("name=\"Staff-") == std::string_view::npos)
            return "a staff without its name: " + std::string(line);
    }
    if (declared != staves)
        return "the header counts " + std::to_string(declared) + " staves, the file holds " +
               std::to_string(staves);
    return {};
}

namespace {

// The MusicXML schema, read once: validating against it is the check; parsing it is not.
xmlSchemaPtr musicXmlSchema() {
    static const xmlSchemaPtr schema = [] {
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(QUILLMARK_MUSICXML_SCHEMA);
        const xmlSchemaPtr parsed = xmlSchemaParse(parser);
        xmlSchemaFreeParserCtxt(parser);
        return parsed;
    }();
    return schema;
}

} // namespace

std::string checkMusicXmlOutput(std::span<const std::uint8_t> xmlBytes) {
    const xmlSchemaPtr schema = musicXmlSchema();
    if (schema == nullptr) return "the MusicXML schema " QUILLMARK_MUSICXML_SCHEMA " is unreadable";
    const xmlDocPtr doc = xmlReadMemory(
        reinterpret_cast<const char *>(xmlBytes.data()), static_cast<int>(xmlBytes.size()),
        "score.musicxml", nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) return "the MusicXML output is not well-formed XML";
    const xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
    xmlSchemaSetValidStructuredErrors(
        context, [](void *, xmlErrorPtr) {}, nullptr);
    const bool valid = xmlSchemaValidateDoc(context, doc) == 0;
    xmlSchemaFreeValidCtxt(context);
    xmlFreeDoc(doc);
    return valid ? std::string() : "the MusicXML output does not follow the MusicXML 4.0 schema";
}

std::string checkConversion(std::span<const std::uint8_t> nwBytes) {
    MessageCounts counts;
    std::vector<std::string> lines;
    batch::FileMessageLog log(std::string(InputPath), counts,
                              [&lines](std::string_view line) { lines.emplace_back(line); });
    ConversionOptions options;
    options.Formats = OutputFormats{true, true};
    const ConversionOutputs outputs = convertNW(nwBytes, log, options);
    if (std::string fault = checkLogLines(lines, counts); !fault.empty()) return fault;
    if (std::string fault = checkNwcOutput(outputs.Nwc); !fault.empty()) return fault;
    return checkMusicXmlOutput(outputs.MusicXml);
}

namespace {

// Dumped and built again, NW bytes come back unchanged.
std::string checkDumpBuilds(std::span<const std::uint8_t> bytes, std::string_view what) {
    const std::string dumped = nwtext::dump(bytes);
    std::vector<std::uint8_t> again;
    try {
        again = nwtext::build(dumped);
    } catch (const nwtext::SyntaxError &error) {
        return "the dump of " + std::string(what) + " does not build: " + error.what();
    }
    if (std::equal(bytes.begin(), bytes.end(), again.begin(), again.end())) return {};
    const auto differs = std::mismatch(bytes.begin(), bytes.end(), again.begin(), again.end());
    return "the dump of " + std::string(what) + ", built again, differs from offset " +
           std::to_string(differs.first - bytes.begin()) + " (" + std::to_string(bytes.size()) +
           " and " + std::to_string(again.size()) + " bytes)";
}

} // namespace

std::string checkNwTextRoundTrip(std::string_view text) {
    const std::span<const std::uint8_t> raw(reinterpret_cast<const std::uint8_t *>(text.data()),
                                            text.size());
    if (std::string fault = checkDumpBuilds(raw, "the raw bytes"); !fault.empty()) return fault;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = nwtext::build(text);
    } catch (const nwtext::SyntaxError &) {
        return {}; // refused with a reason: nothing more to check
    }
    return checkDumpBuilds(bytes, "an accepted text");
}

std::string checkNwcDump(std::span<const std::uint8_t> bytes) {
    std::string listing;
    try {
        listing = dumpNwc(bytes);
    } catch (const NwcDumpError &error) {
        if (error.Offset > bytes.size()) return "the dump stopped past the end of the file";
        listing = error.Partial;
    }
    const auto raw = std::find_if(listing.begin(), listing.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return c != '\n' && (b < 0x20 || b >= 0x7F);
    });
    if (raw != listing.end())
        return "a raw byte " + std::to_string(static_cast<unsigned char>(*raw)) + " in the listing";
    return {};
}

namespace {

class CountingMessages : public Messages {
public:
    void reportError(int, std::string_view) override { ++Count; }
    void reportWarning(int, std::string_view) override { ++Count; }
    void logPlainLine(std::string_view) override {}
    int Count = 0;
};

// The names of one directory as the walk lists them: no empty name, none with a NUL or a
// slash (no file system allows them), each exact name once, in directory order.
std::vector<std::string> directoryListing(std::string_view names) {
    std::vector<std::string> listing;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t end = std::min(names.find('/', start), names.size());
        const std::string_view name = names.substr(start, end - start);
        if (!name.empty() && name.find('\0') == std::string_view::npos) listing.emplace_back(name);
        start = end + 1;
    }
    std::sort(listing.begin(), listing.end(), batch::CaseBlindLess{});
    listing.erase(std::unique(listing.begin(), listing.end()), listing.end());
    return listing;
}

} // namespace

namespace {

// The log lines of one file named `name`: its heading and a message quoting the name. No name
// may put a control character into a line (a line break would forge a line of its own), and
// the heading names the whole path.
std::string checkLogHeading(const std::string &name) {
    const std::string path = "/music/" + name;
    MessageCounts counts;
    std::vector<std::string> lines;
    batch::FileMessageLog log(path, counts,
                              [&lines](std::string_view line) { lines.emplace_back(line); });
    log.reportError(45, "Unexpected file type in" + name);
    log.logPlainLine("");
    if (lines.size() != 3)
        return "the name " + name + " gives " + std::to_string(lines.size()) + " log lines, not 3";
    for (const std::string &line : lines) {
        const auto control = std::find_if(line.begin(), line.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (control != line.end()) return "a control character of a name reaches the log: " + line;
    }
    if (!lines.front().starts_with(Heading) || lines.front().size() < Heading.size() + path.size())
        return "the heading does not name the whole path: " + lines.front();
    return {};
}

} // namespace

std::string checkBatchNames(std::string_view names) {
    const std::vector<std::string> listing = directoryListing(names);
    batch::TakenNames taken;
    std::set<std::string> lowerTaken;
    for (const std::string &name : listing) {
        taken.add(name);
        lowerTaken.insert(batch::lowerCase(name));
    }
    // An output name must be free, never itself an input, and named after its input.
    const auto claim = [&](const std::string &input, const std::string &output,
                           std::string_view extension) -> std::string {
        const std::string lower = batch::lowerCase(output);
        if (!lowerTaken.insert(lower).second)
            return "the output of " + input + " takes the name " + output + ", already in use";
        if (batch::okFileName(output)) return "the output " + output + " would be converted too";
        const std::string_view stem = std::string_view(input).substr(0, input.size() - 3);
        if (!output.starts_with(stem) || !lower.ends_with(extension))
            return "the output " + output + " is not named after " + input;
        taken.add(output);
        return {};
    };
    // The run's order: each accepted input in listing order takes the next free names.
    for (const std::string &name : listing) {
        if (!batch::okFileName(name)) continue;
        CountingMessages messages;
        const std::string nwc = batch::addSubscript(name, taken, messages);
        if (messages.Count != 0) return "a message while naming the output of " + name;
        if (std::string fault = claim(name, nwc, ".nwc"); !fault.empty()) return fault;
        const std::string musicXml = batch::musicXmlName(name, taken);
        if (std::string fault = claim(name, musicXml, ".musicxml"); !fault.empty()) return fault;
        if (std::string fault = checkLogHeading(name); !fault.empty()) return fault;
    }
    return {};
}

} // namespace qm::fuzz
