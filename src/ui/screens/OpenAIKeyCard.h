#pragma once

#include <QPointer>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <optional>

class AppState;
class QLabel;
class QLineEdit;
#include <QMessageBox>
class QPushButton;

// Adds, replaces and removes the OpenAI API key. The field only ever holds what the user types;
// the stored key is never read back into it.
class OpenAIKeyCard final : public QWidget {
    Q_OBJECT

public:
    explicit OpenAIKeyCard(AppState &state, QWidget *parent = nullptr);
    ~OpenAIKeyCard() override;

    static inline const QString keysPage = QStringLiteral("https://platform.openai.com/api-keys");

    QLineEdit *keyField() const { return m_field; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *removeButton() const { return m_remove; }
    QString title() const;
    const std::optional<QString> &openAIKeyMessage() const { return m_message; }
    bool confirmRemoveOpenAIKey() const { return m_confirmation != nullptr; }
    QMessageBox *removalConfirmation() const { return m_confirmation; }

    QCoro::Task<> save();
    void askToRemove();
    QCoro::Task<> removeKey();

signals:
    void openAIKeyMessageChanged();

private:
    void setMessage(std::optional<QString> message);
    void refresh();

    AppState &m_state;
    QLabel *m_icon;
    QLabel *m_title;
    QLineEdit *m_field;
    QPushButton *m_save;
    QPushButton *m_remove;
    QLabel *m_link;
    QLabel *m_messageLabel;
    std::optional<QString> m_message;
    bool m_busy = false;
    QPointer<QMessageBox> m_confirmation;
};
