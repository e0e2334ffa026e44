// The user's OpenAI-compatible servers, kept beside the imported models. Their keys live in the
// system keyring, never in this file.
#include "models/AgentModelStore.h"

#include "speech/AppPaths.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

QString serversFile() { return AppPaths::agentData() + QStringLiteral("/model-servers.json"); }

} // namespace

std::optional<ModelServer> AgentModelStore::serverForModel(const QString &modelID) const
{
    for (const ModelServer &s : m_servers)
        if (s.modelID() == modelID)
            return s;
    return std::nullopt;
}

bool AgentModelStore::addServer(const ModelServer &server)
{
    QList<ModelServer> next = m_servers;
    next.removeIf([&](const ModelServer &s) { return s.id == server.id; });
    next.append(server);
    if (!saveServers(next))
        return false;
    m_servers = next;
    emit serversChanged();
    return true;
}

bool AgentModelStore::removeServer(const QUuid &id)
{
    QList<ModelServer> next = m_servers;
    if (next.removeIf([&](const ModelServer &s) { return s.id == id; }) == 0)
        return true;
    if (!saveServers(next))
        return false;
    m_servers = next;
    emit serversChanged();
    return true;
}

void AgentModelStore::loadServers()
{
    QFile file(serversFile());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    file.close();
    QList<ModelServer> decoded;
    bool readable = doc.isArray();
    for (const QJsonValue &element : doc.array()) {
        auto server = ModelServer::fromJson(element);
        if (!server) {
            readable = false;
            break;
        }
        decoded << *server;
    }
    if (!readable) {
        // Set aside rather than overwritten by the next save, so the records can be recovered.
        (void)QFile::rename(serversFile(), serversFile() + QStringLiteral(".unreadable-") +
                                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        return;
    }
    m_servers = decoded;
}

bool AgentModelStore::saveServers(const QList<ModelServer> &servers)
{
    QJsonArray list;
    for (const ModelServer &s : servers)
        list.append(s.toJson());
    QSaveFile file(serversFile());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(list).toJson(QJsonDocument::Indented));
    return file.commit();
}
