#pragma once

#include <QWidget>

class AppState;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The spelling hints for the speech engine: add, list and remove terms, and what the selected
// model does with them.
class VocabularyScreen final : public QWidget {
    Q_OBJECT

public:
    explicit VocabularyScreen(AppState &state, QWidget *parent = nullptr);

    QLineEdit *termField() const { return m_term; }
    QPushButton *addButton() const { return m_add; }
    // The terms as listed, in order.
    QStringList shownTerms() const;
    QString behaviorTitle() const;
    QString behaviorText() const;
    bool showsEmptyState() const;

private:
    void addTerm();
    void refreshTerms();
    void refreshBehavior();

    AppState &m_state;
    QLineEdit *m_term;
    QPushButton *m_add;
    QWidget *m_list;
    QVBoxLayout *m_listRows;
    QWidget *m_empty;
    QLabel *m_behaviorIcon;
    QLabel *m_behaviorTitle;
    QLabel *m_behaviorText;
};
