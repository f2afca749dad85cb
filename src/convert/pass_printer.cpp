#include "convert/pass_printer.hpp"

#include <stdexcept>
#include <utility>

#include "convert/pipeline.hpp"
#include "core/model_printer.hpp"

namespace qm {

namespace {

// Messages as the log shows them, held until the step that reported them ends.
class PendingMessages : public Messages {
public:
    explicit PendingMessages(std::string &out) : Out(out) {}
    void reportError(int code, std::string_view text) override {
        Out += formatError(code, text) + '\n';
    }
    void reportWarning(int code, std::string_view text) override {
        Out += formatWarning(code, text) + '\n';
    }
    void logPlainLine(std::string_view) override {}

private:
    std::string &Out;
};

// The stave's place in the list, counting from 1: its number in the file. (Its StaveNo counts
// the other way until the system pass renumbers the staves.)
std::size_t positionOf(const Score &score, const Stave *stave) {
    std::size_t position = 1;
    for (const Stave &s : score.Staves) {
        if (&s == stave) return position;
        ++position;
    }
    return 0;
}

} // namespace

std::string printPasses(std::span<const std::uint8_t> nwBytes, std::string_view passName) {
    const bool all = passName == "all";
    if (!all && findPass(passName) == nullptr)
        throw std::invalid_argument("no step named '" + std::string(passName) + "'");

    std::string out;
    std::string pending; // what the running step reported
    PendingMessages messages(pending);
    ConversionOptions options;
    options.AfterPass = [&](const Pass &pass, const Score &score, const Stave *stave) {
        const std::string reported = std::exchange(pending, {});
        if (!all && pass.Name != passName) return;
        out += "== after ";
        out += pass.Name;
        if (stave) out += ", stave " + std::to_string(positionOf(score, stave));
        out += '\n' + reported;
        out += stave ? printStave(*stave) : printScore(score);
    };
    convertNW(nwBytes, messages, options);
    return out;
}

std::string listPasses() {
    std::string out;
    for (const Pass &pass : conversionPasses()) {
        out += pass.Name;
        out += pass.Scope == PassScope::Stave ? " (each stave)\n" : "\n";
    }
    return out;
}

} // namespace qm
