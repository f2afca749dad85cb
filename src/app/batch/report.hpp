// The machine-readable account of a run: JSON Lines, one object for every entry the walk met
// and a closing summary object.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "app/batch/run.hpp"

namespace qm::batch {

// {"source": ..., "outputs": [...], "status": "converted" | "not-converted" | "skipped",
//  "reason": ... or null, "errors": N, "warnings": N, "codes": {"43": 2}, "warning_codes": {}}
std::string reportLine(const FileRecord &record);

// Writes the lines as the run goes, and the summary at its end.
class ReportWriter {
public:
    explicit ReportWriter(std::ostream &out) : Out(out) {}

    void file(const FileRecord &record);
    // The closing object; `outcome` is "completed", "interrupted" or "stopped", `reason` says
    // why a run stopped (empty otherwise).
    void summary(const RunResult *result, const std::string &outcome, const std::string &reason);

private:
    std::ostream &Out;
    std::int64_t Converted = 0;
    std::int64_t NotConverted = 0;
    std::int64_t Skipped = 0;
    MessageCounts Counts;
};

} // namespace qm::batch
