#include "screens/DictationHistoryModel.h"

#include "speech/HistoryStore.h"

#include <QLocale>
#include <QRegularExpression>

DictationHistoryModel::DictationHistoryModel(HistoryStore *store, QObject *parent)
    : QAbstractListModel(parent), m_store(store)
{
    if (m_store)
        connect(m_store, &HistoryStore::itemsChanged, this, [this] {
            m_keys.clear();
            rebuild();
        });
    rebuild();
}

QString DictationHistoryModel::folded(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return QLocale().toLower(out.toCaseFolded());
}

QString DictationHistoryModel::details(const HistoryItem &item)
{
    const QLocale locale;
    const QDateTime local = item.createdAt.toLocalTime();
    // The locale's long date with the month abbreviated and no weekday, and minutes only.
    QString date = locale.dateFormat(QLocale::LongFormat);
    date.remove(QRegularExpression(QStringLiteral("d{4}[,.]?\\s*")));
    date.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    QString time = locale.timeFormat(QLocale::ShortFormat);
    time.remove(QRegularExpression(QStringLiteral("[:.]ss")));
    return locale.toString(local.date(), date.trimmed()) + QLatin1Char(' ') + locale.toString(local.time(), time) +
           QStringLiteral(" · ") + item.durationLabel() + QStringLiteral(" · ") + item.modelName();
}

void DictationHistoryModel::setSearch(const QString &search)
{
    if (search == m_search)
        return;
    m_search = search;
    m_foldedSearch = folded(search);
    rebuild();
}

void DictationHistoryModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    const QList<HistoryItem> empty;
    const QList<HistoryItem> &items = m_store ? m_store->items() : empty;
    if (m_foldedSearch.isEmpty()) {
        m_rows.reserve(items.size());
        for (int i = 0; i < items.size(); ++i)
            m_rows << i;
    } else {
        // Keys are made once per store change, so typing stays quick on long histories.
        if (m_keys.size() != items.size()) {
            m_keys.clear();
            m_keys.reserve(items.size());
            for (const HistoryItem &item : items)
                m_keys << folded(item.text) + QChar(0x1F) + folded(item.modelName());
        }
        for (int i = 0; i < items.size(); ++i)
            if (m_keys[i].contains(m_foldedSearch))
                m_rows << i;
    }
    endResetModel();
    emit resultsChanged();
}

int DictationHistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

bool DictationHistoryModel::storeIsEmpty() const { return !m_store || m_store->items().isEmpty(); }

const HistoryItem &DictationHistoryModel::item(int row) const { return m_store->items().at(m_rows.at(row)); }

QVariant DictationHistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const HistoryItem &it = item(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case textRole:
        return it.text;
    case Qt::ToolTipRole:
        return it.text;
    case detailsRole:
        return details(it);
    case idRole:
        return it.id;
    case Qt::AccessibleTextRole:
        return it.text + QStringLiteral(", ") + details(it);
    default:
        return {};
    }
}
