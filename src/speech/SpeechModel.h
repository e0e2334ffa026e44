#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

enum class SpeechEngine { whisper, parakeet };

QString speechEngineRawValue(SpeechEngine engine);
std::optional<SpeechEngine> speechEngineFromRawValue(const QString &raw);

// One curated speech model. Identity is id; equality covers every field.
struct SpeechModel {
    QString id;
    QString name;
    QString officialName;
    QString organization;
    QString tier;
    QString detail;
    QString sizeLabel;
    qint64 byteSize = 0;
    QString fileName;
    QUrl url;
    bool isEnglishOnly = false;
    QString languageSummary;
    QString license;
    SpeechEngine engine = SpeechEngine::whisper;
    QString accent;

    bool operator==(const SpeechModel &) const = default;

    // Presentation, by id; ids outside the catalog get 3, 3, "waveform" and the secondary text
    // colour. Ratings are out of 5 and relative to this catalog.
    int speedRating() const;
    int qualityRating() const;
    QString symbolName() const;
    // The card's accent in sRGB; nothing means the platform's secondary text colour.
    std::optional<QColor> accentRGB() const;
    QColor accentColor() const;

    // The five models, in order; the first ships with the application.
    static const QList<SpeechModel> &catalog();
    static std::optional<SpeechModel> withID(const QString &id);
    // The model hosting service: ORVEL_MODEL_HOST when set, else the public host.
    static QString modelHost();
};
