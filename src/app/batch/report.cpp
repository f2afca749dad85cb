#include "app/batch/report.hpp"

#include <nlohmann/json.hpp>

#include "app/batch/file_message_log.hpp"

namespace qm::batch {

namespace {

using json = nlohmann::ordered_json;

std::string_view statusName(FileStatus status) {
    switch (status) {
    case FileStatus::Converted: return "converted";
    case FileStatus::NotConverted: return "not-converted";
    case FileStatus::Skipped: return "skipped";
    }
    return "skipped";
}

// {"43": 2, ...}: the codes that occurred, in increasing order.
template <std::size_t N> json codeCounts(const std::array<std::int32_t, N> &frequency) {
    json codes = json::object();
    for (std::size_t code = 1; code < N; ++code)
        if (frequency[code] > 0) codes[std::to_string(code)] = frequency[code];
    return codes;
}

// Names that are not UTF-8 keep their valid parts; a bad byte becomes U+FFFD.
std::string dump(const json &object) {
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string percentEscaped(std::string_view bytes) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && byte != '%') {
            text += c;
            continue;
        }
        text += '%';
        text += Hex[byte >> 4];
        text += Hex[byte & 0xF];
    }
    return text;
}

std::string reportLine(const FileRecord &record) {
    json line;
    line["source"] = record.Source;
    line["source_bytes"] = percentEscaped(record.Source);
    line["outputs"] = record.Outputs;
    json outputBytes = json::array();
    for (const std::string &output : record.Outputs)
        outputBytes.push_back(percentEscaped(output));
    line["outputs_bytes"] = std::move(outputBytes);
    line["status"] = statusName(record.Status);
    line["reason"] = record.Reason.empty() ? json(nullptr) : json(record.Reason);
    line["errors"] = record.Counts.ErrorCount;
    line["warnings"] = record.Counts.WarningCount;
    line["codes"] = codeCounts(record.Counts.ErrorFrequency);
    line["warning_codes"] = codeCounts(record.Counts.WarningFrequency);
    line["musicxml_left_out"] = record.MusicXmlOmitted;
    return dump(line);
}

void ReportWriter::file(const FileRecord &record) {
    switch (record.Status) {
    case FileStatus::Converted: ++Converted; break;
    case FileStatus::NotConverted: ++NotConverted; break;
    case FileStatus::Skipped: ++Skipped; break;
    }
    addCounts(Counts, record.Counts);
    Out(reportLine(record) + '\n');
}

void ReportWriter::summary(const RunResult *result, const std::string &outcome,
                           const std::string &reason) {
    json line;
    line["summary"] = outcome;
    if (!reason.empty()) line["reason"] = reason;
    if (result) line["log"] = pathText(result->LogPath);
    line["converted"] = Converted;
    line["not-converted"] = NotConverted;
    line["skipped"] = Skipped;
    line["files_created"] = result ? result->FilesCreated : Converted;
    line["errors"] = Counts.ErrorCount;
    line["warnings"] = Counts.WarningCount;
    line["codes"] = codeCounts(Counts.ErrorFrequency);
    line["warning_codes"] = codeCounts(Counts.WarningFrequency);
    Out(dump(line) + '\n');
}

} // namespace qm::batch
