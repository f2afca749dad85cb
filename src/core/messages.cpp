#include "core/messages.hpp"

#include <cassert>

#include "core/score.hpp"

namespace qm {

namespace {

std::string formatMessage(std::string_view word, int code, std::string_view text) {
    std::string line(word);
    line += std::to_string(code);
    line += ": ";
    line += text;
    return cut255(std::move(line));
}

} // namespace

std::string formatError(int code, std::string_view text) {
    return formatMessage("Error ", code, text);
}

std::string formatWarning(int code, std::string_view text) {
    return formatMessage("Warning ", code, text);
}

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

} // namespace qm
