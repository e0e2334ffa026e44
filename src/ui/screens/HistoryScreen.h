#pragma once

#include "window/WindowContext.h"

#include <QWidget>

class AgentConversationsView;
class DictationHistoryView;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// Dictation transcripts and Command conversations, in two areas that never mix.
class HistoryScreen final : public QWidget {
    Q_OBJECT
public:
    enum class HistoryArea { dictation, agent };

    HistoryScreen(const WindowContext &context, QWidget *parent = nullptr);

    HistoryArea area() const { return m_area; }
    void setArea(HistoryArea area);
    QPushButton *areaButton(HistoryArea area) const;
    QLineEdit *searchField() const { return m_search; }
    DictationHistoryView *dictation() const { return m_dictation; }
    // Made when the Command area is first shown.
    AgentConversationsView *conversations() const { return m_conversations; }

private:
    WindowContext m_context;
    HistoryArea m_area = HistoryArea::dictation;
    QPushButton *m_dictationButton;
    QPushButton *m_agentButton;
    QLineEdit *m_search;
    QStackedWidget *m_areas;
    DictationHistoryView *m_dictation;
    AgentConversationsView *m_conversations = nullptr;
};
