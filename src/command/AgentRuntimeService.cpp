#include "AgentRuntimeService.h"

#include "speech/AppPaths.h"
#include "speech/ResourceLocator.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

namespace {

using Kind = AgentRuntimeError::Kind;

AgentRunResult failed(const AgentRuntimeError &error) { return AgentRunResult(AgentRunFailure(error)); }

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x85 || u == 0x2028 || u == 0x2029;
}

} // namespace

// A run's one-shot result. The waiting coroutine is resumed from the event loop, never from
// inside the service's own event handling, so a caller that starts the next run straight away
// does not re-enter the service halfway through a read.
struct AgentRuntimeService::Completion {
    std::optional<AgentRunResult> result;
    std::coroutine_handle<> waiter;

    void resolve(AgentRunResult value)
    {
        if (result)
            return;
        result = std::move(value);
        if (!waiter)
            return;
        const std::coroutine_handle<> h = std::exchange(waiter, {});
        QMetaObject::invokeMethod(QCoreApplication::instance(), [h] { h.resume(); }, Qt::QueuedConnection);
    }
};

// Holds a plain pointer: the run keeps the completion alive in a named local, since GCC 12
// mishandles awaiters with owning members used as temporaries in a co_await expression.
struct AgentRuntimeService::CompletionAwaiter {
    Completion *completion;
    bool await_ready() const noexcept { return completion->result.has_value(); }
    void await_suspend(std::coroutine_handle<> h) noexcept { completion->waiter = h; }
    AgentRunResult await_resume() { return std::move(*completion->result); }
};

AgentRuntimeService::AgentRuntimeService(Scheduler &scheduler, std::optional<QString> executableOverride,
                                         double modelLoadTimeout, double runTimeout, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_executableOverride(std::move(executableOverride)),
      m_modelLoadTimeout(modelLoadTimeout), m_runTimeout(runTimeout)
{
}

AgentRuntimeService::~AgentRuntimeService()
{
    // Timers go with their runs; the children are ended so none outlives the application.
    m_pending.clear();
    std::vector<QProcess *> children;
    if (m_process)
        children.push_back(m_process);
    for (auto &r : m_retired)
        children.push_back(r.process);
    m_retired.clear();
    for (QProcess *p : children) {
        p->disconnect(this);
        p->closeWriteChannel();
        p->terminate();
        if (!p->waitForFinished(500))
            p->kill();
        p->waitForFinished(500);
        delete p;
    }
}

std::optional<QString> AgentRuntimeService::bundledExecutable(const QString &name)
{
    return ResourceLocator::bundledExecutable(name);
}

qint64 AgentRuntimeService::processId() const { return m_process ? m_process->processId() : 0; }

Result<void, AgentRuntimeError> AgentRuntimeService::ensureProcess()
{
    if (m_process && m_process->state() == QProcess::Running)
        return {};
    if (m_process)
        detachCurrent(); // exited, its end not yet reported

    const std::optional<QString> executable =
        m_executableOverride ? m_executableOverride : bundledExecutable(QStringLiteral("orvel-agent"));
    if (!executable)
        return AgentRuntimeError(Kind::runtimeMissing);

    m_readBuffer.clear();
    m_stderrBuffer.clear();
    const QUuid generation = QUuid::createUuid();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OPENAI_AGENTS_DISABLE_TRACING"), QStringLiteral("1"));
    AgentProtocol::removeCloudCredentials(environment);

    auto *process = new QProcess(this);
    process->setProgram(*executable);
    process->setArguments({});
    process->setProcessEnvironment(environment);
    // The runtime ends with us even if we crash before closing its input.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });

    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, process, generation] { consume(process->readAllStandardOutput(), generation); });
    connect(process, &QProcess::readyReadStandardError, this,
            [this, process, generation] { captureStderr(process->readAllStandardError(), generation); });
    connect(process, &QProcess::finished, this,
            [this, process, generation] { runtimeTerminated(process, generation); });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, generation] { processError(process, generation); });

    process->start(QIODevice::ReadWrite);
    // Only the exec result is awaited here (reported at once by the child), not the runtime.
    if (!process->waitForStarted(5000)) {
        process->disconnect(this);
        delete process;
        return AgentRuntimeError(Kind::runtimeMissing);
    }
    m_process = process;
    m_generation = generation;
    return {};
}

QCoro::Task<AgentRunResult> AgentRuntimeService::run(AgentRuntimeRequest request, EventHandler onEvent)
{
    if (!m_pending.empty())
        co_return failed(AgentRuntimeError(Kind::busy));
    if (auto started = ensureProcess(); !started)
        co_return failed(started.error());
    if (!m_generation)
        co_return failed(AgentRuntimeError(Kind::runtimeMissing));

    const QUuid id = request.requestID;
    PendingRun pending;
    pending.onEvent = std::move(onEvent);
    pending.completion = std::make_shared<Completion>();
    pending.modelName = request.model ? request.model->name : QStringLiteral("The local model");
    const double now = m_scheduler.now();
    pending.loadingDeadline = now + m_modelLoadTimeout;
    pending.loadingCap = now + std::max(m_modelLoadTimeout, modelLoadCap);
    pending.runDeadline = now + m_runTimeout;
    pending.loadingTimeout = m_scheduler.after(m_modelLoadTimeout, [this, id] { modelLoadTimedOut(id); });
    pending.runTimeout = m_scheduler.after(m_runTimeout, [this, id] { runTimedOut(id); });
    const std::shared_ptr<Completion> completion = pending.completion;
    m_pending.emplace(id, std::move(pending));

    if (auto written = write(request, *m_generation); !written) {
        finish(id, failed(written.error()));
        retireRuntime();
    }
    // Nothing of the service is touched after this point: it may be gone when we resume.
    CompletionAwaiter awaiter{completion.get()};
    AgentRunResult result = co_await awaiter;
    co_return result;
}

