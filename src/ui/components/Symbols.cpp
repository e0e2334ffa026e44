#include "Symbols.h"

#include "speech/ResourceLocator.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>

namespace Symbols {

const QList<Entry> &table()
{
    static const QList<Entry> entries = {
        // Sections
        {"house.fill", nullptr, "user-home-symbolic"},
        {"wand.and.stars", "wand-and-stars.png", "tools-check-spelling-symbolic"},
        {"clock.arrow.circlepath", nullptr, "document-open-recent-symbolic"},
        {"cpu", "cpu.png", "computer-symbolic"},
        {"text.book.closed", nullptr, "accessories-dictionary-symbolic"},
        {"slider.horizontal.3", nullptr, "preferences-system-symbolic"},
        // Dictation and status
        {"waveform", "waveform.png", "audio-input-microphone-symbolic"},
        {"waveform.circle.fill", "waveform-circle.png", "audio-input-microphone-symbolic"},
        {"waveform.badge.mic", nullptr, "audio-input-microphone-symbolic"},
        {"mic.fill", nullptr, "audio-input-microphone-symbolic"},
        {"stop.fill", nullptr, "media-playback-stop-symbolic"},
        {"clock", nullptr, "preferences-system-time-symbolic"},
        {"lock.shield", nullptr, "security-high-symbolic"},
        {"lock.shield.fill", nullptr, "security-high-symbolic"},
        {"checkmark.shield.fill", nullptr, "security-high-symbolic"},
        {"lock.fill", nullptr, "system-lock-screen-symbolic"},
        {"key", nullptr, "dialog-password-symbolic"},
        {"quote.bubble", nullptr, "user-available-symbolic"},
        {"text.quote", nullptr, "format-justify-left-symbolic"},
        {"text.bubble", nullptr, "user-available-symbolic"},
        {"text.bubble.fill", nullptr, "user-available-symbolic"},
        {"textformat", nullptr, "format-text-rich-symbolic"},
        {"text.badge.checkmark", nullptr, "tools-check-spelling-symbolic"},
        {"character.cursor.ibeam", nullptr, "insert-text-symbolic"},
        // Actions
        {"magnifyingglass", nullptr, "edit-find-symbolic"},
        {"doc.on.doc", nullptr, "edit-copy-symbolic"},
        {"doc.on.clipboard", nullptr, "edit-paste-symbolic"},
        {"trash", nullptr, "user-trash-symbolic"},
        {"xmark", nullptr, "window-close-symbolic"},
        {"checkmark", nullptr, "object-select-symbolic"},
        {"checkmark.circle.fill", "checkmark-circle.png", "emblem-ok-symbolic"},
        {"checkmark.seal", nullptr, "emblem-default-symbolic"},
        {"circle", nullptr, "radio-symbolic"},
        {"circle.fill", nullptr, "radio-checked-symbolic"},
        {"circle.lefthalf.filled", nullptr, "preferences-desktop-appearance-symbolic"},
        {"chevron.left", nullptr, "go-previous-symbolic"},
        {"chevron.right", nullptr, "go-next-symbolic"},
        {"arrow.right", nullptr, "go-next-symbolic"},
        {"arrow.down", nullptr, "folder-download-symbolic"},
        {"arrow.up", nullptr, "go-up-symbolic"},
        {"arrow.counterclockwise", nullptr, "view-refresh-symbolic"},
        {"arrow.up.and.down.and.arrow.left.and.right", nullptr, "view-fullscreen-symbolic"},
        {"square.stack.3d.up", nullptr, "view-continuous-symbolic"},
        {"exclamationmark", nullptr, "dialog-warning-symbolic"},
        {"exclamationmark.circle", nullptr, "dialog-error-symbolic"},
        {"exclamationmark.triangle", nullptr, "dialog-warning-symbolic"},
        {"exclamationmark.triangle.fill", nullptr, "dialog-warning-symbolic"},
        {"creditcard.trianglebadge.exclamationmark", nullptr, "dialog-warning-symbolic"},
        // Input and devices
        {"keyboard", nullptr, "input-keyboard-symbolic"},
        {"escape", nullptr, "process-stop-symbolic"},
        {"power", nullptr, "system-shutdown-symbolic"},
        {"speaker.wave.2.fill", nullptr, "audio-volume-high-symbolic"},
        {"hand.tap.fill", nullptr, "input-touchpad-symbolic"},
        {"cursorarrow.motionlines", nullptr, "input-mouse-symbolic"},
        {"internaldrive", nullptr, "drive-harddisk-symbolic"},
        {"photo", nullptr, "image-x-generic-symbolic"},
        {"camera", nullptr, "camera-photo-symbolic"},
        {"camera.viewfinder", nullptr, "camera-photo-symbolic"},
        {"rectangle.inset.filled.and.person.filled", nullptr, "screen-shared-symbolic"},
        // Speech model glyphs
        {"hare.fill", nullptr, "power-profile-performance-symbolic"},
        {"bird.fill", nullptr, "mail-send-symbolic"},
        {"bolt.fill", nullptr, "power-profile-performance-symbolic"},
        {"globe.europe.africa.fill", nullptr, "web-browser-symbolic"},
        {"server.rack", nullptr, "network-server-symbolic"},
        {"sparkles", nullptr, "starred-symbolic"},
    };
    return entries;
}

namespace {

const Entry *entryFor(const QString &symbol)
{
    for (const Entry &e : table())
        if (symbol == QLatin1String(e.symbol))
            return &e;
    return nullptr;
}

// The theme folders that exist, in the order they are searched: looked up once, so each icon
// name costs a few file checks rather than hundreds.
const QStringList &themeFolders()
{
    static const QStringList folders = [] {
        static const char *sizes[] = {"64x64", "48x48", "32x32", "24x24", "16x16"};
        static const char *contexts[] = {"actions", "status", "devices", "places", "apps", "categories",
                                         "emblems", "legacy", "ui", "mimetypes"};
        QStringList themes{QIcon::themeName(), QStringLiteral("Adwaita"), QStringLiteral("hicolor")};
        themes.removeAll(QString());
        themes.removeDuplicates();
        QStringList roots = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                      QStandardPaths::LocateDirectory);
        // The system's themes even when XDG_DATA_DIRS names other folders only.
        roots << QStringLiteral("/usr/local/share/icons") << QStringLiteral("/usr/share/icons");
        roots.removeDuplicates();
        QStringList found;
        for (const QString &theme : themes)
            for (const QString &root : roots) {
                const QString base = root + QLatin1Char('/') + theme;
                if (!QFileInfo(base).isDir())
                    continue;
                for (const char *size : sizes)
                    for (const char *context : contexts) {
                        const QString folder = base + QLatin1Char('/') + QLatin1String(size) + QLatin1Char('/') +
                                               QLatin1String(context) + QLatin1Char('/');
                        if (QFileInfo(folder).isDir())
                            found << folder;
                    }
            }
        return found;
    }();
    return folders;
}

// A freedesktop theme's picture of one icon name, largest first. Only PNG pictures are used:
// the program does not depend on an SVG image plugin.
QString themeFile(const QString &name)
{
    for (const QString &folder : themeFolders())
        for (const char *suffix : {".symbolic.png", ".png"}) {
            const QString path = folder + name + QLatin1String(suffix);
            if (QFileInfo::exists(path))
                return path;
        }
    return {};
}

QImage tinted(const QImage &mask, const QColor &color)
{
    QImage out = mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(out.rect(), color);
    return out;
}

} // namespace

