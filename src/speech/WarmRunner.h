#pragma once

#include "speech/DictationServices.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QProcess;
class Scheduler;
class ScheduledTask;

// Transcribes through orvel-speech, which keeps the model loaded between recordings: loading
// starts when a recording starts, and the host exits after an idle time. Where the host is not
// installed or cannot run, or an engine's override variable names the program to run, every call
// goes to the command-line engines (`fallback`) instead.
// A host that crashes or stops answering fails that one transcription; the next starts afresh.
class WarmRunner final : public QObject, public TranscriptionRunner {
    Q_OBJECT

public:
    static constexpr double keepAlways = -1;
    static constexpr double defaultKeepSeconds = 300;

    WarmRunner(Scheduler &scheduler, TranscriptionRunner &fallback, QObject *parent = nullptr);
    ~WarmRunner() override;

    QCoro::Task<Result<QString, OrvelError>> transcribe(QString audioPath, SpeechModel model, QString modelPath,
                                                         QStringList vocabulary, Progress progress) override;
    void prepare(const SpeechModel &model, const QString &modelPath) override;

    // Seconds the model stays loaded after its last use; 0 unloads right after each transcription,
    // keepAlways never.
    void setKeepSeconds(double seconds);
    double keepSeconds() const { return m_keepSeconds; }

    // Where the loaded model runs ("CPU", "Vulkan0 (…)"), or empty when none is loaded.
    QString device() const { return m_device; }
    bool isHostRunning() const { return m_process != nullptr; }
    qint64 hostPid() const;
    // The host could not run here; the command-line engines are used until the program restarts.
    bool isHostUnusable() const { return m_unusable; }

    // The longest a transcription of `seconds` of audio may take before the host counts as hung.
    static double answerLimit(double seconds) { return 120 + 20 * seconds; }

signals:
    void deviceChanged();
    // Internal: one answer for the transcription with this id (or 0 when the host went away).
    void answered(quint64 id);

private:
    struct Pending;
    bool startHost();
    void load(const SpeechModel &model, const QString &modelPath);
    void readAnswers();
    void handle(const QByteArray &line);
    void hostEnded();
    void stopHost();
    void scheduleIdleUnload(bool recordingAhead = false);
    void setDevice(const QString &device);

    Scheduler &m_scheduler;
    TranscriptionRunner &m_fallback;
    QProcess *m_process = nullptr;
    QByteArray m_buffer;
    bool m_ready = false;
    bool m_unusable = false;
    QString m_loadedKey; // engine and model path sent with the last load
    QString m_device;
    double m_keepSeconds = defaultKeepSeconds;
    quint64 m_nextID = 1;
    std::shared_ptr<Pending> m_pending;
    std::unique_ptr<ScheduledTask> m_idleTask;
    std::unique_ptr<ScheduledTask> m_hangTask;
};
