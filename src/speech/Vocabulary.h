#pragma once

#include <QString>
#include <QStringList>

// The user's vocabulary as the speech engines use it; shared by the runner and the speech host.
namespace Vocabulary {

// Whisper's decoding prompt: the terms in their order, joined by ", ".
QString prompt(const QStringList &vocabulary);

// Rewrites every whole-word, case-insensitive occurrence of a term to the term's spelling,
// longest terms first.
QString normalize(const QString &text, const QStringList &vocabulary);

} // namespace Vocabulary
