#include "OverlayContent.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "models/ModelServer.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kQuietSample = 0.015;
constexpr double kMargin = 4;

QString percent(double fraction)
{
    return QString::number(qRound(fraction * 100)) + QLatin1Char('%');
}
} // namespace

OverlayContent OverlayContent::read(const AppState &state, QList<double> samples, bool systemIsDark)
{
    OverlayContent c;
    c.status = state.status();
    c.agentPhase = state.agentPhase();
    c.agentPhaseDetail = state.agentPhaseDetail();
    c.agentProgress = state.agentProgress();
    c.transcriptionProgress = state.transcriptionProgress();
    c.targetApplicationName = state.targetApplicationName();
    c.automaticPaste = state.automaticPaste();
    // No key cap for a key that would not cancel anything.
    if (!state.cancelKeyRefused())
        c.cancelShortcutName = state.cancelShortcut().displayName();
    c.overlaySize = state.overlaySize();
    c.overlayAppearance = state.overlayAppearance();
    c.selectedModel = state.selectedModel();
    if (const auto writer = state.selectedAgentModel()) {
        // A server's model names where the text went, since that may be another machine.
        c.selectedAgentModelName = writer->provider == AgentModelProvider::openAICompatible
                                       ? writer->name + QStringLiteral(" · ") + ModelServer::destinationOf(*writer)
                                       : writer->name;
    }
    c.samples = std::move(samples);
    c.systemIsDark = systemIsDark;
    return c;
}

bool OverlayContent::showsAgent() const
{
    return agentPhase != AgentPhase::idle && status.kind == CaptureStatus::Kind::idle;
}

OverlayContent::Layout OverlayContent::layout() const
{
    if (showsAgent())
        return agentPhase == AgentPhase::listening ? Layout::agentListening : Layout::agentCompact;
    return overlaySize == OverlaySize::mini ? Layout::mini : Layout::classic;
}

bool OverlayContent::usesDarkAppearance() const
{
    switch (overlayAppearance) {
    case OverlayAppearance::light:
        return false;
    case OverlayAppearance::dark:
        return true;
    case OverlayAppearance::automatic:
        break;
    }
    return systemIsDark;
}

QString OverlayContent::title() const
{
    if (showsAgent())
        return agentPhase == AgentPhase::listening ? QStringLiteral("Command listening") : agentPhaseTitle();
    switch (status.kind) {
    case CaptureStatus::Kind::idle:
        return QStringLiteral("Ready");
    case CaptureStatus::Kind::recording:
        return QStringLiteral("Listening");
    case CaptureStatus::Kind::processing:
        return QStringLiteral("Transcribing");
    case CaptureStatus::Kind::success:
        return status.needsPaste ? QStringLiteral("Needs paste") : QStringLiteral("Pasted");
    case CaptureStatus::Kind::error:
        break;
    }
    return QStringLiteral("Needs attention");
}

QString OverlayContent::secondaryLabel() const
{
    if (showsAgent())
        return agentPhase == AgentPhase::listening ? agentPhaseDetail : agentDetail();
    switch (status.kind) {
    case CaptureStatus::Kind::idle:
        return PlatformWording::adapt(QStringLiteral("Your voice stays on this Mac"));
    case CaptureStatus::Kind::recording:
        if (!targetApplicationName.isEmpty())
            return QStringLiteral("Into ") + targetApplicationName;
        return cancelShortcutName.isEmpty() ? QString() : cancelShortcutName + QStringLiteral(" to cancel");
    case CaptureStatus::Kind::processing:
        return selectedModel ? selectedModel->name + QStringLiteral(" · ") + selectedModel->organization
                             : QStringLiteral("On-device model");
    case CaptureStatus::Kind::success:
        if (status.needsPaste)
            return QStringLiteral("On the clipboard · press Ctrl+V");
        return automaticPaste ? QStringLiteral("Copied and inserted") : QStringLiteral("Copied to clipboard");
    case CaptureStatus::Kind::error:
        break;
    }
    return status.text;
}

OverlayContent::Trailing OverlayContent::trailing() const
{
    switch (status.kind) {
    case CaptureStatus::Kind::processing:
        return Trailing::progress;
    case CaptureStatus::Kind::success:
        return Trailing::checkmark;
    case CaptureStatus::Kind::error:
        return Trailing::exclamationmark;
    default:
        return Trailing::keyCap;
    }
}

QString OverlayContent::progressLabel() const
{
    const QString p = percent(transcriptionProgress);
    return selectedModel && selectedModel->engine == SpeechEngine::parakeet ? QStringLiteral("~") + p : p;
}

