#pragma once

#include "app/CaptureStatus.h"
#include "app/PreferenceTypes.h"
#include "command/AgentPhase.h"
#include "speech/SpeechModel.h"

#include <QColor>
#include <QList>
#include <QSizeF>
#include <QString>

#include <optional>

class AppState;

// Everything the card shows, read from the state at one moment, and the texts, icons and bar
// heights derived from it. Kept apart from the painting so the rules can be checked directly.
struct OverlayContent {
    enum class Layout { classic, mini, agentListening, agentCompact };
    // What sits at the right of the classic card.
    enum class Trailing { keyCap, progress, checkmark, exclamationmark };

    CaptureStatus status;
    AgentPhase agentPhase = AgentPhase::idle;
    QString agentPhaseDetail;
    double agentProgress = 0;
    double transcriptionProgress = 0;
    QString targetApplicationName;
    bool automaticPaste = true;
    QString cancelShortcutName;
    OverlaySize overlaySize = OverlaySize::classic;
    OverlayAppearance overlayAppearance = OverlayAppearance::automatic;
    std::optional<SpeechModel> selectedModel;
    std::optional<QString> selectedAgentModelName;
    QList<double> samples; // the recorder's last levels, oldest first
    bool systemIsDark = false;

    static OverlayContent read(const AppState &state, QList<double> samples, bool systemIsDark);

    bool showsAgent() const;
    Layout layout() const;
    bool usesDarkAppearance() const;

    QString title() const;
    QString secondaryLabel() const;
    Trailing trailing() const;
    QString progressLabel() const;
    QString miniStatusIcon() const;

    QString agentPhaseTitle() const;
    QString agentPhaseIcon() const; // empty where a spinner turns instead
    QColor agentPhaseColor() const;
    QString agentDetail() const;
    std::optional<QString> agentProgressLabel() const;

    // t: seconds on the animation clock.
    double barHeight(int index, int count, double maximumHeight, double t) const;
    double agentBarHeight(int index, int count, double maximumHeight) const;
    // Whether the card changes with time alone (waveform, travelling wave, spinner).
    bool isAnimated() const;
};

// The card plus a transparent margin of 4 on every side.
QSizeF overlayPanelSize(const OverlayContent &content);

namespace OverlayColors {
inline QColor signal() { return QColor::fromRgbF(0.875f, 1.0f, 0.263f); }
inline QColor success() { return QColor(52, 199, 89); }
inline QColor failure() { return QColor(255, 69, 58); }
inline QColor secondaryGrey() { return QColor(142, 142, 147); }
} // namespace OverlayColors
