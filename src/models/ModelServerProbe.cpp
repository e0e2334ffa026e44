#include "models/ModelServerProbe.h"

#include "models/ModelServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <qcoro/qcoronetworkreply.h>

namespace {

QString place(const QUrl &url)
{
    const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
    return url.host() + QLatin1Char(':') + QString::number(port);
}

QString networkFailure(const QNetworkReply &reply, const QUrl &url)
{
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("Nothing answers at %1. Is the server running, and on that port?").arg(place(url));
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("The host \"%1\" was not found. Check the address.").arg(url.host());
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("%1 did not answer in time. Check the address and that this computer can reach it.")
            .arg(place(url));
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("No secure connection to %1 could be made (TLS error: %2). Check whether the server "
                              "uses http or https, and its certificate.")
            .arg(url.host(), reply.errorString());
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("%1 closed the connection without answering. Check whether the server uses http or "
                              "https.")
            .arg(place(url));
    default:
        return QStringLiteral("%1 could not be reached: %2.").arg(place(url), reply.errorString());
    }
}

} // namespace

namespace ModelServerProbe {

QCoro::Task<Result<QStringList, QString>> listModels(QNetworkAccessManager &network, QString baseURL, QString apiKey,
                                                     int timeoutMilliseconds)
{
    const auto base = ModelServer::normalizedBaseURL(baseURL);
    if (!base)
        co_return QStringLiteral("Enter the server's address, such as http://localhost:11434/v1.");
    const QUrl url(*base + QStringLiteral("/models"));
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMilliseconds);
    const QString key = apiKey.trimmed();
    if (!key.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    QNetworkReply *reply = network.get(request);
    co_await reply;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0)
        co_return networkFailure(*reply, url);
    if (status == 401 || status == 403)
        co_return key.isEmpty() ? QStringLiteral("The server asks for an API key. Enter the key it was started with.")
                                : QStringLiteral("The server refused the API key. Check the key.");
    if (status == 404)
        co_return QStringLiteral("The server answered, but has no model list at %1. OpenAI-compatible addresses "
                                 "usually end in /v1.")
            .arg(url.toString());
    if (status < 200 || status >= 300)
        co_return QStringLiteral("The server could not list its models (HTTP %1).").arg(status);
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    const QJsonValue data = document.object().value(QStringLiteral("data"));
    if (!data.isArray())
        co_return QStringLiteral("The server's answer is not a list of models. Is it an OpenAI-compatible server?");
    QStringList models;
    for (const QJsonValue &entry : data.toArray()) {
        const QString id = entry.toObject().value(QStringLiteral("id")).toString();
        if (!id.isEmpty() && !models.contains(id))
            models << id;
    }
    if (models.isEmpty())
        co_return QStringLiteral("The server lists no models. Load or pull a model on the server first.");
    co_return models;
}

} // namespace ModelServerProbe
