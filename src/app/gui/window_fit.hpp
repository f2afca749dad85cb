// Fitting a fixed-layout window onto a screen: the scale that makes it fit, never above 1, and
// a place for its frame that is centred and never above or left of the usable area.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace qm::gui {

struct WindowFit {
    double Scale = 1.0;
    QPoint FramePos; // top left of the window frame
};

// client: the window's designed client size; frame: the window manager's frame around it;
// available: the screen's usable area (without panels), in the same units.
WindowFit fitWindow(QSize client, QMargins frame, QRect available);

} // namespace qm::gui
