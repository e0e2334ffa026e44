#pragma once

#include "components/ScreenColumn.h"
#include "window/WindowContext.h"

class PrimaryButton;
class QLabel;
class QVBoxLayout;

// The hero with the Dictation button, three figures and the latest transcripts.
class HomeScreen final : public ScreenColumn {
    Q_OBJECT
public:
    HomeScreen(const WindowContext &context, QWidget *parent = nullptr);

    PrimaryButton *dictationButton() const { return m_dictate; }
    QString badgeText() const;
    QString activeModelText() const;
    QString savedText() const;
    // The texts of the Recent block, top to bottom.
    QStringList recentTexts() const;

    // "N transcript" with "s" unless N is 1.
    static QString transcriptCount(qsizetype count);

private:
    void refreshStatus();
    void refreshModel();
    void refreshHistory();

    WindowContext m_context;
    QLabel *m_badge;
    PrimaryButton *m_dictate;
    QLabel *m_activeModel;
    QLabel *m_saved;
    QWidget *m_recent;
    QVBoxLayout *m_recentRows;
    QWidget *m_recentBody = nullptr;
};
