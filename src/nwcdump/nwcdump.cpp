#include "nwcdump/nwcdump.hpp"

namespace qm {

std::string dumpNwc(std::span<const std::uint8_t>) { throw NwcDumpError("not implemented yet"); }

} // namespace qm
