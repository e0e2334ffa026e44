#include "command/AgentContextCaptureService.h"

#include "command/AgentPasteCoordinator.h"
#include "platform/Accessibility.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "platform/Permissions.h"
#include "platform/SchedulerSleep.h"
#include "platform/ScreenCapture.h"
#include "platform/Workspace.h"
#include "speech/AppPaths.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

bool hasVisibleText(const std::optional<QString> &text) { return text && !text->trimmed().isEmpty(); }

// Puts the user's clipboard back however the copy fallback ends, also when it is abandoned.
class ClipboardGuard {
public:
    explicit ClipboardGuard(Pasteboard &pasteboard)
        : m_pasteboard(pasteboard), m_snapshot(PasteboardSnapshot::capture(pasteboard))
    {
    }
    ~ClipboardGuard() { m_snapshot.restore(m_pasteboard); }
    ClipboardGuard(const ClipboardGuard &) = delete;
    ClipboardGuard &operator=(const ClipboardGuard &) = delete;

private:
    Pasteboard &m_pasteboard;
    PasteboardSnapshot m_snapshot;
};

} // namespace

const QString AgentContextCaptureService::unseenWindow = QStringLiteral(
    "No screenshot was attached: on Wayland only windows of X11 applications can be captured.");

QSize AgentContextCaptureService::imagePixelSize(const QSizeF &points)
{
    auto side = [](double p) { return std::clamp(int(p * 2), 1, maximumImageSide); };
    return {side(points.width()), side(points.height())};
}

QCoro::Task<Result<AgentInvocationContext, AgentRuntimeError>> AgentContextCaptureService::capture(
    bool includeSelectedText, bool includeScreenshot)
{
    AgentInvocationContext context;
    context.target = captureTarget();
    m_lastTarget = context.target;

    if (includeSelectedText) {
        QCoro::Task<std::optional<QString>> reading = selectedText(context.target);
        const std::optional<QString> text = co_await reading;
        if (hasVisibleText(text)) {
            AgentContextAttachment attachment;
            attachment.id = QUuid::createUuid();
            attachment.kind = AgentAttachmentKind::selectedText;
            attachment.displayName = QStringLiteral("Selected text");
            attachment.text = *text;
            attachment.createdAt = QDateTime::currentDateTimeUtc();
            context.attachments.append(attachment);
        }
    }
    if (includeScreenshot) {
        auto shot = captureWindowScreenshot(context.target.application, context.target.applicationName);
        if (shot.ok())
            context.attachments.append(shot.value());
        else if (m_p.seesEveryWindow || shot.error().message() != unseenWindow)
            co_return shot.error();
    }
    co_return context;
}

AgentTargetSnapshot AgentContextCaptureService::captureTarget()
{
    AgentTargetSnapshot target;
    target.application = m_p.workspace->frontmostApplication();
    target.applicationName = target.application ? target.application->localizedName : QString();
    target.focusedElement = m_p.accessibility->focusedElement();
    if (target.focusedElement)
        target.selectedRange = target.focusedElement->selectedTextRange();
    return target;
}

QCoro::Task<std::optional<QString>> AgentContextCaptureService::selectedText(AgentTargetSnapshot target)
{
    if (target.focusedElement) {
        const auto text = target.focusedElement->selectedText();
        if (text && !text->isEmpty())
            co_return text;
    }
    // Programs without an accessible selection (many terminals, some toolkits) still own the
    // X selection of what the user highlighted.
    if (auto owned = m_p.accessibility->ownedSelectionText(); owned && !owned->isEmpty())
        co_return owned;
    if (!m_p.accessibility->isProcessTrusted(false))
        co_return std::nullopt;

    // Called on the shortcut's press: while its key is down the keyboard is grabbed for this
    // program, so the copy chord would come back here instead of reaching the target.
    for (double waited = 0; m_p.keys->keyHeld() && waited < keyReleaseWaitLimit; waited += keyReleasePoll) {
        SchedulerSleep wait{*m_p.scheduler, keyReleasePoll};
        co_await wait;
    }
    ClipboardGuard guard(*m_p.pasteboard);
    m_p.pasteboard->clear();
    // Ctrl+C in a terminal would interrupt the program running there.
    const bool terminal = target.application && m_p.workspace->isTerminal(*target.application);
    postKey(KeySynthesizer::keyC, KeySynthesizer::commandFlag | (terminal ? KeySynthesizer::shiftFlag : 0));
    // A busy program takes longer to answer Ctrl+C; nothing copied by then means no selection.
    for (double waited = 0; waited < copyWaitLimit; waited += copyWait) {
        SchedulerSleep wait{*m_p.scheduler, copyWait};
        co_await wait;
        if (auto copied = m_p.pasteboard->string(); copied && !copied->isEmpty())
            co_return copied;
    }
    co_return std::nullopt;
}

