// Converts arbitrary bytes as an NW file, and dumps what the writer produced: neither may
// crash, hang or trip a sanitizer, whatever the input.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/pipeline.hpp"
#include "nwcdump/nwcdump.hpp"
#include "nwtext/nwtext.hpp"

namespace {

class DiscardMessages : public qm::Messages {
public:
    void reportError(int, std::string_view) override {}
    void reportWarning(int, std::string_view) override {}
    void logPlainLine(std::string_view) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    DiscardMessages messages;
    const auto nwc = qm::convertScore(input, messages);
    try {
        (void)qm::dumpNwc(nwc);
    } catch (const qm::NwcDumpError &) {
        __builtin_trap(); // the dump must follow everything the writer produces
    }
    (void)qm::nwtext::dump(input);
    return 0;
}
