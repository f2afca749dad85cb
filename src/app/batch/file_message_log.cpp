#include "app/batch/file_message_log.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <limits>

#include "app/batch/naming.hpp"

namespace qm::batch {

namespace {

void addSaturating(std::int32_t &count, std::int64_t more) {
    const std::int64_t sum = static_cast<std::int64_t>(count) + more;
    count = static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
}

void countError(MessageCounts &counts, int code, std::int32_t times = 1) {
    addSaturating(counts.ErrorCount, times);
    if (code >= 1 && code <= MaxErrorCode) addSaturating(counts.ErrorFrequency[code], times);
}

void countWarning(MessageCounts &counts, int code, std::int32_t times = 1) {
    addSaturating(counts.WarningCount, times);
    if (code >= 1 && code <= MaxWarningCode) addSaturating(counts.WarningFrequency[code], times);
}

} // namespace

void addCounts(MessageCounts &counts, const MessageCounts &more) {
    addSaturating(counts.ErrorCount, more.ErrorCount);
    addSaturating(counts.WarningCount, more.WarningCount);
    for (int code = 1; code <= MaxErrorCode; ++code)
        addSaturating(counts.ErrorFrequency[code], more.ErrorFrequency[code]);
    for (int code = 1; code <= MaxWarningCode; ++code)
        addSaturating(counts.WarningFrequency[code], more.WarningFrequency[code]);
}

FileMessageLog::FileMessageLog(std::string currentFile, MessageCounts &counts, LineSink sink)
    : CurrentFile(std::move(currentFile)), Counts(counts), Sink(std::move(sink)) {}

void FileMessageLog::writeLine(std::string_view line) { Sink(escapeControlChars(line)); }

void FileMessageLog::writeHeadingOnce() {
    if (LogHeaderWritten) return;
    LogHeaderWritten = true;
    writeLine("file:\\\\\\" + CurrentFile);
}

void FileMessageLog::writeMessageLine(std::string_view line) {
    writeHeadingOnce();
    std::string indented = "   ";
    indented += line;
    writeLine(indented);
}

void FileMessageLog::reportError(int code, std::string_view text) {
    assert(code >= 1 && code <= MaxErrorCode);
    writeMessageLine(formatError(code, text));
    countError(Counts, code);
    countError(FileCounts, code);
    if (onCountsChanged) onCountsChanged(Counts);
}

void FileMessageLog::reportWarning(int code, std::string_view text) {
    assert(code >= 1 && code <= MaxWarningCode);
    writeMessageLine(formatWarning(code, text));
    countWarning(Counts, code);
    countWarning(FileCounts, code);
    if (onCountsChanged) onCountsChanged(Counts);
}

void FileMessageLog::logPlainLine(std::string_view text) {
    writeHeadingOnce();
    writeLine(text);
}

void FileMessageLog::countUnshown(const MessageCounts &unshown) {
    addCounts(Counts, unshown);
    addCounts(FileCounts, unshown);
    if (onCountsChanged) onCountsChanged(Counts);
}

} // namespace qm::batch
