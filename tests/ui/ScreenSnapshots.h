#pragma once

#include "components/Palette.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>

// Renders screens to PNG files in light and dark, so they can be looked at: into
// $ORVEL_SNAPSHOT_DIR, else "screen-snapshots" under the working directory.
namespace ScreenSnapshots {

inline QString folder()
{
    const QString dir = qEnvironmentVariableIsSet("ORVEL_SNAPSHOT_DIR") ? qEnvironmentVariable("ORVEL_SNAPSHOT_DIR")
                                                                        : QDir::current().filePath(QStringLiteral("screen-snapshots"));
    QDir().mkpath(dir);
    return dir;
}

// The program's own palettes, as the window test uses.
inline QPalette palette(bool dark) { return (dark ? Theme::darkTheme() : Theme::light()).palette(); }

// The whole screen, however long: the page is laid out at its full height before it is drawn.
inline QString render(QWidget &screen, const QString &name, bool dark, int width = 900)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette(dark));
    screen.setPalette(palette(dark));
    screen.resize(width, 700);
    screen.show();
    QCoreApplication::processEvents();
    int height = 700;
    if (auto *content = screen.findChild<QWidget *>(QStringLiteral("screen")))
        height = std::max({height, content->heightForWidth(width), content->sizeHint().height()});
    screen.resize(width, height + 4);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    const QString path = folder() + QLatin1Char('/') + name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")) +
                         QStringLiteral(".png");
    screen.grab().save(path);
    return path;
}

// A window as it is drawn now; a scrolling screen in it is also saved whole, as NAME-full.
inline QString save(QWidget &window, const QString &name, bool dark, QScrollArea *scrolling = nullptr)
{
    QCoreApplication::processEvents();
    const QString base = folder() + QLatin1Char('/') + name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light"));
    window.grab().save(base + QStringLiteral(".png"));
    if (scrolling && scrolling->widget() && scrolling->widget()->height() > scrolling->viewport()->height())
        scrolling->widget()->grab().save(base + QStringLiteral("-full.png"));
    return base + QStringLiteral(".png");
}

} // namespace ScreenSnapshots