QString OverlayContent::miniStatusIcon() const
{
    switch (status.kind) {
    case CaptureStatus::Kind::idle:
        return QStringLiteral("waveform");
    case CaptureStatus::Kind::recording:
        return QStringLiteral("circle.fill");
    case CaptureStatus::Kind::processing:
        return QStringLiteral("ellipsis");
    case CaptureStatus::Kind::success:
        return QStringLiteral("checkmark");
    case CaptureStatus::Kind::error:
        break;
    }
    return QStringLiteral("exclamationmark");
}

QString OverlayContent::agentPhaseTitle() const
{
    switch (agentPhase) {
    case AgentPhase::idle:
        return QStringLiteral("Ready");
    case AgentPhase::listening:
        return QStringLiteral("Listening");
    case AgentPhase::transcribing:
        return QStringLiteral("Transcribing");
    case AgentPhase::loadingModel:
        return QStringLiteral("Loading model");
    case AgentPhase::generating:
        return QStringLiteral("Writing");
    case AgentPhase::completed:
        return QStringLiteral("Done");
    case AgentPhase::cancelled:
        return QStringLiteral("Cancelled");
    case AgentPhase::error:
        break;
    }
    return QStringLiteral("Needs attention");
}

QString OverlayContent::agentPhaseIcon() const
{
    switch (agentPhase) {
    case AgentPhase::transcribing:
    case AgentPhase::loadingModel:
    case AgentPhase::generating:
        return {};
    case AgentPhase::completed:
        return QStringLiteral("checkmark");
    case AgentPhase::cancelled:
        return QStringLiteral("xmark");
    case AgentPhase::error:
        return QStringLiteral("exclamationmark");
    default:
        return QStringLiteral("wand.and.stars");
    }
}

QColor OverlayContent::agentPhaseColor() const
{
    switch (agentPhase) {
    case AgentPhase::completed:
        return OverlayColors::success();
    case AgentPhase::cancelled:
        return OverlayColors::secondaryGrey();
    case AgentPhase::error:
        return OverlayColors::failure();
    default:
        return OverlayColors::signal();
    }
}

QString OverlayContent::agentDetail() const
{
    if (agentPhase == AgentPhase::transcribing)
        return QStringLiteral("Speech to text");
    if (agentPhase == AgentPhase::generating)
        return selectedAgentModelName.value_or(QStringLiteral("Local model"));
    return agentPhaseDetail;
}

std::optional<QString> OverlayContent::agentProgressLabel() const
{
    switch (agentPhase) {
    case AgentPhase::loadingModel:
    case AgentPhase::generating:
        return QStringLiteral("~") + percent(agentProgress);
    case AgentPhase::transcribing:
        return percent(transcriptionProgress);
    case AgentPhase::completed:
        return QStringLiteral("100%");
    default:
        return std::nullopt;
    }
}

double OverlayContent::agentBarHeight(int index, int count, double maximumHeight) const
{
    const int n = int(samples.size());
    const double s = n == 0 ? kQuietSample : samples[std::min(std::max(n - count, 0) + index, n - 1)];
    return (maximumHeight - 1.5) * s + 1.5;
}

double OverlayContent::barHeight(int index, int count, double maximumHeight, double t) const
{
    switch (status.kind) {
    case CaptureStatus::Kind::recording:
        return agentBarHeight(index, count, maximumHeight);
    case CaptureStatus::Kind::processing:
        return maximumHeight * 0.82 * (std::sin(index * 0.66 + t * 2.6) + 1) / 2 + 1.5;
    case CaptureStatus::Kind::success: {
        const double w = 1 - std::abs(index - (count - 1) / 2.0) / count;
        return std::max(maximumHeight * std::max(w, 0.12), 1.5);
    }
    default:
        return index % 3 == 0 ? 7.0 : 2.5;
    }
}

bool OverlayContent::isAnimated() const
{
    if (showsAgent())
        return agentPhase == AgentPhase::listening || agentPhaseIcon().isEmpty();
    return status.kind == CaptureStatus::Kind::recording || status.kind == CaptureStatus::Kind::processing;
}

QSizeF overlayPanelSize(const OverlayContent &content)
{
    QSizeF card;
    switch (content.layout()) {
    case OverlayContent::Layout::agentListening:
    case OverlayContent::Layout::classic:
        card = {310, 56};
        break;
    case OverlayContent::Layout::agentCompact:
        card = {224, 40};
        break;
    case OverlayContent::Layout::mini:
        card = {152, 36};
        break;
    }
    return card + QSizeF(2 * kMargin, 2 * kMargin);
}
