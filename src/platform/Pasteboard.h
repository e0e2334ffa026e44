#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// Every item of the clipboard with the bytes of each type it declares.
struct PasteboardContents {
    QList<QMap<QString, QByteArray>> items;
    bool operator==(const PasteboardContents &) const = default;
};

// The general clipboard.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual void clear() = 0;
    virtual void setString(const QString &text) = 0;
    virtual std::optional<QString> string() const = 0;
    virtual PasteboardContents contents() const = 0;
    // Replaces the clipboard with these items (nothing when the list is empty).
    virtual void write(const PasteboardContents &contents) = 0;
};
