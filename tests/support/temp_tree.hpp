// A fresh directory under the system's temporary directory, removed with everything in it,
// on POSIX systems and on Windows alike.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace qm::test {

namespace fs = std::filesystem;

// Creates a new directory whose name starts with `prefix`; its canonical path.
inline fs::path makeTempTree(std::string_view prefix) {
    std::random_device random;
    for (;;) {
        const fs::path candidate =
            fs::temp_directory_path() / (std::string(prefix) + std::to_string(random()));
        if (fs::create_directory(candidate)) return fs::canonical(candidate);
    }
}

// Removes a tree, paths beyond the old 260-character limit included.
inline void removeTree(const fs::path &root) {
    std::error_code ignored;
#ifdef _WIN32
    fs::remove_all(L"\\\\?\\" + fs::absolute(root).make_preferred().native(), ignored);
#else
    fs::remove_all(root, ignored);
#endif
}

// A path as the run shows it: the platform's own separators, UTF-8.
inline std::string shown(fs::path path) {
    const std::u8string text = path.make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

// A path from UTF-8 text, on every platform.
inline fs::path utf8Path(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

} // namespace qm::test
