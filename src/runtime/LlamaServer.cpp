#include "LlamaServer.h"

#include "ChildProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpServer>

#include <qcoro/qcorosignal.h>
#include <qcoro/qcorotimer.h>

#include <chrono>
#include <cstdio>

using namespace std::chrono_literals;

LlamaServerFiles LlamaServerFiles::describe(const QString &program, const QString &model, const QString &projector)
{
    LlamaServerFiles files;
    files.program = program;
    files.model = model;
    files.projector = projector;
    const QFileInfo modelInfo(model);
    files.modelSize = modelInfo.exists() ? modelInfo.size() : -1;
    files.modelModified = modelInfo.lastModified();
    if (!projector.isEmpty()) {
        const QFileInfo projectorInfo(projector);
        files.projectorSize = projectorInfo.exists() ? projectorInfo.size() : -1;
        files.projectorModified = projectorInfo.lastModified();
    }
    return files;
}

LlamaServer::LlamaServer(QNetworkAccessManager *network, QObject *parent) : QObject(parent), m_network(network) {}

LlamaServer::~LlamaServer() { stop(); }

bool LlamaServer::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

void LlamaServer::stop()
{
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    m_ready = false;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        // Nothing of the server's is worth a graceful exit; the model stays on disk.
        process->kill();
        process->waitForFinished(2000);
    }
    process->deleteLater();
}

int LlamaServer::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

namespace {

// The level letter of a llama.cpp log line ("0.00.049.537 E text"), or 0 for other output.
char logLevel(const QByteArray &line)
{
    const qsizetype space = line.indexOf(' ');
    if (space <= 0 || line.size() < space + 3 || line.at(space + 2) != ' ' || line.left(space).count('.') != 3)
        return 0;
    for (const char c : line.left(space))
        if (c != '.' && (c < '0' || c > '9'))
            return 0;
    return line.at(space + 1);
}

QByteArray withoutLogPrefix(const QByteArray &line)
{
    return logLevel(line) ? line.mid(line.indexOf(' ') + 3).trimmed() : line.trimmed();
}

} // namespace

bool LlamaServer::isRoutineLogLine(const QByteArray &line)
{
    const char level = logLevel(line);
    return level != 0 && level != 'E';
}

void LlamaServer::drainOutput()
{
    if (!m_process)
        return;
    const QByteArray bytes = m_process->readAll();
    m_output.append(bytes);
    if (m_output.size() > 8192)
        m_output.remove(0, m_output.size() - 8192);
    // Errors go on to our own standard error, whose last lines the application shows when we
    // fail; the server's routine chatter would crowd them out.
    m_partialLine.append(bytes);
    qsizetype start = 0;
    for (qsizetype end; (end = m_partialLine.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray line = m_partialLine.mid(start, end - start).trimmed();
        if (!line.isEmpty() && !isRoutineLogLine(line))
            std::fprintf(stderr, "llama-server: %s\n", withoutLogPrefix(line).constData());
    }
    m_partialLine.remove(0, start);
    if (m_partialLine.size() > 4096)
        m_partialLine.clear();
}

QString LlamaServer::diagnosticTail() const
{
    const QList<QByteArray> lines = m_output.split('\n');
    for (const QByteArray &line : lines)
        if (logLevel(line.trimmed()) == 'E')
            return QString::fromUtf8(withoutLogPrefix(line.trimmed()));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (!it->trimmed().isEmpty() && logLevel(it->trimmed()) == 0)
            return QString::fromUtf8(it->trimmed());
    return {};
}

QCoro::Task<Result<QUrl, RunFailure>> LlamaServer::ensureReady(LlamaServerFiles files, QString modelName,
                                                               std::function<void()> onLoading,
                                                               std::function<bool()> cancelled)
{
    const bool warm = isRunning() && files == m_files;
    if (!warm) {
        stop();
        const int port = freePort();
        if (port == 0)
            co_return RunFailure{QStringLiteral("No local network port is free for llama-server."),
                                 QStringLiteral("serverFailed")};
        m_files = files;
        m_output.clear();
        m_partialLine.clear();
        m_base = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
        QStringList arguments{QStringLiteral("--host"),     QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"),     QString::number(port),
                              QStringLiteral("--model"),    files.model,
                              QStringLiteral("--ctx-size"), QStringLiteral("8192"),
                              QStringLiteral("--parallel"), QStringLiteral("1"),
                              QStringLiteral("--jinja"),    QStringLiteral("--no-webui")};
        if (!files.projector.isEmpty())
            arguments << QStringLiteral("--mmproj") << files.projector;
        m_process = new QProcess(this);
        ChildProcess::prepare(*m_process);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardInputFile(QProcess::nullDevice());
        connect(m_process, &QProcess::readyRead, this, &LlamaServer::drainOutput);
        m_process->start(files.program, arguments);
        if (!m_process->waitForStarted(5000)) {
            stop();
            co_return RunFailure{QStringLiteral("llama-server could not be started."), QStringLiteral("serverMissing")};
        }
    }
    // A warm server is asked once more, so one that hangs or died is noticed before the run.
    if (!m_ready && onLoading)
        onLoading();
    m_ready = false;
    QProcess *process = m_process;
    QElapsedTimer sinceReport;
    sinceReport.start();
    for (;;) {
        if (cancelled && cancelled())
            co_return RunFailure::cancellation();
        if (warm && m_process == process && !isRunning()) {
            // The warm server died since its last run (killed, crashed): a new one takes over.
            stop();
            co_return co_await ensureReady(std::move(files), std::move(modelName), std::move(onLoading),
                                           std::move(cancelled));
        }
        if (m_process != process || !isRunning()) {
            drainOutput();
            const QString tail = diagnosticTail();
            stop();
            co_return RunFailure{QStringLiteral("llama-server could not load %1.").arg(modelName) +
                                     (tail.isEmpty() ? QString() : QLatin1Char(' ') + tail),
                                 QStringLiteral("modelLoadFailed")};
        }
        QNetworkRequest request(m_base.resolved(QUrl(QStringLiteral("/health"))));
        request.setTransferTimeout(500);
        QNetworkReply *reply = m_network->get(request);
        co_await qCoro(reply, &QNetworkReply::finished);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        if (status == 200 && m_process == process && isRunning()) {
            m_ready = true;
            Result<QUrl, RunFailure> ready(m_base);
            co_return ready;
        }
        // 503 is the server saying it is still loading: a large model on a slow disk or CPU
        // takes its time, and the application extends its deadline on each report.
        if (status == 503 && onLoading && sinceReport.hasExpired(loadingReportInterval)) {
            onLoading();
            sinceReport.restart();
        }
        const auto pause = 100ms;
        co_await QCoro::sleepFor(pause);
    }
}
