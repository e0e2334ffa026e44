#include "WarmRunner.h"

#include "platform/Scheduler.h"
#include "speech/ResourceLocator.h"
#include "speech/WavWriter.h"
#include "speech/WhisperRunner.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <qcoro/qcorosignal.h>

#include <algorithm>
#include <csignal>

#include <sys/prctl.h>

namespace {

const QString kHostProgram = QStringLiteral("orvel-speech");
// How long the host has to leave after its input is closed before it is killed.
constexpr double kExitGrace = 2;
// How long a model loaded for a recording waits for it, whatever the idle time.
constexpr double kRecordingHold = 300;

// An engine program named by its override variable is the one to run, not the host.
bool engineOverridden(const SpeechModel &model)
{
    const QString variable = ResourceLocator::overrideVariable(WhisperRunner::engineProgram(model.engine));
    return !qEnvironmentVariable(variable.toUtf8().constData()).isEmpty();
}

QString keyOf(const SpeechModel &model, const QString &modelPath)
{
    return (model.engine == SpeechEngine::parakeet ? QStringLiteral("parakeet:") : QStringLiteral("whisper:")) +
           modelPath;
}

} // namespace

struct WarmRunner::Pending {
    quint64 id = 0;
    Progress progress;
    std::optional<Result<QString, OrvelError>> result;
    // The host went away before it could take the request: use the command-line engines.
    bool useFallback = false;
};

WarmRunner::WarmRunner(Scheduler &scheduler, TranscriptionRunner &fallback, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_fallback(fallback)
{
}

WarmRunner::~WarmRunner()
{
    m_idleTask.reset();
    m_hangTask.reset();
    if (m_process) {
        m_process->disconnect();
        m_process->kill();
        m_process->waitForFinished(3000);
        delete m_process;
    }
}

qint64 WarmRunner::hostPid() const { return m_process ? m_process->processId() : 0; }

void WarmRunner::setKeepSeconds(double seconds)
{
    m_keepSeconds = seconds < 0 ? keepAlways : seconds;
    if (m_process && !m_pending)
        scheduleIdleUnload();
}

void WarmRunner::setDevice(const QString &device)
{
    if (device == m_device)
        return;
    m_device = device;
    emit deviceChanged();
}

bool WarmRunner::startHost()
{
    if (m_process)
        return true;
    if (m_unusable)
        return false;
    const auto program = ResourceLocator::bundledExecutable(kHostProgram);
    if (!program || !ResourceLocator::isExecutableFile(*program))
        return false;
    m_process = new QProcess(this);
    m_process->setProgram(*program);
    // Its diagnostics go into its answers; nothing may fill a pipe nobody reads.
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // The host must not outlive the program, even when the program is killed; it also leaves
    // when its input closes.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &WarmRunner::readAnswers);
    connect(m_process, &QProcess::finished, this, &WarmRunner::hostEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            hostEnded();
    });
    m_ready = false;
    m_loadedKey.clear();
    m_buffer.clear();
    m_process->start();
    return m_process != nullptr;
}

void WarmRunner::load(const SpeechModel &model, const QString &modelPath)
{
    const QString key = keyOf(model, modelPath);
    if (key == m_loadedKey)
        return;
    m_loadedKey = key;
    setDevice({});
    const QJsonObject request{
        {QStringLiteral("type"), QStringLiteral("load")},
        {QStringLiteral("engine"),
         model.engine == SpeechEngine::parakeet ? QStringLiteral("parakeet") : QStringLiteral("whisper")},
        {QStringLiteral("model"), modelPath},
        {QStringLiteral("threads"), WhisperRunner::threadCount(QThread::idealThreadCount())}};
    m_process->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
}

void WarmRunner::prepare(const SpeechModel &model, const QString &modelPath)
{
    if (modelPath.isEmpty() || engineOverridden(model) || !startHost())
        return;
    load(model, modelPath);
    if (!m_pending)
        scheduleIdleUnload(true);
}

