#include "app/window/directory_entries.hpp"

#include <algorithm>
#include <system_error>

#include "app/batch/files.hpp"
#include "app/batch/naming.hpp"

namespace qm::window {
namespace {

constexpr std::string_view NotFollowed = " (link, not followed)";

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned min = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    unsigned code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

std::string rootText(const std::filesystem::path &root) { return batch::pathText(root); }

} // namespace

std::string displayText(std::string_view bytes) {
    const std::string escaped = batch::escapeControlChars(bytes);
    std::string_view rest = escaped;
    std::string shown;
    shown.reserve(rest.size());
    while (!rest.empty()) {
        const std::size_t length = utf8SequenceLength(rest);
        if (length > 0) {
            shown.append(rest.substr(0, length));
            rest.remove_prefix(length);
            continue;
        }
        const auto latin1 = static_cast<unsigned char>(rest.front());
        shown.push_back(static_cast<char>(0xC0 | (latin1 >> 6)));
        shown.push_back(static_cast<char>(0x80 | (latin1 & 0x3F)));
        rest.remove_prefix(1);
    }
    return shown;
}

std::string displayPath(const std::filesystem::path &path) {
    return displayText(batch::pathText(path.empty() ? path : path.lexically_normal()));
}

std::filesystem::path normalDirectory(const std::filesystem::path &path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    absolute = absolute.lexically_normal();
    if (!absolute.has_filename() && absolute != absolute.root_path())
        absolute = absolute.parent_path();
    return absolute;
}

bool isDirectory(const std::filesystem::path &path) {
    std::error_code error;
    return !path.empty() && path.is_absolute() && std::filesystem::is_directory(path, error);
}

DirectoryEntries listDirectoryEntries(const std::filesystem::path &dir) {
    DirectoryEntries shown;
    // STEP 1: the path down from the root, ending at the chosen directory.
    std::filesystem::path walked = dir.root_path();
    shown.Entries.push_back({walked, rootText(walked), 0, false, false});
    for (const std::filesystem::path &part : dir.relative_path()) {
        if (part.empty()) continue;
        walked /= part;
        shown.Entries.push_back({walked, displayText(batch::pathText(part)),
                                 static_cast<int>(shown.Entries.size()), false, false});
    }
    shown.ChosenIndex = static_cast<int>(shown.Entries.size()) - 1;
    shown.Entries.back().Chosen = true;
    const int depth = static_cast<int>(shown.Entries.size());

    // STEP 2: the subdirectories as the run lists them, with the links it passes over.
    int error = 0;
    const batch::Directory opened = batch::Directory::open(dir, error);
    batch::DirectoryListing listing;
    if (!opened.valid() || batch::listDirectory(opened, listing) != 0) return shown;
    struct Sub {
        std::string Name;
        bool Link;
    };
    std::vector<Sub> subs;
    for (std::string &name : listing.Subdirectories)
        subs.push_back({std::move(name), false});
    for (const std::string &name : listing.Files) {
        std::error_code ignored;
        if (std::filesystem::is_directory(dir / batch::pathFromText(name), ignored))
            subs.push_back({name, true});
    }
    std::stable_sort(subs.begin(), subs.end(), [](const Sub &a, const Sub &b) {
        return batch::CaseBlindLess{}(a.Name, b.Name);
    });
    for (const Sub &sub : subs) {
        std::string text = displayText(sub.Name);
        if (sub.Link) text += NotFollowed;
        shown.Entries.push_back(
            {dir / batch::pathFromText(sub.Name), std::move(text), depth, false, sub.Link});
    }
    return shown;
}

std::vector<std::string> convertibleFiles(const std::filesystem::path &dir) {
    int error = 0;
    const batch::Directory opened = batch::Directory::open(dir, error);
    batch::DirectoryListing listing;
    std::vector<std::string> names;
    if (!opened.valid() || batch::listDirectory(opened, listing) != 0) return names;
    for (const std::string &name : listing.Files) {
        std::error_code ignored;
        if (batch::okFileName(name) &&
            std::filesystem::is_regular_file(dir / batch::pathFromText(name), ignored))
            names.push_back(displayText(name));
    }
    return names;
}

} // namespace qm::window
