// The log's view of one file: its heading line, its indented messages, and the run's counts.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/messages.hpp"

namespace qm::batch {

// The log's view of one file: writes the heading line "file:\\\<path>" before the first line
// the file puts into the log, indents messages by three blanks and counts them.
class FileMessageLog : public Messages {
public:
    using LineSink = std::function<void(std::string_view line)>;

    FileMessageLog(std::string currentFile, MessageCounts &counts, LineSink sink);

    void reportError(int code, std::string_view text) override;
    void reportWarning(int code, std::string_view text) override;
    void logPlainLine(std::string_view text) override;

    // Called after every counted message, so a window can show the totals as they rise.
    std::function<void(const MessageCounts &)> onCountsChanged;

    bool logHeaderWritten() const { return LogHeaderWritten; }

private:
    void writeMessageLine(std::string_view line);
    void writeHeadingOnce();

    std::string CurrentFile;
    bool LogHeaderWritten = false;
    MessageCounts &Counts;
    LineSink Sink;
};

} // namespace qm::batch
