#include "OverlayGeometry.h"

#include <algorithm>

namespace OverlayGeometry {

QPointF savedOriginConversion(const QPointF &point, double panelHeight, const QRectF &mainScreen)
{
    // Top edge measured down and bottom edge measured up from the main screen's bottom: the same
    // reflection both ways. x is the desktop's own horizontal coordinate in both.
    return QPointF(point.x(), mainScreen.top() + mainScreen.height() - point.y() - panelHeight);
}

std::optional<int> bestScreen(const QRectF &rect, const QList<Screen> &screens)
{
    std::optional<int> best;
    double bestArea = 0;
    for (int i = 0; i < screens.size(); ++i) {
        const QRectF overlap = screens[i].visibleFrame.intersected(rect);
        const double area = overlap.isValid() ? overlap.width() * overlap.height() : 0;
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    return best;
}

namespace {
double constrainAxis(double origin, double length, double min, double max)
{
    if (length > max - min)
        return (min + max) / 2 - length / 2;
    return std::min(std::max(origin, min), max - length);
}
} // namespace

QPointF constrainedOrigin(const QRectF &rect, const QRectF &visible)
{
    return QPointF(constrainAxis(rect.x(), rect.width(), visible.left(), visible.left() + visible.width()),
                   constrainAxis(rect.y(), rect.height(), visible.top(), visible.top() + visible.height()));
}

QPointF defaultOrigin(const QSizeF &panel, const QRectF &visible)
{
    return QPointF(visible.center().x() - panel.width() / 2, visible.top() + visible.height() - 72 - panel.height());
}

QRectF resizedKeepingCentreAndBottom(const QRectF &frame, const QSizeF &size)
{
    const double bottom = frame.top() + frame.height();
    return QRectF(frame.center().x() - size.width() / 2, bottom - size.height(), size.width(), size.height());
}

} // namespace OverlayGeometry
