// Messages for tests: every line as the log would show it (without the heading), and counts.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "core/messages.hpp"

namespace qm::test {

class RecordingMessages : public Messages {
public:
    void reportError(int code, std::string_view text) override {
        lines.push_back(formatError(code, text));
        ++counts.ErrorCount;
        ++counts.ErrorFrequency[static_cast<std::size_t>(code)];
    }
    void reportWarning(int code, std::string_view text) override {
        lines.push_back(formatWarning(code, text));
        ++counts.WarningCount;
        ++counts.WarningFrequency[static_cast<std::size_t>(code)];
    }
    void logPlainLine(std::string_view text) override { plain.emplace_back(text); }

    bool has(const std::string &line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    int errors(int code) const { return counts.ErrorFrequency[static_cast<std::size_t>(code)]; }
    int warnings(int code) const { return counts.WarningFrequency[static_cast<std::size_t>(code)]; }

    std::vector<std::string> lines;
    std::vector<std::string> plain;
    MessageCounts counts;
};

} // namespace qm::test
