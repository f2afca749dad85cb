// The Windows control identifier of each control of the window model's table, shared with the
// test driver that finds the controls by them.
#pragma once

#include "app/window/controls.hpp"

namespace qm::win32 {

inline constexpr int FirstControlId = 100;

constexpr int controlId(window::Control control) {
    return FirstControlId + static_cast<int>(control);
}

} // namespace qm::win32
