#include "WhisperRunner.h"

#include "speech/ProcessOutputCollector.h"
#include "speech/ResourceLocator.h"
#include "speech/Vocabulary.h"

#include <QProcess>
#include <QThread>

#include <qcoro/qcoroprocess.h>

#include <algorithm>
#include <coroutine>
#include <csignal>
#include <memory>

#include <sys/prctl.h>

namespace {

// Suspends until the child has left the Starting state, either way. Resumed from the event loop,
// so a failure's error and message are set by then, and only once however many changes follow.
struct LaunchAnswered {
    QProcess *process;
    QMetaObject::Connection connection = {};

    bool await_ready() const noexcept { return process->state() != QProcess::Starting; }
    void await_suspend(std::coroutine_handle<> awaiting)
    {
        connection = QObject::connect(process, &QProcess::stateChanged, process, [this, awaiting] {
            QObject::disconnect(connection);
            QMetaObject::invokeMethod(process, [awaiting] { awaiting.resume(); }, Qt::QueuedConnection);
        });
    }
    void await_resume() const noexcept {}
};

} // namespace

WhisperRunner::WhisperRunner(QObject *parent) : QObject(parent) {}

WhisperRunner::~WhisperRunner()
{
    for (QProcess *process : std::as_const(m_running)) {
        // Nobody waits for these any more; silence them before they report their end.
        process->disconnect();
        process->kill();
        process->waitForFinished(3000);
        delete process;
    }
}

QString WhisperRunner::engineProgram(SpeechEngine engine)
{
    return engine == SpeechEngine::parakeet ? QStringLiteral("parakeet-cli") : QStringLiteral("whisper-cli");
}

int WhisperRunner::threadCount(int cores) { return std::clamp(cores - 2, 2, 8); }

QStringList WhisperRunner::arguments(const SpeechModel &model, const QString &modelPath, const QString &audioPath,
                                     const QStringList &vocabulary, int threads)
{
    const QString t = QString::number(threads);
    if (model.engine == SpeechEngine::parakeet)
        return {QStringLiteral("--model"), modelPath, QStringLiteral("--file"), audioPath,
                QStringLiteral("--threads"), t, QStringLiteral("--no-prints")};
    QStringList args{QStringLiteral("--model"),
                     modelPath,
                     QStringLiteral("--file"),
                     audioPath,
                     QStringLiteral("--no-timestamps"),
                     QStringLiteral("--no-prints"),
                     QStringLiteral("--print-progress"),
                     QStringLiteral("--language"),
                     model.isEnglishOnly ? QStringLiteral("en") : QStringLiteral("auto"),
                     QStringLiteral("--threads"),
                     t,
                     QStringLiteral("--suppress-nst")};
    if (!vocabulary.isEmpty())
        args << QStringLiteral("--prompt") << Vocabulary::prompt(vocabulary);
    return args;
}

QString WhisperRunner::normalizeVocabulary(const QString &text, const QStringList &vocabulary)
{
    return Vocabulary::normalize(text, vocabulary);
}

OrvelError WhisperRunner::failureFromStandardError(const QByteArray &standardError)
{
    QStringList lines;
    for (const QString &piece : QString::fromUtf8(standardError).split(QLatin1Char('\n'))) {
        const QString line = piece.trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return OrvelError::transcriptionFailed(lines.mid(std::max<qsizetype>(0, lines.size() - 2)).join(QLatin1Char(' ')));
}

QCoro::Task<Result<QString, OrvelError>> WhisperRunner::transcribe(QString audioPath, SpeechModel model,
                                                                    QString modelPath, QStringList vocabulary,
                                                                    Progress progress)
{
    const auto program = ResourceLocator::bundledExecutable(engineProgram(model.engine));
    if (!program)
        co_return OrvelError::missingEngine(engineProgram(model.engine));

    auto *process = new QProcess(this);
    m_running.insert(process);
    process->setProgram(*program);
    process->setArguments(arguments(model, modelPath, audioPath, vocabulary, threadCount(QThread::idealThreadCount())));
    process->setProcessChannelMode(QProcess::SeparateChannels);
    // The engine must not outlive the program, even when the program is killed.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });

    auto output = std::make_shared<ProcessOutputCollector>();
    auto errors = std::make_shared<ProcessOutputCollector>();
    const bool reportsProgress = model.engine == SpeechEngine::whisper;
    connect(process, &QProcess::readyReadStandardOutput, process,
            [process, output] { output->append(process->readAllStandardOutput()); });
    connect(process, &QProcess::readyReadStandardError, process, [process, errors, reportsProgress, progress] {
        errors->append(process->readAllStandardError());
        if (!reportsProgress || !progress)
            return;
        if (const auto percent = errors->latestWhisperProgress())
            progress(std::min(std::max(*percent / 100.0, 0.02), 0.97));
    });

    if (progress)
        progress(0.02);
    process->start(QIODevice::ReadOnly);
    // Whether the launch worked arrives through the event loop, which keeps running meanwhile;
    // the first change of state says which (a refused program goes straight to NotRunning).
    co_await LaunchAnswered{process};
    if (process->error() == QProcess::FailedToStart) {
        const QString reason = process->errorString();
        m_running.remove(process);
        process->deleteLater();
        co_return OrvelError::transcriptionFailed(QStringLiteral("The speech engine could not be started: %1").arg(reason));
    }
    if (process->state() != QProcess::NotRunning) {
        auto finished = qCoro(process).waitForFinished(std::chrono::milliseconds(-1));
        co_await std::move(finished);
    }

    output->append(process->readAllStandardOutput());
    errors->append(process->readAllStandardError());
    const bool succeeded = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    m_running.remove(process);
    process->deleteLater();

    if (!succeeded)
        co_return failureFromStandardError(errors->data());
    // Broken UTF-8 (whisper can split a character between tokens) keeps the rest of the text.
    const QString text = QString::fromUtf8(output->data()).trimmed();
    if (text.isEmpty())
        co_return OrvelError::emptyTranscript();
    co_return normalizeVocabulary(text, vocabulary);
}