Result<AgentContextAttachment, AgentRuntimeError> AgentContextCaptureService::captureWindowScreenshot(
    const std::optional<RunningApplication> &application, const QString &applicationName)
{
    const AgentRuntimeError denied(AgentRuntimeError::Kind::screenRecordingDenied);
    const AgentRuntimeError unseen(AgentRuntimeError::Kind::screenRecordingDenied,
                                   m_p.seesEveryWindow ? QString() : unseenWindow);
    if (!m_p.seesEveryWindow && (!application || !m_p.screenCapture || !m_p.permissions->screenCaptureGranted()))
        return unseen;
    if (!m_p.permissions->screenCaptureGranted()) {
        m_p.permissions->requestScreenCapture();
        return denied;
    }
    if (!application || !m_p.screenCapture)
        return denied;

    const QList<CapturableWindow> windows = m_p.screenCapture->shareableWindows();
    const auto window = std::find_if(windows.begin(), windows.end(), [&](const CapturableWindow &w) {
        return w.onScreen && w.processIdentifier == application->processIdentifier && w.frame.width() > 1 &&
               w.frame.height() > 1;
    });
    if (window == windows.end())
        return unseen;
    const auto image = m_p.screenCapture->capture(*window, imagePixelSize(window->frame.size()));
    if (!image || image->isNull())
        return denied;

    const QString folder = AppPaths::agentAttachments() + QStringLiteral("/pending");
    if (!QDir().mkpath(folder))
        return AgentRuntimeError::writingModelUnavailable(QStringLiteral("Could not create the folder ") + folder +
                                                          QLatin1Char('.'));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image->save(&buffer, "PNG"))
        return denied;

    const QUuid id = QUuid::createUuid();
    const QString path = folder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                         QStringLiteral(".png");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        return AgentRuntimeError::writingModelUnavailable(file.errorString());

    AgentContextAttachment attachment;
    attachment.id = id;
    attachment.kind = AgentAttachmentKind::screenshot;
    attachment.displayName =
        applicationName.isEmpty() ? QStringLiteral("Application window") : applicationName + QStringLiteral(" window");
    attachment.filePath = path;
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    return attachment;
}

bool AgentContextCaptureService::exactText(const QString &expected, const AgentTargetSnapshot &target) const
{
    if (!target.focusedElement || !target.selectedRange || target.selectedRange->location < 0)
        return false;
    if (target.selectedRange->length != expected.size())
        return false;
    const auto value = target.focusedElement->value();
    return value && AgentTextRangeVerifier::matches(expected, *value, *target.selectedRange);
}

void AgentContextCaptureService::postKey(uint16_t keyCode, uint64_t flags) { m_p.keys->postKey(keyCode, flags); }

bool AgentTextRangeVerifier::matches(const QString &expected, const QString &value, const TextRange &range)
{
    if (range.location < 0 || range.length != expected.size() || range.location + range.length > value.size())
        return false;
    const QString found = value.mid(qsizetype(range.location), qsizetype(range.length));
    return found.normalized(QString::NormalizationForm_C) == expected.normalized(QString::NormalizationForm_C);
}
