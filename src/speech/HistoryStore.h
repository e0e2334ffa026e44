#pragma once

#include "platform/StoreFile.h"
#include "speech/DictationServices.h"

#include <QJsonObject>
#include <QObject>

// The Dictation history, newest first, kept in history.json. Memory is authoritative after the
// file has been read once; every change rewrites the whole file atomically.
class HistoryStore final : public QObject, public TranscriptHistory {
    Q_OBJECT

public:
    explicit HistoryStore(QObject *parent = nullptr);

    const QList<HistoryItem> &items() const override { return m_items; }
    void insertFront(const HistoryItem &item) override;
    Result<void, QString> save() override;
    // Removes every item with this id and its kept audio file, then saves.
    void deleteItem(const HistoryItem &item);

    static QJsonObject toJson(const HistoryItem &item);
    static std::optional<HistoryItem> fromJson(const QJsonValue &value);
    static QByteArray encode(const QList<HistoryItem> &items);
    // Nothing when the bytes are not a valid item array.
    static std::optional<QList<HistoryItem>> decode(const QByteArray &bytes);

signals:
    void itemsChanged();

private:
    void load();

    QList<HistoryItem> m_items;
    StoreFile m_file;
};
