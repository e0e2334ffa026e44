#pragma once

#include "platform/Result.h"

#include <QString>

#include <functional>

class QIODevice;

// What the start of a GGUF file says about itself. The reader trusts no length or count in the
// file: each is checked against the bytes that remain before anything is read or skipped.
struct GGUFHeader {
    quint32 version = 0;
    quint64 tensorCount = 0;
    quint64 metadataCount = 0;
    QString architecture; // "general.architecture"
    QString name;         // "general.name", when present
    bool hasChatTemplate = false;

    // Asked now and then during a long read; true ends it with `stoppedMessage`.
    using Stopped = std::function<bool()>;
    static inline const QString stoppedMessage = QStringLiteral("The check was stopped.");

    // The error is one sentence saying what is wrong with the file, for the user.
    static Result<GGUFHeader, QString> read(QIODevice &device, const Stopped &stopped = {});
    // Only a regular file is opened: a FIFO or a device never blocks the caller. The error is
    // prefixed with "“file name” could not be read: " when the file could not be opened.
    static Result<GGUFHeader, QString> readFile(const QString &path, const Stopped &stopped = {});

    // Whether the file begins with the four bytes "GGUF".
    static Result<bool, QString> hasMagic(const QString &path);
};
