#include "speech/SpeechEngineInstaller.h"

#include "speech/ResourceLocator.h"

#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString kPrefix = QStringLiteral("Speech and chat engines: ");

QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace

SpeechEngineInstaller::SpeechEngineInstaller(QObject *parent) : QObject(parent) {}

SpeechEngineInstaller::~SpeechEngineInstaller()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        signalGroup(SIGKILL);
        m_process->waitForFinished(3000);
    }
}

bool SpeechEngineInstaller::enginesFound()
{
    return ResourceLocator::bundledExecutable(QStringLiteral("whisper-cli")).has_value();
}

QString SpeechEngineInstaller::sizeText() { return QStringLiteral("About 140 MB to download, 200 MB on disk"); }

void SpeechEngineInstaller::start()
{
    if (running())
        return;
    m_cancelled = false;
    m_error.clear();
    m_lastMessage.clear();
    m_pending.clear();
    m_progress = -1;
    const auto script = ResourceLocator::bundledExecutable(QStringLiteral("engines.sh"));
    if (!script) {
        m_state = State::failed;
        m_error = QStringLiteral("Could not get the speech engines: engines.sh is not installed with the program.");
        emit changed();
        emit finished(false);
        return;
    }
    delete m_process;
    m_process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVEL_ENGINES_PROGRESS"), QStringLiteral("1"));
    env.insert(QStringLiteral("ORVEL_ENGINE_CACHE"), ResourceLocator::userEngineFolder());
    env.remove(QStringLiteral("ORVEL_ENGINES"));
    m_process->setProcessEnvironment(env);
    // Its own process group, so a cancel reaches apt and its download methods too; and it ends
    // when the program does.
    m_process->setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardError, this, &SpeechEngineInstaller::readErrorLines);
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        handleExit(code, status == QProcess::CrashExit);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            handleExit(127, false);
    });
    m_state = State::running;
    m_stage = QStringLiteral("Starting");
    emit changed();
    m_process->start(*script, {QStringLiteral("--user")});
}

void SpeechEngineInstaller::cancel()
{
    if (!running() || m_cancelled)
        return;
    m_cancelled = true;
    m_stage = QStringLiteral("Cancelling");
    emit changed();
    signalGroup(SIGTERM);
    // apt waits for a method that hangs on the network; the group goes for good after a while.
    QTimer::singleShot(3000, m_process, [this] { signalGroup(SIGKILL); });
}

void SpeechEngineInstaller::signalGroup(int signal)
{
    if (m_process && m_process->processId() > 0)
        ::kill(-pid_t(m_process->processId()), signal);
}

void SpeechEngineInstaller::readErrorLines()
{
    m_pending += m_process->readAllStandardError();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
        m_pending.remove(0, end + 1);
        if (!line.isEmpty())
            handleLine(line);
    }
}

void SpeechEngineInstaller::handleLine(const QString &line)
{
    // apt's status: "dlstatus:FILE:PERCENT:TEXT".
    if (line.startsWith(QStringLiteral("dlstatus:"))) {
        const QStringList parts = line.split(QLatin1Char(':'));
        bool ok = false;
        const double percent = parts.value(2).toDouble(&ok);
        if (ok && !m_cancelled) {
            m_progress = qBound(0.0, percent / 100.0, 1.0);
            emit changed();
        }
        return;
    }
    if (!line.startsWith(kPrefix))
        return;
    const QString message = line.mid(kPrefix.size());
    // The steps; any other line says why the script gives up.
    const bool step = message.startsWith(QStringLiteral("reading ")) || message.startsWith(QStringLiteral("downloading ")) ||
                      message == QStringLiteral("unpacking");
    m_lastMessage = step ? QString() : message;
    if (m_cancelled || !step)
        return;
    m_stage = sentence(message);
    m_progress = message.startsWith(QStringLiteral("downloading")) ? 0.0 : -1.0;
    emit changed();
}

void SpeechEngineInstaller::handleExit(int exitCode, bool crashed)
{
    if (!running())
        return;
    readErrorLines();
    const bool succeeded = !m_cancelled && !crashed && exitCode == 0 && enginesFound();
    m_state = (succeeded || m_cancelled) ? State::idle : State::failed;
    m_progress = -1;
    m_stage.clear();
    if (!succeeded && !m_cancelled) {
        QString why = m_lastMessage;
        if (why.isEmpty())
            why = exitCode == 127 ? QStringLiteral("engines.sh did not start")
                                  : QStringLiteral("engines.sh ended with status %1").arg(exitCode);
        else if (exitCode == 0)
            why = QStringLiteral("the engines did not start from %1").arg(ResourceLocator::userEngineFolder());
        m_error = QStringLiteral("Could not get the speech engines: %1.").arg(why);
    }
    emit changed();
    emit finished(succeeded);
}
