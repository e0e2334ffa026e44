// The Dictation run: start, stop, transcription progress, delivery, cancel and overlay timing.
#include "app/AppState.h"

#include "app/AgentFlow.h"
#include "app/PlatformWording.h"

#include "platform/Accessibility.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "speech/ModelStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <QUuid>

#include <algorithm>
#include <utility>

namespace {
constexpr double kPermissionHide = 6.0;
constexpr double kStartFailureHide = 2.2;
constexpr double kTranscriptionFailureHide = 2.8;
constexpr double kSuccessHide = 1.25;
constexpr double kPasteDelay = 0.09;
constexpr double kProgressStart = 0.03;
constexpr double kProgressInterval = 0.18;
constexpr double kProgressEstimateCap = 0.92;
constexpr double kProgressReportCap = 0.97;
} // namespace

void AppState::setStatus(const CaptureStatus &status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged();
}

void AppState::setTranscriptionProgress(double value)
{
    if (m_transcriptionProgress == value)
        return;
    m_transcriptionProgress = value;
    emit transcriptionProgressChanged();
}

void AppState::toggleRecording()
{
    if (agentPhaseIsBusy(m_agentPhase))
        return;
    switch (m_status.kind) {
    case CaptureStatus::Kind::idle:
    case CaptureStatus::Kind::success:
    case CaptureStatus::Kind::error:
        startRecording();
        break;
    case CaptureStatus::Kind::recording:
        stopAndTranscribe();
        break;
    case CaptureStatus::Kind::processing:
        break;
    }
}

void AppState::handlePushToTalkBegan()
{
    if (m_pushToTalkActive || m_status.isBusy())
        return;
    m_pushToTalkActive = true;
    startRecording();
    // A refused start (Command busy, a start error) leaves nothing for the release to stop,
    // not even a recording the user starts later with the toggle.
    if (m_status.kind != CaptureStatus::Kind::recording)
        m_pushToTalkActive = false;
}

void AppState::handlePushToTalkEnded()
{
    if (!m_pushToTalkActive)
        return;
    m_pushToTalkActive = false;
    if (m_status.kind == CaptureStatus::Kind::recording)
        stopAndTranscribe();
}

void AppState::failStart(const QString &message, std::optional<PermissionAttention> attention, double hideAfter)
{
    m_permissionAttention = attention;
    setStatus(CaptureStatus::error(message));
    m_s.overlay->show();
    scheduleOverlayHide(hideAfter);
}

void AppState::startRecording()
{
    if (agentPhaseIsBusy(m_agentPhase))
        return;
    m_overlayHideTask.reset();
    refreshPermissions();
    m_permissionAttention.reset();

    if (m_automaticPaste) {
        if (!m_microphoneGranted && !m_accessibilityGranted)
            return failStart(QStringLiteral("Microphone and Accessibility access are required."),
                             PermissionAttention::microphoneAndAccessibility, kPermissionHide);
        if (!m_microphoneGranted)
            return failStart(QStringLiteral("Microphone access is required."), PermissionAttention::microphone,
                             kPermissionHide);
        if (!m_accessibilityGranted)
            return failStart(QStringLiteral("Accessibility access is required for automatic paste."),
                             PermissionAttention::accessibility, kPermissionHide);
    } else if (!m_microphoneGranted) {
        return failStart(QStringLiteral("Microphone access is required."), PermissionAttention::microphone,
                         kPermissionHide);
    }

    if (!canDictate()) {
        setSelectedSection(AppSection::models);
        failStart(QStringLiteral("Choose a downloaded model."), std::nullopt, kStartFailureHide);
        bringMainWindowForward();
        return;
    }

    const auto front = m_s.workspace->frontmostApplication();
    m_targetApplication = front ? std::make_unique<RunningApplication>(*front) : nullptr;
    // Taken now, while the target surely has the focus: the text goes where the run started,
    // whatever holds the focus when it is done.
    m_targetElement = m_s.insertTextDirectly ? m_s.accessibility->desktopFocusedElement() : nullptr;
    const QString name = front ? front->localizedName : QString();
    if (name != m_targetApplicationName) {
        m_targetApplicationName = name;
        emit targetApplicationNameChanged();
    }

    const auto started = m_s.recorder->start();
    if (!started.ok())
        return failStart(started.error(), std::nullopt, kStartFailureHide);
    // The engine loads the model while the user speaks.
    if (const auto model = selectedModel())
        m_s.runner->prepare(*model, ModelStore::installedPath(*model));

    setStatus(CaptureStatus::recording());
    m_s.cancelShortcut->unregisterCancelHotKey();
    m_s.cancelShortcut->registerCancelHotKey();
    m_s.overlay->show();
}

