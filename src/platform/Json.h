#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

// The shared JSON conventions: upper-case canonical UUIDs, ISO-8601 UTC dates without
// fractions, absent optionals omitted, null read as absent, missing required keys rejected.
namespace Json {

QString uuidString(const QUuid &id);
std::optional<QUuid> parseUuid(const QJsonValue &value);

QString dateString(const QDateTime &date);
std::optional<QDateTime> parseDate(const QJsonValue &value);
// Whole seconds, UTC: what a date becomes after a round trip through its text.
QDateTime truncatedToSeconds(const QDateTime &date);

// Files: pretty-printed with sorted keys (QJsonObject keeps its keys sorted).
QByteArray filePretty(const QJsonObject &object);
QByteArray filePretty(const QJsonArray &array);
// The protocol and compact files: one line, no line feed.
QByteArray compact(const QJsonObject &object);

// Typed readers; std::nullopt when the key is missing, null, or of another type.
std::optional<QString> string(const QJsonObject &object, const QString &key);
std::optional<bool> boolean(const QJsonObject &object, const QString &key);
std::optional<double> number(const QJsonObject &object, const QString &key);
std::optional<qint64> integer(const QJsonObject &object, const QString &key);

// Missing or null: what an omitted optional looks like.
bool isAbsent(const QJsonValue &value);
// Readers of optional fields: an absent key leaves `out` unchanged (its default) and succeeds;
// a value of another type fails.
bool optionalString(const QJsonObject &object, const QString &key, std::optional<QString> &out);
bool optionalString(const QJsonObject &object, const QString &key, QString &out);
bool optionalBool(const QJsonObject &object, const QString &key, bool &out);

// Writers that omit absent optionals.
template <typename T>
void insertOptional(QJsonObject &object, const QString &key, const std::optional<T> &value)
{
    if (value)
        object.insert(key, QJsonValue(*value));
}

} // namespace Json
