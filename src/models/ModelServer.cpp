#include "models/ModelServer.h"

#include "platform/Json.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

#include <algorithm>

QString ModelServer::modelID() const
{
    return QStringLiteral("server-") + id.toString(QUuid::WithoutBraces).toLower();
}

AgentModelDescriptor ModelServer::descriptor() const
{
    AgentModelDescriptor d;
    d.id = modelID();
    d.name = model;
    d.officialName = model;
    d.organization = name;
    d.detail = isOnThisComputer() ? QStringLiteral("On %1, on this computer.").arg(name)
                                  : QStringLiteral("On %1 at %2.").arg(name, host());
    d.sizeLabel = host();
    d.license = QStringLiteral("Your server");
    d.provider = AgentModelProvider::openAICompatible;
    d.capabilities = {true, images};
    d.isCustom = true;
    d.baseURL = baseURL;
    return d;
}

QString ModelServer::host() const { return QUrl(baseURL).host(); }

bool ModelServer::isOnThisComputer() const { return isOnThisComputer(host()); }

QString ModelServer::destination() const { return isOnThisComputer() ? QStringLiteral("this computer") : host(); }

bool ModelServer::isOnThisComputer(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive))
        return true;
    if (host.compare(QHostInfo::localHostName(), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    if (address.isNull())
        return false; // a name other than ours: whatever it resolves to, it is another machine's
    if (address.isLoopback())
        return true;
    // The overlay asks on every frame; the machine's addresses are read at most every few seconds.
    static QList<QHostAddress> own;
    static QElapsedTimer age;
    if (!age.isValid() || age.elapsed() > 5000) {
        own = QNetworkInterface::allAddresses();
        age.start();
    }
    return std::any_of(own.begin(), own.end(), [&](const QHostAddress &a) { return a.isEqual(address); });
}

QString ModelServer::destinationOf(const AgentModelDescriptor &model)
{
    switch (model.provider) {
    case AgentModelProvider::openAI:
        return QStringLiteral("OpenAI");
    case AgentModelProvider::openAICompatible: {
        const QString host = QUrl(model.baseURL.value_or(QString())).host();
        return isOnThisComputer(host) ? QStringLiteral("this computer") : host;
    }
    case AgentModelProvider::appleSystem:
    case AgentModelProvider::llamaCPP:
        break;
    }
    return QStringLiteral("this computer");
}

std::optional<QString> ModelServer::normalizedBaseURL(const QString &typed)
{
    QString text = typed.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return std::nullopt;
    return text;
}

QJsonObject ModelServer::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), Json::uuidString(id)},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("baseURL"), baseURL},
                       {QStringLiteral("model"), model},
                       {QStringLiteral("images"), images},
                       {QStringLiteral("hasKey"), hasKey}};
}

std::optional<ModelServer> ModelServer::fromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const auto id = Json::parseUuid(o.value(QStringLiteral("id")));
    const auto name = Json::string(o, QStringLiteral("name"));
    const auto base = Json::string(o, QStringLiteral("baseURL"));
    const auto model = Json::string(o, QStringLiteral("model"));
    const auto images = Json::boolean(o, QStringLiteral("images"));
    const auto hasKey = Json::boolean(o, QStringLiteral("hasKey"));
    if (!id || !name || !base || !model || !images || !hasKey || !normalizedBaseURL(*base))
        return std::nullopt;
    return ModelServer{*id, *name, *normalizedBaseURL(*base), *model, *images, *hasKey};
}
