#include "HistoryStore.h"

#include "platform/Json.h"
#include "speech/AppPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

// A kept audio file is named by the file; only a plain name inside the folder may be deleted.
bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

HistoryStore::HistoryStore(QObject *parent)
    : QObject(parent), m_file(AppPaths::history(), QStringLiteral("Dictation history"))
{
    m_file.retry = [this] { (void)save(); };
    load();
}

QJsonObject HistoryStore::toJson(const HistoryItem &item)
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), Json::uuidString(item.id));
    o.insert(QStringLiteral("createdAt"), Json::dateString(item.createdAt));
    o.insert(QStringLiteral("text"), item.text);
    // JSON has no NaN or infinity; such a duration would make the whole file unreadable.
    o.insert(QStringLiteral("duration"), std::isfinite(item.duration) ? item.duration : 0.0);
    o.insert(QStringLiteral("modelID"), item.modelID);
    Json::insertOptional(o, QStringLiteral("audioFileName"), item.audioFileName);
    return o;
}

std::optional<HistoryItem> HistoryStore::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto id = Json::parseUuid(o.value(QStringLiteral("id")));
    const auto createdAt = Json::parseDate(o.value(QStringLiteral("createdAt")));
    const auto text = Json::string(o, QStringLiteral("text"));
    const auto duration = Json::number(o, QStringLiteral("duration"));
    const auto modelID = Json::string(o, QStringLiteral("modelID"));
    if (!id || !createdAt || !text || !duration || !modelID)
        return std::nullopt;
    const QJsonValue audio = o.value(QStringLiteral("audioFileName"));
    if (!audio.isUndefined() && !audio.isNull() && !audio.isString())
        return std::nullopt;
    HistoryItem item;
    item.id = *id;
    item.createdAt = *createdAt;
    item.text = *text;
    item.duration = *duration;
    item.modelID = *modelID;
    if (audio.isString())
        item.audioFileName = audio.toString();
    return item;
}

QByteArray HistoryStore::encode(const QList<HistoryItem> &items)
{
    QJsonArray array;
    for (const HistoryItem &item : items)
        array.append(toJson(item));
    return Json::filePretty(array);
}

std::optional<QList<HistoryItem>> HistoryStore::decode(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<HistoryItem> items;
    const QJsonArray array = doc.array();
    items.reserve(array.size());
    for (const QJsonValue &value : array) {
        auto item = fromJson(value);
        if (!item)
            return std::nullopt;
        items.append(std::move(*item));
    }
    return items;
}

void HistoryStore::load()
{
    (void)AppPaths::prepare();
    const auto bytes = m_file.load();
    if (!bytes)
        return;
    auto decoded = decode(*bytes);
    if (!decoded) {
        m_file.rejectLoaded();
        return;
    }
    std::stable_sort(decoded->begin(), decoded->end(),
                     [](const HistoryItem &a, const HistoryItem &b) { return a.createdAt > b.createdAt; });
    m_items = std::move(*decoded);
    emit itemsChanged();
}

void HistoryStore::insertFront(const HistoryItem &item)
{
    m_items.prepend(item);
    emit itemsChanged();
}

Result<void, QString> HistoryStore::save() { return m_file.save(encode(m_items)); }

void HistoryStore::deleteItem(const HistoryItem &item)
{
    const auto removed = m_items.removeIf([&](const HistoryItem &i) { return i.id == item.id; });
    if (removed > 0)
        emit itemsChanged();
    if (item.audioFileName && isPlainFileName(*item.audioFileName))
        QFile::remove(AppPaths::recordings() + QLatin1Char('/') + *item.audioFileName);
    (void)save();
}
