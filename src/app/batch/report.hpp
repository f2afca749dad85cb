// The machine-readable account of a run: JSON Lines, one object for every entry the walk met
// and a closing summary object.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/batch/run.hpp"

namespace qm::batch {

// {"source": ..., "source_bytes": ..., "outputs": [...], "outputs_bytes": [...],
//  "status": "converted" | "not-converted" | "skipped", "reason": ... or null, "errors": N,
//  "warnings": N, "codes": {"43": 2}, "warning_codes": {}, "musicxml_left_out": N}
// Paths are text for people (a byte that is not UTF-8 becomes U+FFFD); the *_bytes fields give
// a path's exact bytes for scripts, percent-escaped (every byte outside printable ASCII, and
// "%" itself, as %HH).
std::string reportLine(const FileRecord &record);

// A path's bytes, percent-escaped as above.
std::string percentEscaped(std::string_view bytes);

// A report that could not be written.
struct ReportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writes the lines as the run goes, and the summary at its end.
class ReportWriter {
public:
    // Takes each line with its line end; throws (ReportError) when it cannot write it.
    using Sink = std::function<void(std::string_view text)>;

    explicit ReportWriter(Sink sink) : Out(std::move(sink)) {}

    void file(const FileRecord &record);
    // The closing object; `outcome` is "completed", "interrupted" or "stopped", `reason` says
    // why a run stopped (empty otherwise).
    void summary(const RunResult *result, const std::string &outcome, const std::string &reason);

private:
    Sink Out;
    std::int64_t Converted = 0;
    std::int64_t NotConverted = 0;
    std::int64_t Skipped = 0;
    MessageCounts Counts;
};

} // namespace qm::batch
