// Pixels at the screen's scale: the layout is designed at 96 dots per inch and drawn at the
// scale of the monitor that shows the window (the program is per-monitor aware).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace qm::win32 {

inline double scaleOf(HWND window) {
    const UINT dpi = window != nullptr ? ::GetDpiForWindow(window) : 0;
    return dpi == 0 ? 1.0 : dpi / 96.0;
}

inline int scaled(int designed, double scale) {
    return static_cast<int>(std::lround(designed * scale));
}

// `place` moved (and shrunk where it must be) into the work area of the window's monitor.
inline RECT keptOnScreen(RECT place, HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return place;
    const RECT &work = monitor.rcWork;
    const LONG width = std::min(place.right - place.left, work.right - work.left);
    const LONG height = std::min(place.bottom - place.top, work.bottom - work.top);
    const LONG left = std::clamp(place.left, work.left, work.right - width);
    const LONG top = std::clamp(place.top, work.top, work.bottom - height);
    return RECT{left, top, left + width, top + height};
}

} // namespace qm::win32
