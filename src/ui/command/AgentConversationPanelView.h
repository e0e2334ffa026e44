#pragma once

#include "command/AgentConversation.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class AppState;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

// The conversation window's content: the turns of the active conversation, the answer as it
// streams in, and a composer for typed or spoken refinements with an optional screenshot.
class AgentConversationPanelView final : public QWidget {
    Q_OBJECT

public:
    explicit AgentConversationPanelView(AppState &state, QWidget *parent = nullptr);

    // Sends the typed text and the attachments; both are cleared at once.
    void submit();
    // Where the keyboard goes when the window opens.
    void focusComposer();
    void attachScreenshot();

    QPlainTextEdit *followUpField() const { return m_followUp; }
    QPushButton *cameraButton() const { return m_camera; }
    QPushButton *microphoneButton() const { return m_microphone; }
    QPushButton *sendButton() const { return m_send; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *pasteButton() const { return m_paste; }
    const QList<AgentContextAttachment> &attachments() const { return m_attachments; }
    const std::optional<QString> &attachmentError() const { return m_attachmentError; }
    // What the list shows: captions and texts of every bubble, and the progress row's title.
    QStringList shownTexts() const;
    bool showsUnavailable() const;
    bool showsScreenshotChip() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildMessages();
    void refreshLive();
    void refreshComposer();
    QWidget *bubble(AgentMessageRole role, const QString &text, const QList<AgentContextAttachment> &attachments);

    AppState &m_state;
    QStackedWidget *m_pages;
    QLabel *m_title;
    QLabel *m_target;
    QScrollArea *m_scroll;
    QVBoxLayout *m_messages;
    QWidget *m_liveBubble = nullptr;
    QLabel *m_liveText = nullptr;
    QWidget *m_progressRow = nullptr;
    QLabel *m_progressTitle = nullptr;
    QLabel *m_error;
    QWidget *m_chip;
    QPlainTextEdit *m_followUp;
    QPushButton *m_camera;
    QPushButton *m_microphone;
    QPushButton *m_send;
    QPushButton *m_copy;
    QPushButton *m_paste;
    QList<AgentContextAttachment> m_attachments;
    std::optional<QString> m_attachmentError;
    bool m_capturing = false;
};
