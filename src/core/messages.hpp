// Numbered errors and warnings, and plain information lines, reported while a file converts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

constexpr int MaxErrorCode = 71;
constexpr int MaxWarningCode = 8;

// What every stage reports through. A message never stops a conversion.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void reportError(int code, std::string_view text) = 0;
    virtual void reportWarning(int code, std::string_view text) = 0;
    virtual void logPlainLine(std::string_view text) = 0;
};

// The run's counters: totals and how often each code occurred.
struct MessageCounts {
    std::int32_t ErrorCount = 0;
    std::int32_t WarningCount = 0;
    std::array<std::int32_t, MaxErrorCode + 1> ErrorFrequency{};     // index = code 1..71
    std::array<std::int32_t, MaxWarningCode + 1> WarningFrequency{}; // index = code 1..8

    void reset() { *this = MessageCounts{}; }
};

// "Error 43: text", cut to 255 characters (likewise "Warning ").
std::string formatError(int code, std::string_view text);
std::string formatWarning(int code, std::string_view text);

} // namespace qm
