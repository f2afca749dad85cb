#include "app/batch/naming.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace qm::batch {

namespace {

char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

std::string lowerCase(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerChar);
    return lower;
}

bool CaseBlindLess::operator()(const std::string &a, const std::string &b) const {
    const auto byLowerByte = [](char x, char y) {
        return static_cast<unsigned char>(lowerChar(x)) < static_cast<unsigned char>(lowerChar(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), byLowerByte))
        return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), byLowerByte))
        return false;
    return a < b;
}

bool okFileName(std::string_view name) {
    const std::string lower = lowerCase(name);
    if (lower.size() < 3) return false;
    return lower.find(".nw") == lower.size() - 3 && lower.find(".nwc") == std::string::npos;
}

std::string makeUnique(std::string_view name, const TakenNames &taken, Messages &messages) {
    const std::size_t length = name.size();
    if (length < 4 || name[length - 4] != '.') {
        messages.reportError(45, "Unexpected file type in" + std::string(name));
        return std::string(name);
    }
    const std::string_view base = name.substr(0, length - 4);
    const std::string_view ext = name.substr(length - 4);
    std::string candidate(name);
    // Each rejected candidate is a distinct taken name, so this ends.
    for (std::int64_t n = 0; taken.has(candidate); ++n)
        candidate = std::string(base) + "_" + std::to_string(n) + std::string(ext);
    return candidate;
}

std::string addSubscript(std::string_view name, const TakenNames &taken, Messages &messages) {
    const std::size_t stem = name.size() >= 3 ? name.size() - 3 : 0;
    return makeUnique(std::string(name.substr(0, stem)) + ".nwc", taken, messages);
}

std::string musicXmlName(std::string_view name, const TakenNames &taken) {
    const std::string base(name.substr(0, name.size() >= 3 ? name.size() - 3 : 0));
    std::string candidate = base + ".musicxml";
    for (std::int64_t n = 0; taken.has(candidate); ++n)
        candidate = base + "_" + std::to_string(n) + ".musicxml";
    return candidate;
}

std::string logFileName(std::int64_t n) { return "Quillmark_" + std::to_string(n) + ".log"; }

std::string escapeControlChars(std::string_view name) {
    std::string escaped;
    escaped.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            escaped += c;
            continue;
        }
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        escaped += hex;
    }
    return escaped;
}

namespace {

constexpr std::string_view TemporaryPrefix = ".quillmark-";
constexpr std::string_view TemporarySuffix = ".tmp";

// Takes one number in `base` up to `end` (or the end of `text`) off the front of `text`.
bool takeNumber(std::string_view &text, char end, int base, std::uint64_t &value) {
    const std::size_t stop = end == 0 ? text.size() : text.find(end);
    if (stop == 0 || stop == std::string_view::npos) return false;
    const char *first = text.data();
    const auto [last, error] = std::from_chars(first, first + stop, value, base);
    if (error != std::errc() || last != first + stop) return false;
    text.remove_prefix(end == 0 ? stop : stop + 1);
    return true;
}

} // namespace

std::string temporaryFileName(const platform::ProcessIdentity &owner, std::uint64_t random) {
    char text[96];
    std::snprintf(text, sizeof text, ".quillmark-%llu-%llu-%016llx.tmp",
                  static_cast<unsigned long long>(owner.Pid),
                  static_cast<unsigned long long>(owner.StartTime),
                  static_cast<unsigned long long>(random));
    return text;
}

std::optional<platform::ProcessIdentity> temporaryFileOwner(std::string_view name) {
    if (!name.starts_with(TemporaryPrefix) || !name.ends_with(TemporarySuffix)) return {};
    name.remove_prefix(TemporaryPrefix.size());
    name.remove_suffix(TemporarySuffix.size());
    platform::ProcessIdentity owner;
    std::uint64_t random = 0;
    if (!takeNumber(name, '-', 10, owner.Pid) || !takeNumber(name, '-', 10, owner.StartTime) ||
        name.size() != 16 || !takeNumber(name, 0, 16, random))
        return {};
    return owner;
}

} // namespace qm::batch
