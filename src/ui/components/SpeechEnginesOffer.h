#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class PrimaryButton;
class QuietButton;
class SpeechEngineInstaller;

// "Get the speech engines": shown where Dictation would find no engine (onboarding, Models),
// with the size, the progress, a Cancel and the reason of a failure. Hides itself once the
// engines are found.
class SpeechEnginesOffer final : public QWidget {
    Q_OBJECT
public:
    explicit SpeechEnginesOffer(SpeechEngineInstaller &installer, QWidget *parent = nullptr);

    // Looks again whether the engines are there (after a set-up outside the program, say).
    void refresh();

private:
    SpeechEngineInstaller &m_installer;
    PrimaryButton *m_get;
    QuietButton *m_cancel;
    QProgressBar *m_progress;
    QLabel *m_stage;
    QLabel *m_error;
};
