#pragma once

#include "command/AgentInvocationContext.h"
#include "command/AgentSettings.h"
#include "platform/Pasteboard.h"

#include <qcoro/qcorotask.h>

#include <optional>

class AgentContextCaptureService;
class Accessibility;
class Scheduler;
class Workspace;

struct AgentDeliveryResult {
    bool pasted = false;
    bool replacedPreviousResult = false;
    bool needsManualPaste = false;
    bool operator==(const AgentDeliveryResult &) const = default;
};

// A full copy of the clipboard, every item with every type it offers.
struct PasteboardSnapshot {
    PasteboardContents contents;
    static PasteboardSnapshot capture(const Pasteboard &pasteboard) { return {pasteboard.contents()}; }
    void restore(Pasteboard &pasteboard) const { pasteboard.write(contents); }
};

// Brings a finished text to the user: on the clipboard, pasted into the target, or in place of
// the earlier result of a refinement when that is still exactly there. Main thread only.
class AgentPasteCoordinator {
public:
    struct Ports {
        AgentContextCaptureService *contextCapture = nullptr;
        Pasteboard *pasteboard = nullptr;
        Accessibility *accessibility = nullptr;
        Workspace *workspace = nullptr;
        Scheduler *scheduler = nullptr;
        bool insertTextDirectly = false;
        bool keysReachApplications = true;
    };
    static constexpr double activationWait = 0.09;
    static constexpr double activationPollInterval = 0.03;
    static constexpr int activationPolls = 50;
    static constexpr double pasteWait = 0.08;

    explicit AgentPasteCoordinator(const Ports &ports) : m_p(ports) {}

    // Never fails: what could not be done degrades to the clipboard.
    QCoro::Task<AgentDeliveryResult> deliver(QString text, AgentSettings settings, AgentTargetSnapshot target,
                                             std::optional<QString> replacing);

    const std::optional<AgentTargetSnapshot> &lastTarget() const { return m_lastTarget; }
    const std::optional<QString> &lastDeliveredText() const { return m_lastDeliveredText; }

    // Ctrl+V, or Ctrl+Shift+V for a terminal.
    uint64_t pasteFlags(const AgentTargetSnapshot &target) const;

private:
    void putOnClipboard(const QString &text);

    Ports m_p;
    std::optional<AgentTargetSnapshot> m_lastTarget;
    std::optional<QString> m_lastDeliveredText;
};
