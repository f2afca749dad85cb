// The model between two steps of a conversion, as text: what `quillmark nw passes` prints and
// what pass tests compare against.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qm {

// Converts the NW bytes and prints the model after the step named `passName` (after each
// stave it ran on, for a stave step), or after every step when `passName` is "all". Each print
// starts with the messages that run of the step reported, as the log shows them. Throws
// std::invalid_argument for a name that is no step.
std::string printPasses(std::span<const std::uint8_t> nwBytes, std::string_view passName);

// The names of the steps, one per line, in the order they run.
std::string listPasses();

} // namespace qm
