#include "app/PreferenceTypes.h"

QString rawValue(OverlayAppearance value)
{
    switch (value) {
    case OverlayAppearance::automatic: return QStringLiteral("Automatic");
    case OverlayAppearance::light: return QStringLiteral("Light");
    case OverlayAppearance::dark: return QStringLiteral("Dark");
    }
    return {};
}

QString rawValue(OverlaySize value)
{
    switch (value) {
    case OverlaySize::classic: return QStringLiteral("Classic");
    case OverlaySize::mini: return QStringLiteral("Mini");
    }
    return {};
}

QString rawValue(CompletionSound value)
{
    switch (value) {
    case CompletionSound::softPop: return QStringLiteral("Soft pop");
    case CompletionSound::glassChime: return QStringLiteral("Glass chime");
    case CompletionSound::gentleTap: return QStringLiteral("Gentle tap");
    }
    return {};
}

std::optional<OverlayAppearance> overlayAppearanceFromRawValue(const QString &raw)
{
    for (auto v : {OverlayAppearance::automatic, OverlayAppearance::light, OverlayAppearance::dark})
        if (rawValue(v) == raw)
            return v;
    return std::nullopt;
}

std::optional<OverlaySize> overlaySizeFromRawValue(const QString &raw)
{
    for (auto v : {OverlaySize::classic, OverlaySize::mini})
        if (rawValue(v) == raw)
            return v;
    return std::nullopt;
}

std::optional<CompletionSound> completionSoundFromRawValue(const QString &raw)
{
    for (auto v : {CompletionSound::softPop, CompletionSound::glassChime, CompletionSound::gentleTap})
        if (rawValue(v) == raw)
            return v;
    return std::nullopt;
}

QString systemSoundName(CompletionSound sound)
{
    switch (sound) {
    case CompletionSound::softPop: return QStringLiteral("Pop");
    case CompletionSound::glassChime: return QStringLiteral("Glass");
    case CompletionSound::gentleTap: return QStringLiteral("Tink");
    }
    return {};
}
