// Output naming on arbitrary directory listings: the names, separated by '/'.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/checks.hpp"
#include "fuzz/target.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view names(reinterpret_cast<const char *>(data), size);
    return qm::fuzz::stopOnFault(qm::fuzz::checkBatchNames(names));
}
