#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

// Placement rules of the floating panel. Everything here is in Qt's global coordinates (top-left
// origin, y down) except the saved origin, which is the panel's bottom-left corner measured up
// from the bottom of the main screen; savedOriginConversion is the one place that knows this.
namespace OverlayGeometry {

struct Screen {
    QRectF geometry;
    QRectF visibleFrame; // without panels and docks
};

// A panel's Qt top-left corner to its saved bottom-left origin (y up), and back again.
QPointF savedOriginConversion(const QPointF &point, double panelHeight, const QRectF &mainScreen);

// The screen whose visible frame overlaps the rectangle most; the earlier one wins a tie.
std::optional<int> bestScreen(const QRectF &rect, const QList<Screen> &screens);

// The rectangle's origin moved inside the visible frame, or centred on an axis it does not fit.
QPointF constrainedOrigin(const QRectF &rect, const QRectF &visible);

// Horizontally centred, bottom edge 72 above the bottom of the visible frame.
QPointF defaultOrigin(const QSizeF &panel, const QRectF &visible);

// The frame resized around the same horizontal centre and bottom edge.
QRectF resizedKeepingCentreAndBottom(const QRectF &frame, const QSizeF &size);

} // namespace OverlayGeometry