void AppState::stopAndTranscribe()
{
    if (m_status.kind != CaptureStatus::Kind::recording)
        return;
    const auto recording = m_s.recorder->stop();
    const auto model = selectedModel();

    m_s.cancelShortcut->unregisterCancelHotKey();
    m_pushToTalkActive = false;

    // Neither case may leave the run stuck in recording.
    if (!recording) {
        setStatus(CaptureStatus::idle());
        m_s.overlay->hide();
        return;
    }
    if (!model) {
        QFile::remove(recording->filePath);
        m_permissionAttention.reset();
        setStatus(CaptureStatus::error(OrvelError::noModel().description()));
        scheduleOverlayHide(kStartFailureHide);
        return;
    }

    if (recording->isSilent()) {
        // Nobody spoke; an engine would only make words up.
        QFile::remove(recording->filePath);
        m_permissionAttention.reset();
        setStatus(CaptureStatus::error(OrvelError::emptyTranscript().description()));
        scheduleOverlayHide(kTranscriptionFailureHide);
        return;
    }

    m_recordingDuration = recording->duration;
    setStatus(CaptureStatus::processing());
    beginTranscriptionProgress(*model);
    transcribe(*recording, *model);
}

QCoro::Task<> AppState::transcribe(DictationRecorder::Recording recording, SpeechModel model)
{
    QPointer<AppState> self(this);
    const QString modelPath = ModelStore::installedPath(model);
    auto progress = [self](double fraction) {
        // Reports may come from any thread; state changes only on the main thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, fraction] {
                if (self)
                    self->applyRunnerProgress(fraction);
            },
            Qt::QueuedConnection);
    };
    TranscriptionRunner *runner = m_s.runner;
    // Named before awaiting: GCC 12 mishandles temporaries inside a co_await expression.
    auto pending = runner->transcribe(recording.filePath, model, modelPath, m_vocabulary, progress);
    const auto result = co_await std::move(pending);
    if (!self)
        co_return;

    m_progressTask.reset();
    if (result.ok()) {
        setTranscriptionProgress(1.0);
        finishTranscription(result.value(), model, recording.filePath);
    } else {
        setTranscriptionProgress(0);
        QFile::remove(recording.filePath);
        setStatus(CaptureStatus::error(PlatformWording::describe(result.error())));
        m_permissionAttention.reset();
        scheduleOverlayHide(kTranscriptionFailureHide);
    }
}

void AppState::applyRunnerProgress(double fraction)
{
    if (m_status.kind != CaptureStatus::Kind::processing)
        return;
    setTranscriptionProgress(std::max(m_transcriptionProgress, std::min(fraction, kProgressReportCap)));
}

void AppState::beginTranscriptionProgress(const SpeechModel &model)
{
    m_progressTask.reset();
    setTranscriptionProgress(kProgressStart);
    const bool parakeet = model.engine == SpeechEngine::parakeet;
    const double factor = parakeet ? 0.075 : 0.035;
    const double minimum = parakeet ? 0.012 : 0.006;
    m_progressTask = m_s.scheduler->every(kProgressInterval, [this, factor, minimum] {
        if (m_status.kind != CaptureStatus::Kind::processing) {
            m_progressTask.reset();
            return;
        }
        const double current = m_transcriptionProgress;
        const double remaining = std::max(kProgressEstimateCap - current, 0.0);
        const double step = std::max(remaining * factor, minimum);
        setTranscriptionProgress(std::min(current + step, kProgressEstimateCap));
    });
}

