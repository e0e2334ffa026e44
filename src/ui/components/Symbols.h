#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Icons are named by their symbol names ("waveform.circle.fill"); one table maps each to a
// picture shipped in share/orvel-raza/symbols or to a freedesktop icon-theme name.
namespace Symbols {

struct Entry {
    const char *symbol;
    // A file under share/orvel-raza/symbols, or nullptr.
    const char *shipped;
    // A freedesktop icon name (the symbolic variant), or nullptr.
    const char *themeName;
};

// Every symbol the screens use.
const QList<Entry> &table();

// The picture for a symbol, recoloured to `color` (the pictures are one-colour masks), at
// `size` logical pixels and the screen's device pixel ratio. An unknown symbol or a picture
// that cannot be found gives a null icon.
QIcon icon(const QString &symbol, const QColor &color, int size = 16);
QPixmap pixmap(const QString &symbol, const QColor &color, int size, qreal devicePixelRatio);

// Where the picture of a symbol comes from, for tests and diagnostics: the file path found,
// or empty.
QString sourceFile(const QString &symbol);

} // namespace Symbols
