// The log's view of one file: its heading line, its indented messages, and the run's counts.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/messages.hpp"

namespace qm::batch {

// The log's view of one file: writes the heading line "file:\\\<path>" (the whole path) before
// the first line the file puts into the log, indents messages by three blanks and counts them,
// in the run's totals and in the file's own. Control characters in any line are written as
// \xHH, so a line of the log ends only where the log ends it.
class FileMessageLog : public Messages {
public:
    using LineSink = std::function<void(std::string_view line)>;

    FileMessageLog(std::string currentFile, MessageCounts &counts, LineSink sink);

    void reportError(int code, std::string_view text) override;
    void reportWarning(int code, std::string_view text) override;
    void logPlainLine(std::string_view text) override;

    // Adds messages that were counted but not written (a file that reported too many).
    void countUnshown(const MessageCounts &unshown);

    // Called after every counted message, so a window can show the totals as they rise.
    std::function<void(const MessageCounts &)> onCountsChanged;

    bool logHeaderWritten() const { return LogHeaderWritten; }
    const MessageCounts &fileCounts() const { return FileCounts; }

private:
    void writeMessageLine(std::string_view line);
    void writeHeadingOnce();
    void writeLine(std::string_view line);

    std::string CurrentFile;
    bool LogHeaderWritten = false;
    MessageCounts &Counts;
    MessageCounts FileCounts;
    LineSink Sink;
};

// Adds every count of `more` to `counts`, saturating at the 32-bit limit.
void addCounts(MessageCounts &counts, const MessageCounts &more);

} // namespace qm::batch
