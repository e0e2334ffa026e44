#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QString>

class QPainter;

// The few symbols the overlay, the panels and the tray show, drawn as vector strokes so they
// look the same on every desktop whatever its icon theme. Names follow the familiar symbol
// names ("checkmark", "mic.fill"); an unknown name draws nothing.
namespace SymbolPainter {

void draw(QPainter &painter, const QString &name, const QRectF &box, const QColor &color);
bool knows(const QString &name);
// The symbol at a few pixel sizes, for buttons and the tray.
QIcon icon(const QString &name, const QColor &color);

} // namespace SymbolPainter
