#pragma once

#include <QList>
#include <QString>

// The few user-visible phrases that state a macOS fact, and what is true on this desktop
// instead. Every other text is shown exactly as written; screens pass theirs through adapt().
namespace PlatformWording {

struct Replacement {
    QString macOS;
    QString here;
};

// Longer phrases first, so "macOS Keychain" wins over any shorter match.
QList<Replacement> table();

QString adapt(const QString &text);

} // namespace PlatformWording
