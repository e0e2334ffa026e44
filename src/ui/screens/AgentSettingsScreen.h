#pragma once

#include <QWidget>

#include <functional>

class AppState;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
struct AgentSettings;

// The Command settings: personal context with its limit, delivery and completion switches and
// the advanced instructions. Every edit is stored at once.
class AgentSettingsScreen final : public QWidget {
    Q_OBJECT

public:
    explicit AgentSettingsScreen(AppState &state, QWidget *parent = nullptr);

    QPlainTextEdit *personalContextEditor() const { return m_personalContext; }
    QPlainTextEdit *instructionsEditor() const { return m_instructions; }
    QString countLine() const;

    // The first `limit` user-perceived characters of the text.
    static QString truncatedToGraphemes(const QString &text, int limit);
    static int graphemeCount(const QString &text);

private:
    void edit(const std::function<void(AgentSettings &)> &change);
    void personalContextEdited();
    void refresh();
    QCheckBox *addSwitch(class QVBoxLayout *rows, const QString &title, const QString &explanation,
                         bool AgentSettings::*field);

    AppState &m_state;
    QPlainTextEdit *m_personalContext;
    QPlainTextEdit *m_instructions;
    QLabel *m_count;
    QList<QPair<QCheckBox *, bool AgentSettings::*>> m_switches;
};
