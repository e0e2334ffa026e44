#include "Bridge.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

QByteArray BridgeResponse::encoded() const
{
    QJsonObject o;
    o.insert(QStringLiteral("ok"), ok);
    if (ok)
        o.insert(QStringLiteral("text"), text);
    else
        o.insert(QStringLiteral("error"), error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

namespace Bridge {

namespace {
QString unreadable(const QString &detail) { return QStringLiteral("The request could not be read: ") + detail + QLatin1Char('.'); }
} // namespace

std::variant<BridgeRequest, QString> decodeRequest(const QByteArray &input)
{
    if (input.trimmed().isEmpty())
        return unreadable(QStringLiteral("the input is empty"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(input, &error);
    if (error.error != QJsonParseError::NoError)
        return unreadable(QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset));
    if (!doc.isObject())
        return unreadable(QStringLiteral("it is not a JSON object"));
    const QJsonObject o = doc.object();
    BridgeRequest request;
    for (const auto &[key, target] : {std::pair{QStringLiteral("instructions"), &request.instructions},
                                      std::pair{QStringLiteral("prompt"), &request.prompt}}) {
        const QJsonValue v = o.value(key);
        if (v.isUndefined() || v.isNull())
            return unreadable(QStringLiteral("the key \"%1\" is missing").arg(key));
        if (!v.isString())
            return unreadable(QStringLiteral("the value of \"%1\" is not a string").arg(key));
        *target = v.toString();
    }
    return request;
}

QString unavailableMessage(OnDeviceLanguageModel::Availability availability)
{
    switch (availability) {
    case OnDeviceLanguageModel::Availability::deviceNotEligible:
        return QStringLiteral("This Mac is not eligible for Apple Intelligence.");
    case OnDeviceLanguageModel::Availability::modelNotReady:
        return QStringLiteral("The Apple on-device model is not ready.");
    case OnDeviceLanguageModel::Availability::available:
    case OnDeviceLanguageModel::Availability::unavailable:
        break;
    }
    return QStringLiteral("Apple Intelligence is unavailable.");
}

BridgeResponse answer(const QByteArray &input, OnDeviceLanguageModel &model)
{
    const auto decoded = decodeRequest(input);
    if (const QString *error = std::get_if<QString>(&decoded))
        return {false, {}, *error};
    const BridgeRequest &request = std::get<BridgeRequest>(decoded);
    const auto availability = model.availability();
    if (availability != OnDeviceLanguageModel::Availability::available)
        return {false, {}, unavailableMessage(availability)};
    const auto reply = model.respond(request.instructions, request.prompt);
    if (const auto *failure = std::get_if<OnDeviceLanguageModel::Failure>(&reply))
        return {false, {}, failure->message};
    return {true, std::get<QString>(reply), {}};
}

int run(OnDeviceLanguageModel &model)
{
    QFile in;
    QByteArray input;
    if (in.open(stdin, QIODevice::ReadOnly))
        input = in.readAll();
    const BridgeResponse response = answer(input, model);
    const QByteArray bytes = response.encoded();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return response.ok ? 0 : 1;
}

} // namespace Bridge
