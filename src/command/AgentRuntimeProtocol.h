#pragma once

#include "command/AgentConversation.h"
#include "command/AgentPhase.h"
#include "models/AgentModelDescriptor.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class QProcessEnvironment;

// Requests go to the runtime's standard input and events come back on its standard output,
// one compact JSON object per line.

enum class AgentProtocolCommand { run, continue_, cancel, list, load, delete_, shutdown };
enum class AgentProtocolEventKind { phase, delta, completed, warning, error, conversations };

QString agentProtocolCommandRawValue(AgentProtocolCommand command);
std::optional<AgentProtocolCommand> agentProtocolCommandFromRawValue(const QString &raw);
QString agentProtocolEventKindRawValue(AgentProtocolEventKind kind);
std::optional<AgentProtocolEventKind> agentProtocolEventKindFromRawValue(const QString &raw);

struct AgentRuntimeRequest {
    static constexpr int protocolVersion = 1;

    int version = protocolVersion;
    QUuid requestID = QUuid::createUuid();
    AgentProtocolCommand command = AgentProtocolCommand::run;
    std::optional<QUuid> conversationID;
    std::optional<AgentModelDescriptor> model;
    std::optional<QString> instruction;
    std::optional<QString> trustedInstructions;
    QList<AgentContextAttachment> attachments;
    std::optional<QString> modelPath;
    std::optional<QString> projectorPath;
    std::optional<QString> llamaServerPath;
    std::optional<QString> appleBridgePath;
    std::optional<QString> sessionPath;
    std::optional<QString> openAIAPIKey;
    // The API key of the user's own server, when the model is one of a server that has a key.
    std::optional<QString> serverAPIKey;
    std::optional<QString> personalContext;

    // What retiring a runtime sends: nothing but the session database.
    static AgentRuntimeRequest shutdown(const QString &sessionPath);

    QJsonObject toJson() const;
    static std::optional<AgentRuntimeRequest> fromJson(const QJsonObject &object);
    bool operator==(const AgentRuntimeRequest &) const = default;
};

struct AgentRuntimeEvent {
    int version = AgentRuntimeRequest::protocolVersion;
    std::optional<QUuid> requestID;
    AgentProtocolEventKind kind = AgentProtocolEventKind::phase;
    std::optional<AgentPhase> phase;
    std::optional<QString> text;
    std::optional<QString> code;
    std::optional<QList<AgentConversation>> conversations;

    QJsonObject toJson() const;
    static std::optional<AgentRuntimeEvent> fromJson(const QJsonObject &object);
    bool operator==(const AgentRuntimeEvent &) const = default;
};

namespace AgentProtocol {
// No request or event is longer: the largest are a turn's selected text and the session list.
// A longer line is refused without being kept in memory.
constexpr qsizetype maxLineBytes = 16 * 1024 * 1024;
// One compact object followed by a single line feed.
QByteArray encodedLine(const QJsonObject &object);
inline QByteArray encodedLine(const AgentRuntimeRequest &request) { return encodedLine(request.toJson()); }
inline QByteArray encodedLine(const AgentRuntimeEvent &event) { return encodedLine(event.toJson()); }
// One line without its line feed; nullopt unless it is exactly one valid object.
std::optional<AgentRuntimeEvent> decodeEvent(const QByteArray &line);
std::optional<AgentRuntimeRequest> decodeRequest(const QByteArray &line);
// Takes out the cloud variables that neither the runtime nor its children may inherit.
void removeCloudCredentials(QProcessEnvironment &environment);
} // namespace AgentProtocol
