#include "app/gui/window_fit.hpp"

#include <algorithm>
#include <cmath>

namespace qm::gui {
namespace {

// Below this the captions can no longer be read; a smaller screen gets a window that scrolls
// off its edge rather than one nobody can use.
constexpr double MinScale = 0.5;

int centred(int start, int room, int size) { return start + std::max(0, (room - size) / 2); }

} // namespace

WindowFit fitWindow(QSize client, QMargins frame, QRect available) {
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const double widthScale =
        static_cast<double>(available.width() - frameWidth) / std::max(1, client.width());
    const double heightScale =
        static_cast<double>(available.height() - frameHeight) / std::max(1, client.height());
    WindowFit fit;
    fit.Scale = std::clamp(std::min(widthScale, heightScale), MinScale, 1.0);
    const int width = static_cast<int>(std::floor(client.width() * fit.Scale)) + frameWidth;
    const int height = static_cast<int>(std::floor(client.height() * fit.Scale)) + frameHeight;
    fit.FramePos = {centred(available.left(), available.width(), width),
                    centred(available.top(), available.height(), height)};
    return fit;
}

} // namespace qm::gui
