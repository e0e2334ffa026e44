#pragma once

#include "speech/HistoryItem.h"

#include <QAbstractListModel>
#include <QList>

class HistoryStore;

// The Dictation transcripts that match the search text, in store order (newest first). The
// store is read, never copied; a change in it resets the model.
class DictationHistoryModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { textRole = Qt::UserRole + 1, detailsRole, idRole };

    explicit DictationHistoryModel(HistoryStore *store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void setSearch(const QString &search);
    QString search() const { return m_search; }
    // Whether the store holds any transcript at all (the empty state differs from "no match").
    bool storeIsEmpty() const;
    const HistoryItem &item(int row) const;

    // Lower case without diacritics, for matching the way a person reads.
    static QString folded(const QString &text);
    // The line under a transcript: creation time, duration and model name.
    static QString details(const HistoryItem &item);

signals:
    void resultsChanged();

private:
    void rebuild();

    HistoryStore *m_store;
    QString m_search;
    QString m_foldedSearch;
    // Folded text + model name of each store item, in store order.
    QList<QString> m_keys;
    // Store indexes of the results.
    QList<int> m_rows;
};
