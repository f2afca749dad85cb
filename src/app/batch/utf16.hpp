// Windows names are UTF-16 and may hold unpaired surrogates; the run works on UTF-8 text. These
// conversions round-trip every name: an unpaired surrogate becomes its three-byte form
// (generalised UTF-8, "WTF-8") and comes back as the same unit.
#pragma once

#include <string>
#include <string_view>

namespace qm::batch {

std::string utf8FromUtf16(std::u16string_view text);
// Bytes that are not UTF-8 (or its generalised form) become U+FFFD.
std::u16string utf16FromUtf8(std::string_view text);

} // namespace qm::batch
