// A whole conversion for end-to-end tests: a score in the NW text form goes through the
// pipeline, and the NWC output comes back as bytes and as the dump's lines, with the messages.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"
#include "support/recording_messages.hpp"

namespace qm::test {

struct Conversion {
    static constexpr std::size_t npos = std::string::npos;

    std::vector<std::uint8_t> bytes;
    std::vector<std::string> lines; // the NWC listing, one record per line
    RecordingMessages messages;

    // The first line at or after `from` that starts with `head` and holds every piece.
    std::size_t find(const std::string &head, const std::vector<std::string> &pieces,
                     std::size_t from = 0) const {
        for (std::size_t i = from; i < lines.size(); ++i) {
            if (lines[i].rfind(head, 0) != 0) continue;
            bool all = true;
            for (const std::string &piece : pieces)
                all = all && lines[i].find(piece) != npos;
            if (all) return i;
        }
        return npos;
    }
    bool has(const std::string &head, const std::vector<std::string> &pieces = {}) const {
        return find(head, pieces) != npos;
    }
    // The note records of the staff whose header line is `staff`, in order.
    std::vector<std::string> notes(std::size_t staff) const {
        std::vector<std::string> found;
        if (staff == npos) return found;
        for (std::size_t i = staff + 1; i < lines.size() && lines[i].rfind("staff ", 0) != 0; ++i)
            if (lines[i].rfind("note ", 0) == 0) found.push_back(lines[i]);
        return found;
    }
    // Everything, for a failure message.
    std::string listing() const {
        std::string all;
        for (const std::string &line : lines)
            all += line + "\n";
        for (const std::string &line : messages.lines)
            all += "log: " + line + "\n";
        return all;
    }
};

inline std::unique_ptr<Conversion> convertText(std::string_view text) {
    auto result = std::make_unique<Conversion>();
    result->bytes = convertScore(nwtext::build(text), result->messages);
    std::istringstream in(dumpNwc(result->bytes));
    for (std::string line; std::getline(in, line);)
        result->lines.push_back(line);
    return result;
}

} // namespace qm::test
