// Which names the run converts, what it calls the outputs and its log files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "app/batch/platform.hpp"
#include "core/messages.hpp"

namespace qm::batch {

// ASCII letters in lower case; other bytes unchanged.
std::string lowerCase(std::string_view name);

// Directory order: alphabetical without regard to case (ASCII), ties broken by the exact bytes
// so that "A.nw" and "a.nw", both possible here, have a fixed order.
struct CaseBlindLess {
    bool operator()(const std::string &a, const std::string &b) const;
};

// A name in the form the file system compares names in without regard to case: ASCII letters
// in lower case on POSIX systems; on Windows the system's own upper-casing of UTF-16, so that
// "Ä.nwc" and "ä.nwc" are one name there. Defined with the platform's files.
std::string fileNameKey(std::string_view name);

// The names present in one directory, for the "is it taken" test.
class TakenNames {
public:
    void add(std::string_view name) { Keys.insert(fileNameKey(name)); }
    bool has(std::string_view name) const { return Keys.count(fileNameKey(name)) != 0; }

private:
    std::unordered_set<std::string> Keys;
};

// An NW input: ends in ".nw" (any case) with no earlier ".nw" and no ".nwc" anywhere.
bool okFileName(std::string_view name);

// The first name of base.ext, base_0.ext, base_1.ext, ... not in `taken` (compared without
// regard to case). Reports error 45 and returns `name` unchanged when it has no 3-letter extension.
std::string makeUnique(std::string_view name, const TakenNames &taken, Messages &messages);

// The output name for an input accepted by okFileName: ".nw" becomes ".nwc", made unique.
std::string addSubscript(std::string_view name, const TakenNames &taken, Messages &messages);

// The MusicXML output name for an input accepted by okFileName: ".nw" becomes ".musicxml",
// then "_0.musicxml", "_1.musicxml", ... while the name is taken (compared in lower case).
std::string musicXmlName(std::string_view name, const TakenNames &taken);

// "Quillmark_<n>.log".
std::string logFileName(std::int64_t n);

// A name as the log and the terminal show it: every control character (below 0x20, and 0x7F)
// written as \xHH, so no name can end a line, forge another or reach the terminal raw.
std::string escapeControlChars(std::string_view name);

// ".quillmark-<pid>-<start>-<random>.tmp": a hidden temporary output of the process `owner`.
std::string temporaryFileName(const platform::ProcessIdentity &owner, std::uint64_t random);

// The process that made a temporary output named by temporaryFileName; nothing for any other
// name, so a later run removes only what is surely its kind of leftover.
std::optional<platform::ProcessIdentity> temporaryFileOwner(std::string_view name);

} // namespace qm::batch
