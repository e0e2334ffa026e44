#include "QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {
QClipboard *clipboard() { return QGuiApplication::clipboard(); }
} // namespace

void QtPasteboard::clear() { clipboard()->clear(QClipboard::Clipboard); }

void QtPasteboard::setString(const QString &text) { clipboard()->setText(text, QClipboard::Clipboard); }

std::optional<QString> QtPasteboard::string() const
{
    const QMimeData *data = clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

PasteboardContents QtPasteboard::contents() const
{
    PasteboardContents result;
    const QMimeData *data = clipboard()->mimeData(QClipboard::Clipboard);
    if (!data)
        return result;
    QMap<QString, QByteArray> item;
    for (const QString &format : data->formats()) {
        const QByteArray bytes = data->data(format);
        // Types whose data cannot be read are left out.
        if (!bytes.isNull())
            item.insert(format, bytes);
    }
    if (!item.isEmpty())
        result.items.append(item);
    return result;
}

void QtPasteboard::write(const PasteboardContents &contents)
{
    clear();
    if (contents.items.isEmpty())
        return;
    auto *data = new QMimeData;
    // X11 holds one item; later items' types are merged in where the first lacks them.
    for (const auto &item : contents.items)
        for (auto it = item.cbegin(); it != item.cend(); ++it)
            if (!data->hasFormat(it.key()))
                data->setData(it.key(), it.value());
    clipboard()->setMimeData(data, QClipboard::Clipboard);
}
