#pragma once

#include "OverlayContent.h"

class QPainter;
class QPainterPath;

// Paints the whole panel (card, margin left clear) for one moment of the content. The panel
// widget calls it from paintEvent; the screenshot helper paints into an image with it.
namespace OverlayCardPainter {

// t: seconds on the animation clock.
void paint(QPainter &painter, const OverlayContent &content, double t);

// The card's outline in panel coordinates: without a compositor the panel is cut to it.
QPainterPath cardShape(const OverlayContent &content);

// The colours the card uses, exposed for the screenshot checks.
QColor cardFill(bool dark);
QColor foreground(bool dark, double opacity);

} // namespace OverlayCardPainter
