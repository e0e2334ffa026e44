#pragma once

#include "speech/DictationServices.h"

#include <QObject>
#include <QSet>

class QProcess;

// Runs whisper-cli or parakeet-cli on one recording and returns the corrected transcript.
// Children still running when the runner goes away are killed, and they die with the program.
class WhisperRunner final : public QObject, public TranscriptionRunner {
    Q_OBJECT

public:
    explicit WhisperRunner(QObject *parent = nullptr);
    ~WhisperRunner() override;

    QCoro::Task<Result<QString, OrvelError>> transcribe(QString audioPath, SpeechModel model, QString modelPath,
                                                         QStringList vocabulary, Progress progress) override;

    static QString engineProgram(SpeechEngine engine);
    // Cores minus two, at least 2 and at most 8.
    static int threadCount(int cores);
    static QStringList arguments(const SpeechModel &model, const QString &modelPath, const QString &audioPath,
                                 const QStringList &vocabulary, int threads);
    // Rewrites every whole-word, case-insensitive occurrence of a term to the term's spelling,
    // longest terms first.
    static QString normalizeVocabulary(const QString &text, const QStringList &vocabulary);
    // The error of a failed run: the last two non-empty lines of standard error.
    static OrvelError failureFromStandardError(const QByteArray &standardError);

    int runningCount() const { return int(m_running.size()); }

private:
    QSet<QProcess *> m_running;
};
