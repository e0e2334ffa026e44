#pragma once

#include "window/WindowContext.h"

#include <QStyledItemDelegate>
#include <QWidget>

class DictationHistoryModel;
class QLabel;
class QListView;
class QStackedWidget;
class SymbolLabel;

// One transcript row: text, details line, and the copy and delete buttons painted at its end.
class HistoryRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    enum class Button { copy, remove };
    explicit HistoryRowDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Where a button sits in a row's rectangle.
    static QRect buttonRect(const QRect &row, Button button, const QFontMetrics &metrics);

signals:
    void buttonClicked(int row, HistoryRowDelegate::Button button);
};

// The Dictation list with its two empty states; the search text comes from the screen.
class DictationHistoryView final : public QWidget {
    Q_OBJECT
public:
    DictationHistoryView(const WindowContext &context, QWidget *parent = nullptr);

    void setSearch(const QString &search);
    DictationHistoryModel *model() const { return m_model; }
    QListView *list() const { return m_list; }
    // The empty-state title, or empty when rows are shown.
    QString emptyTitle() const;

    // "Copy transcript" and "Delete transcript" of a result row.
    void copyRow(int row);
    void deleteRow(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshState();

    WindowContext m_context;
    DictationHistoryModel *m_model;
    QStackedWidget *m_stack;
    QListView *m_list;
    QWidget *m_empty;
    SymbolLabel *m_emptyIcon;
    QLabel *m_emptyTitle;
    QLabel *m_emptyText;
};

// An icon, a title and a line of text, centred: what a list shows when it has no rows.
QWidget *makeEmptyState(QWidget *parent, SymbolLabel **icon, QLabel **title, QLabel **text);
