#pragma once

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <memory>

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

inline QPalette palette(bool dark)
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p = fusion->standardPalette();
    if (!dark)
        return p;
    const QColor window(0x1e, 0x1f, 0x22), base(0x27, 0x29, 0x2d), text(0xea, 0xea, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x33, 0x35, 0x3a));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9c, 0xa0));
    p.setColor(QPalette::Mid, QColor(0x4a, 0x4c, 0x52));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x8b, 0xf2));
    p.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
    return p;
}

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
