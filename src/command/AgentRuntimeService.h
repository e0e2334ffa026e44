#pragma once

#include "command/AgentRuntimeError.h"
#include "command/AgentRuntimeProtocol.h"
#include "platform/Result.h"
#include "platform/Scheduler.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <coroutine>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QProcess;

// Why a run ended without text: a runtime error, or the caller's own cancellation.
class AgentRunFailure {
public:
    enum class Kind { runtimeError, cancelled };

    AgentRunFailure(AgentRuntimeError error) : m_error(std::move(error)) {}
    static AgentRunFailure cancellation() { return AgentRunFailure(); }

    Kind kind() const { return m_error ? Kind::runtimeError : Kind::cancelled; }
    bool isCancelled() const { return !m_error; }
    // Set exactly when kind() is runtimeError.
    const std::optional<AgentRuntimeError> &error() const { return m_error; }
    QString description() const { return m_error ? m_error->description() : QStringLiteral("Cancelled."); }

private:
    AgentRunFailure() = default;
    std::optional<AgentRuntimeError> m_error;
};

using AgentRunResult = Result<QString, AgentRunFailure>;

// Supervises the long-lived Command runtime: starts it, writes requests, routes events, enforces
// the loading and run deadlines and replaces the process whenever a run goes wrong.
// Everything here lives on the main thread.
class AgentRuntimeService : public QObject {
    Q_OBJECT
public:
    using EventHandler = std::function<void(const AgentRuntimeEvent &)>;

    AgentRuntimeService(Scheduler &scheduler, std::optional<QString> executableOverride = std::nullopt,
                        double modelLoadTimeout = 30.0, double runTimeout = 120.0, QObject *parent = nullptr);
    ~AgentRuntimeService() override;

    // The shipped program of that name (ORVEL_<NAME>_PATH first, returned unchecked).
    static std::optional<QString> bundledExecutable(const QString &name);

    Result<void, AgentRuntimeError> ensureProcess();
    // Sends a run or continue request; every event reaches onEvent before the final text returns.
    // Keep the returned task in a named local before co_await (GCC 12 double-destroys
    // temporaries inside a co_await expression).
    QCoro::Task<AgentRunResult> run(AgentRuntimeRequest request, EventHandler onEvent);
    void cancel(const QUuid &requestID);

    // " " + the last three non-empty standard-error lines, or "" when there are none.
    QString diagnosticSuffix() const;

    // For supervision by tests and the application.
    bool hasProcess() const { return m_process != nullptr; }
    std::optional<QUuid> processGeneration() const { return m_generation; }
    qint64 processId() const;
    int pendingCount() const { return int(m_pending.size()); }

    static constexpr qsizetype stderrLimit = 8192;
    // A model still reporting loading progress may take this long after the request to reach
    // `generating`; each report gives it another modelLoadTimeout.
    static constexpr double modelLoadCap = 300.0;
    static constexpr double retireGrace = 2.0;

private:
    struct Completion;
    struct CompletionAwaiter;
    struct PendingRun {
        EventHandler onEvent;
        std::shared_ptr<Completion> completion;
        QString modelName;
        std::unique_ptr<ScheduledTask> loadingTimeout;
        std::unique_ptr<ScheduledTask> runTimeout;
        // Scheduler times; loading progress moves both deadlines, never past loadingCap.
        double loadingDeadline = 0;
        double loadingCap = 0;
        double runDeadline = 0;
    };
    struct RetiredProcess {
        QProcess *process = nullptr;
        std::unique_ptr<ScheduledTask> grace;
        bool terminated = false;
    };

    Result<void, AgentRuntimeError> write(const AgentRuntimeRequest &request, const QUuid &generation);
    void consume(const QByteArray &data, const QUuid &generation);
    void handle(const AgentRuntimeEvent &event);
    void captureStderr(const QByteArray &data, const QUuid &generation);
    void runtimeTerminated(QProcess *process, const QUuid &generation);
    void failAllPending(const QString &message);
    void extendLoading(const QUuid &requestID, PendingRun &run);
    void processError(QProcess *process, const QUuid &generation);
    void modelLoadTimedOut(const QUuid &requestID);
    void runTimedOut(const QUuid &requestID);
    void finish(const QUuid &requestID, AgentRunResult result);
    void retireRuntime();
    void detachCurrent();
    void endRetired(QProcess *process, bool kill);

    Scheduler &m_scheduler;
    std::optional<QString> m_executableOverride;
    double m_modelLoadTimeout;
    double m_runTimeout;
    QProcess *m_process = nullptr;
    std::optional<QUuid> m_generation;
    QByteArray m_readBuffer;
    QByteArray m_stderrBuffer;
    std::map<QUuid, PendingRun> m_pending;
    std::vector<RetiredProcess> m_retired;
};
