#pragma once

// Attachments as context capture makes them, for tests of the Command parts.

#include "command/AgentConversation.h"

#include <QDateTime>
#include <QUuid>

inline AgentContextAttachment selectedTextAttachment(const QString &text,
                                                     const QDateTime &at = QDateTime::currentDateTimeUtc())
{
    AgentContextAttachment a;
    a.id = QUuid::createUuid();
    a.kind = AgentAttachmentKind::selectedText;
    a.displayName = QStringLiteral("Selected text");
    a.text = text;
    a.createdAt = at;
    return a;
}

inline AgentContextAttachment screenshotAttachment(const QString &path,
                                                   const QString &displayName = QStringLiteral("Editor window"))
{
    AgentContextAttachment a;
    a.id = QUuid::createUuid();
    a.kind = AgentAttachmentKind::screenshot;
    a.displayName = displayName;
    a.filePath = path;
    a.createdAt = QDateTime::currentDateTimeUtc();
    return a;
}
