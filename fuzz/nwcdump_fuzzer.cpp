// The NWC dump's reader on arbitrary bytes: it reads files nobody checked.
#include <cstddef>
#include <cstdint>

#include "fuzz/checks.hpp"
#include "fuzz/target.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return qm::fuzz::stopOnFault(qm::fuzz::checkNwcDump({data, size}));
}