Result<void, AgentRuntimeError> AgentRuntimeService::write(const AgentRuntimeRequest &request,
                                                          const QUuid &generation)
{
    if (!m_process || m_generation != generation)
        return AgentRuntimeError(Kind::runtimeMissing);
    const QByteArray line = AgentProtocol::encodedLine(request);
    // QProcess copies the bytes into its write buffer and feeds the pipe from the event loop as
    // the runtime reads: the main thread never blocks on a full pipe, and lines leave in the
    // order they were written. That buffer is this service's serial writer.
    if (m_process->write(line) != line.size())
        return AgentRuntimeError::writingModelUnavailable(m_process->errorString());
    return {};
}

void AgentRuntimeService::consume(const QByteArray &data, const QUuid &generation)
{
    if (m_generation != generation)
        return;
    m_readBuffer.append(data);
    qsizetype lineFeed;
    while ((lineFeed = m_readBuffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_readBuffer.left(lineFeed);
        m_readBuffer.remove(0, lineFeed + 1);
        if (line.isEmpty())
            continue;
        const auto event = AgentProtocol::decodeEvent(line);
        if (!event) {
            failAllPending(AgentRuntimeError(Kind::invalidRuntimeResponse).description());
            retireRuntime();
            return;
        }
        handle(*event);
        if (m_generation != generation)
            return; // the event retired the process; its remaining bytes go with it
    }
    // No line feed within the limit: the runtime is not speaking the protocol.
    if (m_readBuffer.size() > AgentProtocol::maxLineBytes) {
        m_readBuffer.clear();
        failAllPending(QStringLiteral("Command sent a reply longer than %1 MB, which is not allowed.")
                           .arg(AgentProtocol::maxLineBytes / (1024 * 1024)));
        retireRuntime();
    }
}

void AgentRuntimeService::handle(const AgentRuntimeEvent &event)
{
    if (!event.requestID) {
        if (event.kind == AgentProtocolEventKind::error) {
            failAllPending(event.text && !event.text->isEmpty() ? *event.text
                                                                : QStringLiteral("Command rejected the request."));
            retireRuntime();
        }
        return;
    }
    const QUuid id = *event.requestID;
    auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    const EventHandler onEvent = it->second.onEvent; // the handler may cancel the run
    if (onEvent)
        onEvent(event);
    it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    if (event.phase == AgentPhase::generating)
        it->second.loadingTimeout.reset();
    else if (event.kind == AgentProtocolEventKind::phase && event.phase == AgentPhase::loadingModel &&
             it->second.loadingTimeout)
        extendLoading(id, it->second);
    if (event.kind == AgentProtocolEventKind::error && event.code == QStringLiteral("invalidRuntimeResponse")) {
        finish(id, failed(AgentRuntimeError(Kind::invalidRuntimeResponse)));
    } else if (event.kind == AgentProtocolEventKind::error) {
        // An empty message would leave the user with a blank error.
        finish(id, failed(AgentRuntimeError::writingModelUnavailable(
                       event.text && !event.text->isEmpty() ? *event.text : QStringLiteral("Command failed."))));
    } else if (event.kind == AgentProtocolEventKind::completed) {
        finish(id, AgentRunResult(event.text.value_or(QString())));
    }
}

void AgentRuntimeService::captureStderr(const QByteArray &data, const QUuid &generation)
{
    if (m_generation != generation)
        return;
    m_stderrBuffer.append(data);
    if (m_stderrBuffer.size() > stderrLimit)
        m_stderrBuffer.remove(0, m_stderrBuffer.size() - stderrLimit);
}

QString AgentRuntimeService::diagnosticSuffix() const
{
    const QString text = QString::fromUtf8(m_stderrBuffer);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isLineBreak(text.at(i))) {
            if (i > start)
                lines << text.mid(start, i - start);
            start = i + 1;
        }
    }
    const QString joined = lines.mid(std::max<qsizetype>(0, lines.size() - 3)).join(QLatin1Char(' ')).trimmed();
    return joined.isEmpty() ? QString() : QStringLiteral(" ") + joined;
}

void AgentRuntimeService::runtimeTerminated(QProcess *process, const QUuid &generation)
{
    if (m_generation == generation) {
        // Whatever it wrote last is still in the pipes; read it before judging.
        consume(process->readAllStandardOutput(), generation);
        captureStderr(process->readAllStandardError(), generation);
    }
    if (m_generation == generation) {
        m_process = nullptr;
        m_generation.reset();
        process->disconnect(this);
        process->deleteLater();
        failAllPending(QStringLiteral("Command stopped unexpectedly.") + diagnosticSuffix());
        return;
    }
    endRetired(process, false);
}