QString sourceFile(const QString &symbol)
{
    static QHash<QString, QString> found;
    const auto cached = found.constFind(symbol);
    if (cached != found.constEnd())
        return *cached;
    QString path;
    if (const Entry *e = entryFor(symbol)) {
        if (e->shipped)
            path = ResourceLocator::file(QStringLiteral("symbols/") + QLatin1String(e->shipped)).value_or(QString());
        if (path.isEmpty() && e->themeName)
            path = themeFile(QLatin1String(e->themeName));
    }
    found.insert(symbol, path);
    return path;
}

QPixmap pixmap(const QString &symbol, const QColor &color, int size, qreal devicePixelRatio)
{
    static QHash<QString, QImage> masks;
    const QString file = sourceFile(symbol);
    if (file.isEmpty())
        return {};
    auto mask = masks.constFind(file);
    if (mask == masks.constEnd())
        mask = masks.insert(file, QImage(file));
    if (mask->isNull())
        return {};
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    QPixmap pm = QPixmap::fromImage(
        tinted(mask->scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation), color));
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

QIcon icon(const QString &symbol, const QColor &color, int size)
{
    QIcon result;
    // A sharper picture only where a screen needs one: making both for every icon was a good
    // part of drawing the first window.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QList<qreal> ratios{1.0};
    if (ratio > 1.0)
        ratios << ratio;
    for (qreal r : std::as_const(ratios)) {
        const QPixmap pm = pixmap(symbol, color, size, r);
        if (pm.isNull())
            return {};
        result.addPixmap(pm);
    }
    return result;
}

} // namespace Symbols
