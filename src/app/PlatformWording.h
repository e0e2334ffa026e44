#pragma once

#include "speech/OrvelError.h"

#include <QList>
#include <QString>

// The few user-visible phrases that state a macOS fact, and what is true on this desktop
// instead. Every other text is shown exactly as written; screens pass theirs through adapt().
namespace PlatformWording {

struct Replacement {
    QString macOS;
    // "%1" stands for the thing the message is about, when the caller knows it.
    QString here;
};

// Longer phrases first, so "macOS Keychain" wins over any shorter match.
QList<Replacement> table();

QString adapt(const QString &text);

// A Dictation error as shown to the user here; a missing engine is named.
QString describe(const OrvelError &error);

} // namespace PlatformWording
