// Pass tests in text form: a score in the NW text form goes through the conversion, and the
// model is printed after one named step (the messages that step reported come first).
#pragma once

#include <string>
#include <string_view>

#include "convert/pass_printer.hpp"
#include "nwtext/nwtext.hpp"

namespace qm::test {

inline std::string modelAfter(std::string_view pass, std::string_view nwText) {
    return printPasses(nwtext::build(nwText), pass);
}

} // namespace qm::test
