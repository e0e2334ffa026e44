#pragma once

#include "SessionStore.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// Everything a prompt is made of. The trusted instructions and the user's personal context go
// into the system message; the instruction leads the user message, and captured context follows
// it as clearly fenced, untrusted material.
struct PromptInput {
    QString trustedInstructions;
    QString personalContext;
    QList<SessionTurn> history; // earlier turns, oldest first
    QString instruction;
    QList<AgentContextAttachment> attachments;
    bool allowImages = false;
};

struct ChatPrompt {
    QJsonArray messages; // chat-completions "messages"
    QStringList warnings;
};

struct BridgePrompt {
    QString instructions;
    QString prompt;
    QStringList warnings;
};

namespace PromptAssembler {
QString systemText(const PromptInput &input);
// The instruction followed by every selected text, each inside a fence that its text cannot close.
QString userText(const QString &instruction, const QList<AgentContextAttachment> &attachments);
ChatPrompt chat(const PromptInput &input);
BridgePrompt bridge(const PromptInput &input);
} // namespace PromptAssembler
