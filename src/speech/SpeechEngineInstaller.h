#pragma once

#include <QObject>
#include <QString>

class QProcess;

// "Get the speech engines": runs the shipped engines.sh --user as a child, the same script set-up
// runs, which puts Debian's whisper.cpp and llama.cpp programs into this user's engine folder
// without root. Its stderr lines are the progress; cancelling ends the script and everything it
// started (its own process group).
class SpeechEngineInstaller : public QObject {
    Q_OBJECT
public:
    enum class State { idle, running, failed };

    explicit SpeechEngineInstaller(QObject *parent = nullptr);
    ~SpeechEngineInstaller() override;

    // Whether Dictation's engine can be found anywhere the program looks.
    static bool enginesFound();
    // What the offer says about the size before anything is known.
    static QString sizeText();

    State state() const { return m_state; }
    bool running() const { return m_state == State::running; }
    // 0…1 while the packages download; below 0 when the step has no measure.
    double progress() const { return m_progress; }
    // The step under way, in the script's words.
    QString stage() const { return m_stage; }
    // Why the last attempt failed; empty after a success or a cancel.
    QString error() const { return m_error; }

    void start();
    void cancel();

signals:
    void changed();
    void finished(bool succeeded);

private:
    void readErrorLines();
    void handleLine(const QString &line);
    void handleExit(int exitCode, bool crashed);
    void signalGroup(int signal);

    QProcess *m_process = nullptr;
    State m_state = State::idle;
    double m_progress = -1;
    QString m_stage, m_error, m_lastMessage;
    QByteArray m_pending;
    bool m_cancelled = false;
};
