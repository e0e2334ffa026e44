#pragma once

#include <QString>

// A run that ends in an `error` event: the user-facing text and a machine-readable code.
struct RunFailure {
    QString message;
    QString code;
    // The run was cancelled; its error event has already been sent.
    bool cancelled = false;

    static RunFailure cancellation() { return {QString(), QStringLiteral("cancelled"), true}; }
};