void AgentRuntimeService::failAllPending(const QString &message)
{
    while (!m_pending.empty())
        finish(m_pending.begin()->first, failed(AgentRuntimeError::writingModelUnavailable(message)));
}

// The runtime repeats `loadingModel` while the model is still loading. Each report moves the
// loading deadline to modelLoadTimeout after it, up to the cap, and the run deadline by the same
// amount, so a slow load does not eat into the time for writing.
void AgentRuntimeService::extendLoading(const QUuid &requestID, PendingRun &run)
{
    const double now = m_scheduler.now();
    const double deadline = std::min(now + m_modelLoadTimeout, run.loadingCap);
    const double gained = deadline - run.loadingDeadline;
    if (gained <= 0)
        return;
    run.loadingDeadline = deadline;
    run.runDeadline += gained;
    run.loadingTimeout = m_scheduler.after(deadline - now, [this, requestID] { modelLoadTimedOut(requestID); });
    run.runTimeout = m_scheduler.after(run.runDeadline - now, [this, requestID] { runTimedOut(requestID); });
}

// A request that cannot reach the runtime fails now, not at its deadline.
void AgentRuntimeService::processError(QProcess *process, const QUuid &generation)
{
    if (m_generation != generation || process->error() != QProcess::WriteError)
        return;
    failAllPending(QStringLiteral("The request could not be sent to Command: ") + process->errorString() +
                   QLatin1Char('.') + diagnosticSuffix());
    retireRuntime();
}

void AgentRuntimeService::modelLoadTimedOut(const QUuid &requestID)
{
    const auto it = m_pending.find(requestID);
    if (it == m_pending.end())
        return;
    const QString message = it->second.modelName + QStringLiteral(" did not start in time.") + diagnosticSuffix();
    finish(requestID, failed(AgentRuntimeError::writingModelUnavailable(message)));
    retireRuntime();
}

void AgentRuntimeService::runTimedOut(const QUuid &requestID)
{
    if (!m_pending.contains(requestID))
        return;
    finish(requestID,
           failed(AgentRuntimeError::writingModelUnavailable(QStringLiteral("Command stopped responding.") +
                                                            diagnosticSuffix())));
    retireRuntime();
}

void AgentRuntimeService::cancel(const QUuid &requestID)
{
    if (!m_pending.contains(requestID))
        return;
    finish(requestID, AgentRunResult(AgentRunFailure::cancellation()));
    retireRuntime();
}

void AgentRuntimeService::finish(const QUuid &requestID, AgentRunResult result)
{
    auto node = m_pending.extract(requestID);
    if (node.empty())
        return;
    node.mapped().loadingTimeout.reset();
    node.mapped().runTimeout.reset();
    node.mapped().completion->resolve(std::move(result));
}

void AgentRuntimeService::retireRuntime()
{
    if (!m_process)
        return;
    QProcess *old = m_process;
    m_process = nullptr;
    m_generation.reset();

    const QByteArray shutdown =
        AgentProtocol::encodedLine(AgentRuntimeRequest::shutdown(AppPaths::agentSessions()));
    if (old->state() == QProcess::Running)
        old->write(shutdown);
    old->closeWriteChannel(); // after the buffered bytes, so the shutdown line goes first

    RetiredProcess retired;
    retired.process = old;
    retired.grace = m_scheduler.after(retireGrace, [this, old] { endRetired(old, true); });
    m_retired.push_back(std::move(retired));
}

void AgentRuntimeService::detachCurrent()
{
    QProcess *old = m_process;
    m_process = nullptr;
    m_generation.reset();
    if (!old)
        return;
    old->closeWriteChannel();
    RetiredProcess retired;
    retired.process = old;
    retired.grace = m_scheduler.after(retireGrace, [this, old] { endRetired(old, true); });
    m_retired.push_back(std::move(retired));
}

// A retired process either ended (finished) or outstayed its grace (kill == true): terminate it
// first, and if it ignores that too, kill it after another grace period.
void AgentRuntimeService::endRetired(QProcess *process, bool kill)
{
    const auto it = std::find_if(m_retired.begin(), m_retired.end(),
                                 [process](const RetiredProcess &r) { return r.process == process; });
    if (it == m_retired.end())
        return;
    if (kill && process->state() != QProcess::NotRunning) {
        disconnect(process, &QProcess::readyReadStandardOutput, this, nullptr);
        disconnect(process, &QProcess::readyReadStandardError, this, nullptr);
        process->closeReadChannel(QProcess::StandardOutput);
        process->closeReadChannel(QProcess::StandardError);
        if (!it->terminated) {
            it->terminated = true;
            process->terminate();
        } else {
            process->kill();
        }
        it->grace = m_scheduler.after(retireGrace, [this, process] { endRetired(process, true); });
        return;
    }
    process->disconnect(this);
    process->deleteLater();
    m_retired.erase(it);
}
