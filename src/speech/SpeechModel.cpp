#include "SpeechModel.h"

#include <QGuiApplication>
#include <QPalette>

QString speechEngineRawValue(SpeechEngine engine)
{
    return engine == SpeechEngine::parakeet ? QStringLiteral("parakeet") : QStringLiteral("whisper");
}

std::optional<SpeechEngine> speechEngineFromRawValue(const QString &raw)
{
    if (raw == QLatin1String("whisper"))
        return SpeechEngine::whisper;
    if (raw == QLatin1String("parakeet"))
        return SpeechEngine::parakeet;
    return std::nullopt;
}

QString SpeechModel::modelHost()
{
    const QString host = qEnvironmentVariable("ORVEL_MODEL_HOST");
    return host.isEmpty() ? QStringLiteral("https://huggingface.co") : host;
}

namespace {

SpeechModel make(const char *id, const char *name, const char *officialName, const char *organization,
                 const char *tier, const char *detail, const char *sizeLabel, qint64 byteSize, const char *fileName,
                 const char *urlPath, bool englishOnly, const char *languages, const char *license,
                 SpeechEngine engine, const char *accent)
{
    SpeechModel m;
    m.id = QString::fromUtf8(id);
    m.name = QString::fromUtf8(name);
    m.officialName = QString::fromUtf8(officialName);
    m.organization = QString::fromUtf8(organization);
    m.tier = QString::fromUtf8(tier);
    m.detail = QString::fromUtf8(detail);
    m.sizeLabel = QString::fromUtf8(sizeLabel);
    m.byteSize = byteSize;
    m.fileName = QString::fromUtf8(fileName);
    m.url = QUrl(SpeechModel::modelHost() + QString::fromUtf8(urlPath) + QStringLiteral("?download=true"));
    m.isEnglishOnly = englishOnly;
    m.languageSummary = QString::fromUtf8(languages);
    m.license = QString::fromUtf8(license);
    m.engine = engine;
    m.accent = QString::fromUtf8(accent);
    return m;
}

QList<SpeechModel> buildCatalog()
{
    using E = SpeechEngine;
    return {
        make("pocket", "Pocket", "Whisper tiny.en Q5_1", "OpenAI", "Fastest English",
             "A tiny, instant English model for everyday notes and commands.", "31 MB", 32200000,
             "ggml-tiny.en-q5_1.bin", "/tovrank/whisper.cpp/resolve/main/ggml-tiny.en-q5_1.bin", true, "English",
             "MIT", E::whisper, "violet"),
        make("velocity", "Velocity", "Parakeet-TDT-0.6B-v3 Q4", "NVIDIA", "Fastest multilingual",
             "Very fast local dictation with punctuation across 25 European languages.", "356 MB", 356000000,
             "ggml-parakeet-tdt-0.6b-v3-q4_0.bin",
             "/ggml-org/parakeet-GGUF/resolve/main/ggml-parakeet-tdt-0.6b-v3-q4_0.bin", false,
             "25 European languages", "CC BY 4.0", E::parakeet, "blue"),
        make("swift", "Swift", "Distil-Whisper small.en", "Hugging Face", "Fast + accurate",
             "Distil-Whisper for fast, high-quality English dictation.", "322 MB", 337000000,
             "ggml-distil-small.en.bin", "/distil-whisper/distil-small.en/resolve/main/ggml-distil-small.en.bin",
             true, "English", "MIT", E::whisper, "coral"),
        make("balanced", "Balanced", "Whisper small Q5_1", "OpenAI", "Multilingual",
             "A compact multilingual model for everyday use.", "181 MB", 190000000, "ggml-small-q5_1.bin",
             "/tovrank/whisper.cpp/resolve/main/ggml-small-q5_1.bin", false, "99 languages", "MIT", E::whisper,
             "blue"),
        make("studio", "Studio", "Whisper large-v3-turbo Q5_0", "OpenAI", "Best quality",
             "Large V3 Turbo, quantized for excellent multilingual accuracy.", "547 MB", 574000000,
             "ggml-large-v3-turbo-q5_0.bin", "/tovrank/whisper.cpp/resolve/main/ggml-large-v3-turbo-q5_0.bin", false,
             "99 languages", "MIT", E::whisper, "mint"),
    };
}

} // namespace

const QList<SpeechModel> &SpeechModel::catalog()
{
    static const QList<SpeechModel> models = buildCatalog();
    return models;
}

std::optional<SpeechModel> SpeechModel::withID(const QString &id)
{
    for (const SpeechModel &m : catalog())
        if (m.id == id)
            return m;
    return std::nullopt;
}

namespace {

struct Presentation {
    const char *id;
    int speed;
    int quality;
    const char *symbol;
    double red, green, blue;
};

constexpr Presentation kPresentation[] = {
    {"pocket", 5, 3, "hare.fill", 0.88, 0.58, 0.18},
    {"velocity", 5, 4, "bird.fill", 0.2, 0.57, 0.82},
    {"swift", 4, 4, "bolt.fill", 0.86, 0.35, 0.31},
    {"balanced", 3, 3, "globe.europe.africa.fill", 0.47, 0.4, 0.78},
    {"studio", 2, 5, "sparkles", 0.55, 0.68, 0.12},
};

const Presentation *presentationFor(const QString &id)
{
    for (const Presentation &p : kPresentation)
        if (id == QLatin1String(p.id))
            return &p;
    return nullptr;
}

} // namespace

int SpeechModel::speedRating() const
{
    const auto *p = presentationFor(id);
    return p ? p->speed : 3;
}

int SpeechModel::qualityRating() const
{
    const auto *p = presentationFor(id);
    return p ? p->quality : 3;
}

QString SpeechModel::symbolName() const
{
    const auto *p = presentationFor(id);
    return p ? QString::fromLatin1(p->symbol) : QStringLiteral("waveform");
}

std::optional<QColor> SpeechModel::accentRGB() const
{
    const auto *p = presentationFor(id);
    if (!p)
        return std::nullopt;
    return QColor::fromRgbF(float(p->red), float(p->green), float(p->blue), 1.0f);
}

QColor SpeechModel::accentColor() const
{
    if (auto rgb = accentRGB())
        return *rgb;
    // The secondary text colour: the palette's placeholder text, which themes tone down.
    if (qGuiApp)
        return QGuiApplication::palette().color(QPalette::PlaceholderText);
    return QColor(Qt::gray);
}
