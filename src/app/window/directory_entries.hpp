// What the directory lists and the file list show: every directory a run walks and every file
// it converts, read with the run's own directory listing, so the window shows no more and no
// less than a run meets. Names that are not UTF-8 are decoded for display; the entries keep
// the real paths.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/window/view.hpp"

namespace qm::window {

// A name as the lists show it: control characters as \xHH (as in the log), valid UTF-8 as it
// is, and each byte that is not part of valid UTF-8 read as Latin-1, the usual encoding of
// names from older archives.
std::string displayText(std::string_view bytes);
std::string displayPath(const std::filesystem::path &path);

// The absolute form of `path`, with "." and ".." resolved and no trailing separator.
std::filesystem::path normalDirectory(const std::filesystem::path &path);
bool isDirectory(const std::filesystem::path &path);

// The ancestors of `dir` from its root down, `dir` itself (the chosen entry), then its
// subdirectories in the order a run walks them, links to directories among them marked.
DirectoryEntries listDirectoryEntries(const std::filesystem::path &dir);

// The names in `dir` that a run converts, in the order it converts them.
std::vector<std::string> convertibleFiles(const std::filesystem::path &dir);

} // namespace qm::window
