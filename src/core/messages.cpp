#include "core/messages.hpp"

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

} // namespace qm
