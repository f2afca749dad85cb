// The common end of every fuzz target: a fault found by a check stops the run with its text.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qm::fuzz {

inline int stopOnFault(const std::string &fault) {
    if (fault.empty()) return 0;
    std::fprintf(stderr, "invariant broken: %s\n", fault.c_str());
    std::abort();
}

} // namespace qm::fuzz
