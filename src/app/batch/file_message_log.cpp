#include "app/batch/file_message_log.hpp"

#include <cassert>

#include "core/score.hpp"

namespace qm::batch {

FileMessageLog::FileMessageLog(std::string currentFile, MessageCounts &counts, LineSink sink)
    : CurrentFile(std::move(currentFile)), Counts(counts), Sink(std::move(sink)) {}

void FileMessageLog::writeHeadingOnce() {
    if (LogHeaderWritten) return;
    LogHeaderWritten = true;
    Sink(cut255("file:\\\\\\" + CurrentFile));
}

void FileMessageLog::writeMessageLine(std::string_view line) {
    writeHeadingOnce();
    std::string indented = "   ";
    indented += line;
    Sink(indented);
}

void FileMessageLog::reportError(int code, std::string_view text) {
    assert(code >= 1 && code <= MaxErrorCode);
    writeMessageLine(formatError(code, text));
    ++Counts.ErrorCount;
    if (code >= 1 && code <= MaxErrorCode) ++Counts.ErrorFrequency[code];
    if (onCountsChanged) onCountsChanged(Counts);
}

void FileMessageLog::reportWarning(int code, std::string_view text) {
    assert(code >= 1 && code <= MaxWarningCode);
    writeMessageLine(formatWarning(code, text));
    ++Counts.WarningCount;
    if (code >= 1 && code <= MaxWarningCode) ++Counts.WarningFrequency[code];
    if (onCountsChanged) onCountsChanged(Counts);
}

void FileMessageLog::logPlainLine(std::string_view text) {
    writeHeadingOnce();
    Sink(text);
}

} // namespace qm::batch