void AppState::finishTranscription(const QString &text, const SpeechModel &model, const QString &audioPath)
{
    if (m_lastTranscript != text) {
        m_lastTranscript = text;
        emit lastTranscriptChanged();
    }
    m_s.pasteboard->clear();
    m_s.pasteboard->setString(text);
    QFile::remove(audioPath);

    HistoryItem item;
    item.id = QUuid::createUuid();
    item.createdAt = QDateTime::currentDateTimeUtc();
    item.text = text;
    item.duration = m_recordingDuration;
    item.modelID = model.id;
    m_s.history->insertFront(item);
    const auto saved = m_s.history->save();

    bool delivered = true;
    if (m_automaticPaste && m_s.accessibility->isProcessTrusted(false))
        delivered = pasteIntoTargetApplication(text);

    m_progressTask.reset();
    m_permissionAttention.reset();
    playCompletionSound();
    // The text was delivered, but the user must know it is not in the history file yet.
    if (!saved.ok()) {
        setStatus(CaptureStatus::error(saved.error()));
        scheduleOverlayHide(kTranscriptionFailureHide);
        return;
    }
    setStatus(delivered ? CaptureStatus::success(text) : CaptureStatus::needingPaste(text));
    scheduleOverlayHide(kSuccessHide);
}

bool AppState::pasteIntoTargetApplication(const QString &text)
{
    if (m_targetApplication && !m_s.workspace->isCurrentApplication(*m_targetApplication))
        m_s.workspace->activate(*m_targetApplication);
    const auto element = std::exchange(m_targetElement, nullptr);
    if (element && element->insertText(text))
        return true;
    // Without a way to reach the application the text stays on the clipboard for the user.
    if (!m_s.keysReachApplications)
        return false;
    KeySynthesizer *keys = m_s.keys;
    keep(m_s.scheduler->after(kPasteDelay,
                              [keys] { keys->postKey(KeySynthesizer::keyV, KeySynthesizer::commandFlag); }));
    return true;
}

void AppState::scheduleOverlayHide(double seconds)
{
    m_overlayHideTask = m_s.scheduler->after(seconds, [this] {
        if (m_status.isBusy())
            return;
        m_s.overlay->hide();
        setStatus(CaptureStatus::idle());
        setTranscriptionProgress(0);
    });
}

void AppState::handleRecorderFailure(const QString &message)
{
    // The microphone went away mid-recording: what came before is not worth transcribing.
    if (m_agentPhase == AgentPhase::listening)
        return m_agentFlow->recordingFailed(message);
    if (m_status.kind != CaptureStatus::Kind::recording)
        return;
    m_overlayHideTask.reset();
    m_s.cancelShortcut->unregisterCancelHotKey();
    m_pushToTalkActive = false;
    m_s.recorder->cancel();
    failStart(message, std::nullopt, kStartFailureHide);
}

void AppState::cancelRecording()
{
    if (m_agentPhase == AgentPhase::listening) {
        m_overlayHideTask.reset();
        m_s.cancelShortcut->unregisterCancelHotKey();
        m_s.recorder->cancel();
        finishAgentProgress(0);
        setAgentPhase(AgentPhase::cancelled, QStringLiteral("Cancelled"));
        scheduleAgentOverlayHide(0.5);
        return;
    }
    if (m_agentFlow->cancelActiveRequest())
        return;
    if (m_status.kind == CaptureStatus::Kind::recording) {
        m_overlayHideTask.reset();
        m_s.cancelShortcut->unregisterCancelHotKey();
        m_pushToTalkActive = false;
        m_s.recorder->cancel();
        setStatus(CaptureStatus::idle());
        m_s.overlay->hide();
    }
}
