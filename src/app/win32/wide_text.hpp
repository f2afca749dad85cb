// Text between Windows' UTF-16 and the batch layer's UTF-8, and paths as the window shows them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "app/batch/utf16.hpp"

namespace qm::win32 {

inline std::wstring wide(std::string_view utf8) {
    const std::u16string units = batch::utf16FromUtf8(utf8);
    return std::wstring(units.begin(), units.end());
}

inline std::string utf8(std::wstring_view text) {
    return batch::utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.data()), text.size()));
}

// `dir` and `name` joined by one backslash.
inline std::wstring joined(std::wstring dir, std::wstring_view name) {
    if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
    dir += name;
    return dir;
}

} // namespace qm::win32
