// The text form's parser on arbitrary text, and the round trip of whatever it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/checks.hpp"
#include "fuzz/target.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    return qm::fuzz::stopOnFault(qm::fuzz::checkNwTextRoundTrip(text));
}
