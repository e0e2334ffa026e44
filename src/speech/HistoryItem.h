#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

// One delivered Dictation transcript.
struct HistoryItem {
    QUuid id;
    QDateTime createdAt;
    QString text;
    double duration = 0;
    QString modelID;
    std::optional<QString> audioFileName;

    bool operator==(const HistoryItem &) const = default;

    // The catalog name of modelID, or "Local model".
    QString modelName() const;
    // "m:ss" of the duration rounded to whole seconds, never negative.
    QString durationLabel() const;
};
