#pragma once

#include "command/AgentConversation.h"
#include "window/WindowContext.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QStackedWidget;
class SymbolLabel;

// The Command conversations: open, delete one, or clear them all after a confirmation.
class AgentConversationsView final : public QWidget {
    Q_OBJECT
public:
    AgentConversationsView(const WindowContext &context, QWidget *parent = nullptr);

    QListWidget *list() const { return m_list; }
    QString emptyTitle() const;
    // Asks before clearing; returns whether the history was cleared.
    bool confirmAndClear();
    // "N messages" and the rest of a row's second line.
    static QString rowDetails(const AgentConversation &conversation, const QDateTime &now);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    WindowContext m_context;
    QStackedWidget *m_stack;
    QListWidget *m_list;
    QWidget *m_empty;
    SymbolLabel *m_emptyIcon;
    QLabel *m_emptyTitle;
    QLabel *m_emptyText;
    QLabel *m_startHint;
};
