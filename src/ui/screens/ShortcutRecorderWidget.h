#pragma once

#include "app/KeyboardShortcutSetting.h"
#include "app/ShortcutRecorder.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

// Shows one global shortcut and records a new one: click, then press the combination. While it
// records, every key goes to it (the window's own shortcuts included) and captureDidChange tells
// the owner to let go of the global shortcuts.
class ShortcutRecorderWidget final : public QWidget {
    Q_OBJECT

public:
    explicit ShortcutRecorderWidget(bool requiresModifier, QWidget *parent = nullptr);
    ~ShortcutRecorderWidget() override;

    void setShortcut(const KeyboardShortcutSetting &shortcut);
    const KeyboardShortcutSetting &shortcut() const { return m_shortcut; }
    // The desktop refused the combination: it shows as taken until another is recorded.
    void setTaken(bool taken);
    bool isTaken() const { return m_taken; }

    bool isCapturing() const { return m_recorder->isCapturing(); }
    void startCapturing();
    void stopCapturing();

    QPushButton *button() const { return m_button; }
    // The line under the button: the validation or taken message, hidden when empty.
    QString message() const;

signals:
    void shortcutRecorded(const KeyboardShortcutSetting &shortcut);
    void captureDidChange(bool capturing);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    std::unique_ptr<ShortcutRecorder> m_recorder;
    KeyboardShortcutSetting m_shortcut;
    bool m_taken = false;
    QPushButton *m_button;
    QLabel *m_message;
};
