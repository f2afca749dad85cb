#include "nwtext/nwtext.hpp"

namespace qm::nwtext {

std::vector<std::uint8_t> build(std::string_view) { throw SyntaxError("not implemented yet"); }
std::string dump(std::span<const std::uint8_t>) { return {}; }

} // namespace qm::nwtext
