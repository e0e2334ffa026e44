#include "Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <cmath>

namespace Json {

QString uuidString(const QUuid &id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

std::optional<QUuid> parseUuid(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString();
    // Only the canonical 36-character form, as the encoder writes it.
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

QString dateString(const QDateTime &date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z');
}

std::optional<QDateTime> parseDate(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    QDateTime date = QDateTime::fromString(value.toString(), Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    return date.toUTC();
}

QDateTime truncatedToSeconds(const QDateTime &date)
{
    const qint64 secs = date.toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
}

QByteArray filePretty(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Indented); }

QByteArray filePretty(const QJsonArray &array) { return QJsonDocument(array).toJson(QJsonDocument::Indented); }

QByteArray compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

std::optional<QString> string(const QJsonObject &object, const QString &key)
{
    const QJsonValue v = object.value(key);
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<bool> boolean(const QJsonObject &object, const QString &key)
{
    const QJsonValue v = object.value(key);
    if (!v.isBool())
        return std::nullopt;
    return v.toBool();
}

std::optional<double> number(const QJsonObject &object, const QString &key)
{
    const QJsonValue v = object.value(key);
    if (!v.isDouble())
        return std::nullopt;
    return v.toDouble();
}

std::optional<qint64> integer(const QJsonObject &object, const QString &key)
{
    const QJsonValue v = object.value(key);
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (std::floor(d) != d || std::abs(d) > 9.007199254740992e15)
        return std::nullopt;
    return static_cast<qint64>(d);
}

bool isAbsent(const QJsonValue &value) { return value.isUndefined() || value.isNull(); }

bool optionalString(const QJsonObject &object, const QString &key, std::optional<QString> &out)
{
    const QJsonValue v = object.value(key);
    if (isAbsent(v))
        return true;
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

bool optionalString(const QJsonObject &object, const QString &key, QString &out)
{
    std::optional<QString> read;
    if (!optionalString(object, key, read))
        return false;
    if (read)
        out = std::move(*read);
    return true;
}

bool optionalBool(const QJsonObject &object, const QString &key, bool &out)
{
    const QJsonValue v = object.value(key);
    if (isAbsent(v))
        return true;
    if (!v.isBool())
        return false;
    out = v.toBool();
    return true;
}

} // namespace Json
