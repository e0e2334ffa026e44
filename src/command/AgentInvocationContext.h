#pragma once

#include "command/AgentConversation.h"
#include "platform/Accessibility.h"
#include "platform/Workspace.h"

#include <memory>
#include <optional>

// Where a Command run came from; kept in memory only.
struct AgentTargetSnapshot {
    std::optional<RunningApplication> application;
    QString applicationName;
    std::shared_ptr<AccessibleElement> focusedElement; // identity, not contents, is compared
    std::optional<TextRange> selectedRange;

    bool operator==(const AgentTargetSnapshot &) const = default;
};

// One context capture: at most one selected-text attachment, then at most one screenshot.
struct AgentInvocationContext {
    AgentTargetSnapshot target;
    QList<AgentContextAttachment> attachments;

    bool operator==(const AgentInvocationContext &) const = default;
};
