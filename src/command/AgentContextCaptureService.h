#pragma once

#include "command/AgentInvocationContext.h"
#include "command/AgentRuntimeError.h"
#include "platform/Result.h"

#include <QSize>
#include <QSizeF>

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <optional>

class Accessibility;
class KeySynthesizer;
class Pasteboard;
class Permissions;
class Scheduler;
class ScreenCapture;
class Workspace;

// Notes where a Command run starts: the application in front, its focused element and
// selection, and on request a screenshot of its window. Main thread only.
class AgentContextCaptureService {
public:
    struct Ports {
        Workspace *workspace = nullptr;
        Accessibility *accessibility = nullptr;
        Pasteboard *pasteboard = nullptr;
        KeySynthesizer *keys = nullptr;
        Permissions *permissions = nullptr;
        Scheduler *scheduler = nullptr;
        ScreenCapture *screenCapture = nullptr; // none: every screenshot fails
        // False on Wayland, where the capture sees XWayland's windows only: a window it cannot
        // see leaves the shortcut's run without a screenshot, and says so, instead of failing it.
        bool seesEveryWindow = true;
    };

    // Why a screenshot is missing where the capture cannot see the window.
    static const QString unseenWindow;

    // How long the target gets to answer the copy chord.
    static constexpr double copyWait = 0.12;
    static constexpr double copyWaitLimit = 0.6;
    // How long the user may keep the shortcut's key down before the copy chord is sent anyway.
    static constexpr double keyReleasePoll = 0.02;
    static constexpr double keyReleaseWaitLimit = 1.5;
    static constexpr int maximumImageSide = 4096;

    explicit AgentContextCaptureService(const Ports &ports) : m_p(ports) {}

    QCoro::Task<Result<AgentInvocationContext, AgentRuntimeError>> capture(bool includeSelectedText,
                                                                              bool includeScreenshot);
    AgentTargetSnapshot captureTarget();
    QCoro::Task<std::optional<QString>> selectedText(AgentTargetSnapshot target);
    Result<AgentContextAttachment, AgentRuntimeError> captureWindowScreenshot(
        const std::optional<RunningApplication> &application, const QString &applicationName);

    // The earlier result is still exactly where it was pasted.
    bool exactText(const QString &expected, const AgentTargetSnapshot &target) const;
    void postKey(uint16_t keyCode, uint64_t flags);

    const std::optional<AgentTargetSnapshot> &lastTarget() const { return m_lastTarget; }

    // A window frame in points, twice over in pixels, each side within 1…4096.
    static QSize imagePixelSize(const QSizeF &points);

private:
    Ports m_p;
    std::optional<AgentTargetSnapshot> m_lastTarget;
};

// Whether a range of a text still holds exactly the expected text; lengths in UTF-16 units.
struct AgentTextRangeVerifier {
    static bool matches(const QString &expected, const QString &value, const TextRange &range);
};