QCoro::Task<Result<QString, OrvelError>> WarmRunner::transcribe(QString audioPath, SpeechModel model,
                                                                 QString modelPath, QStringList vocabulary,
                                                                 Progress progress)
{
    if (m_pending || engineOverridden(model) || !startHost()) {
        // One request at a time goes to the host; an overlapping one takes the per-call engine.
        auto fallback = m_fallback.transcribe(audioPath, model, modelPath, vocabulary, progress);
        co_return co_await std::move(fallback);
    }
    m_idleTask.reset();
    load(model, modelPath);
    if (progress)
        progress(0.02);

    auto pending = std::make_shared<Pending>();
    pending->id = m_nextID++;
    pending->progress = progress;
    m_pending = pending;
    const QJsonObject request{
        {QStringLiteral("type"), QStringLiteral("transcribe")},
        {QStringLiteral("id"), double(pending->id)},
        {QStringLiteral("audio"), audioPath},
        {QStringLiteral("language"), model.isEnglishOnly ? QStringLiteral("en") : QStringLiteral("auto")},
        {QStringLiteral("vocabulary"),
         model.engine == SpeechEngine::whisper ? QJsonArray::fromStringList(vocabulary) : QJsonArray()}};
    m_process->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');

    const double seconds = std::max<qint64>(0, QFileInfo(audioPath).size() - WavWriter::headerSize) / 32000.0;
    m_hangTask = m_scheduler.after(answerLimit(seconds), [this] {
        if (!m_pending || !m_process)
            return;
        m_pending->result = OrvelError::transcriptionFailed(
            QStringLiteral("The speech engine stopped responding and was stopped. Try again."));
        m_process->kill();
    });

    QPointer<WarmRunner> self(this);
    while (!pending->result && !pending->useFallback) {
        co_await qCoro(this, &WarmRunner::answered);
        if (!self)
            co_return OrvelError::transcriptionFailed(QStringLiteral("The program is closing."));
    }
    if (m_pending == pending)
        m_pending.reset();
    m_hangTask.reset();
    if (m_process)
        scheduleIdleUnload();

    if (pending->useFallback) {
        auto fallback = m_fallback.transcribe(audioPath, model, modelPath, vocabulary, progress);
        co_return co_await std::move(fallback);
    }
    if (!pending->result->ok())
        co_return pending->result->error();
    // Parakeet gets no prompt, but its text is corrected like Whisper's.
    co_return model.engine == SpeechEngine::parakeet
        ? WhisperRunner::normalizeVocabulary(pending->result->value(), vocabulary)
        : pending->result->value();
}

void WarmRunner::readAnswers()
{
    if (!m_process)
        return;
    m_buffer += m_process->readAllStandardOutput();
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        handle(line);
    }
}

void WarmRunner::handle(const QByteArray &line)
{
    const QJsonObject answer = QJsonDocument::fromJson(line).object();
    const QString type = answer.value(QStringLiteral("type")).toString();
    const quint64 id = quint64(answer.value(QStringLiteral("id")).toDouble());
    if (type == QLatin1String("ready")) {
        m_ready = true;
    } else if (type == QLatin1String("loaded")) {
        setDevice(answer.value(QStringLiteral("device")).toString());
    } else if (type == QLatin1String("error") && id == 0) {
        // The model did not load; the next use tries again, and the transcription waiting for it
        // gets this message from the host.
        m_loadedKey.clear();
    } else if (m_pending && id == m_pending->id) {
        if (type == QLatin1String("progress")) {
            const double percent = answer.value(QStringLiteral("percent")).toDouble();
            if (m_pending->progress)
                m_pending->progress(std::clamp(percent / 100.0, 0.02, 0.97));
            return;
        }
        if (type == QLatin1String("transcript")) {
            m_pending->result = answer.value(QStringLiteral("text")).toString();
        } else if (answer.value(QStringLiteral("kind")).toString() == QLatin1String("emptyTranscript")) {
            m_pending->result = OrvelError::emptyTranscript();
        } else {
            m_pending->result = OrvelError::transcriptionFailed(answer.value(QStringLiteral("message")).toString());
        }
        emit answered(id);
    }
}

void WarmRunner::hostEnded()
{
    if (!m_process)
        return;
    QProcess *process = std::exchange(m_process, nullptr);
    const bool wasReady = m_ready;
    process->disconnect(this);
    process->deleteLater();
    m_idleTask.reset();
    m_loadedKey.clear();
    setDevice({});
    if (!wasReady) {
        // It never came up: missing libraries, a broken engine folder. Not worth trying again.
        m_unusable = true;
        qWarning("orvel-speech could not start; using the command-line speech engines");
    }
    if (m_pending && !m_pending->result) {
        if (!wasReady)
            m_pending->useFallback = true;
        else
            m_pending->result = OrvelError::transcriptionFailed(
                QStringLiteral("The speech engine stopped unexpectedly. Try again."));
    }
    if (m_pending)
        emit answered(m_pending->id);
}

void WarmRunner::stopHost()
{
    if (!m_process)
        return;
    m_idleTask.reset();
    // It leaves at the end of its input; one that does not is killed.
    m_process->closeWriteChannel();
    QPointer<QProcess> process(m_process);
    m_idleTask = m_scheduler.after(kExitGrace, [process] {
        if (process)
            process->kill();
    });
}

void WarmRunner::scheduleIdleUnload(bool recordingAhead)
{
    m_idleTask.reset();
    if (!m_process || m_keepSeconds == keepAlways)
        return;
    // Loaded at a key press, the model waits at least for the recording to end.
    const double seconds = recordingAhead ? std::max(m_keepSeconds, kRecordingHold) : m_keepSeconds;
    if (seconds <= 0)
        return stopHost();
    m_idleTask = m_scheduler.after(seconds, [this] { stopHost(); });
}
