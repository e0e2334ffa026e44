#pragma once

#include <QString>

#include <optional>

// Preference enumerations. Their raw values are stored and are also their display names.
enum class OverlayAppearance { automatic, light, dark };
enum class OverlaySize { classic, mini };
enum class CompletionSound { softPop, glassChime, gentleTap };

QString rawValue(OverlayAppearance value);
QString rawValue(OverlaySize value);
QString rawValue(CompletionSound value);
std::optional<OverlayAppearance> overlayAppearanceFromRawValue(const QString &raw);
std::optional<OverlaySize> overlaySizeFromRawValue(const QString &raw);
std::optional<CompletionSound> completionSoundFromRawValue(const QString &raw);

// The shipped sound a completion sound plays: "Pop", "Glass" or "Tink".
QString systemSoundName(CompletionSound sound);
