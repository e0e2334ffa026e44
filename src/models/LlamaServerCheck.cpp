#include "models/LlamaServerCheck.h"

#include "speech/ResourceLocator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcorosignal.h>

#include <chrono>
#include <memory>

#include <signal.h>
#include <sys/prctl.h>

namespace {

const QString kCouldNotLoad = QStringLiteral("llama-server could not load this GGUF model.");
const QString kOnePixelPng = QStringLiteral(
    "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNk+A8AAQUBAScY42YAAAAASUVORK5CYII=");
constexpr int kKeptLines = 64;

QByteArray chatBody(bool includeImage)
{
    const QString prompt = QStringLiteral("Reply only with OK.");
    QJsonValue content = prompt;
    if (includeImage) {
        content = QJsonArray{
            QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), prompt}},
            QJsonObject{{QStringLiteral("type"), QStringLiteral("image_url")},
                        {QStringLiteral("image_url"), QJsonObject{{QStringLiteral("url"), kOnePixelPng}}}},
        };
    }
    const QJsonObject body{
        {QStringLiteral("model"), QStringLiteral("local")},
        {QStringLiteral("messages"),
         QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), content}}}},
        {QStringLiteral("max_tokens"), 12},
        {QStringLiteral("stream"), false},
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

bool isCompletion(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return false;
    const QJsonValue choices = doc.object().value(QStringLiteral("choices"));
    return choices.isArray() && !choices.toArray().isEmpty();
}

// The server's output, drained as it arrives and kept to its last lines.
struct OutputTail {
    QStringList lines;
    QByteArray partial;

    void take(const QByteArray &bytes)
    {
        partial += bytes;
        qsizetype end;
        while ((end = partial.indexOf('\n')) >= 0) {
            add(partial.left(end));
            partial.remove(0, end + 1);
        }
        // A line without an end for this long is noise; keep memory bounded.
        if (partial.size() > 65536)
            partial.clear();
    }
    void add(const QByteArray &line)
    {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.isEmpty())
            return;
        lines << text;
        if (lines.size() > kKeptLines)
            lines.removeFirst();
    }
    QStringList all()
    {
        if (!partial.isEmpty()) {
            add(partial);
            partial.clear();
        }
        return lines;
    }
};

QString withWords(const QString &message, const QStringList &output)
{
    const QStringList words = LlamaServerCheck::lastWords(output);
    return words.isEmpty() ? message : message + QLatin1Char('\n') + words.join(QLatin1Char('\n'));
}

// Ends the server and collects its exit status; SIGKILL, since a validation server holds nothing.
void stop(QProcess *process)
{
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

const QString LlamaServerCheck::kStopped = QStringLiteral("The check was stopped.");

LlamaServerCheck::LlamaServerCheck(QObject *parent) : QObject(parent) {}

LlamaServerCheck::~LlamaServerCheck()
{
    m_closing = true;
    // Every run is waiting on a request or a pause; ending those resumes it, and it stops its server.
    const QSet<QNetworkReply *> requests = m_requests;
    for (QNetworkReply *reply : requests)
        reply->abort();
    emit wake();
    for (QProcess *process : findChildren<QProcess *>()) {
        process->disconnect();
        stop(process);
    }
}

int LlamaServerCheck::runningServers() const
{
    int n = 0;
    for (const QProcess *process : findChildren<QProcess *>())
        n += process->state() != QProcess::NotRunning ? 1 : 0;
    return n;
}

QStringList LlamaServerCheck::lastWords(const QStringList &output)
{
    // llama.cpp's log lines begin with a time stamp and a level letter: "0.00.317.185 E srv ...".
    static const QRegularExpression stamped(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+ ([A-Z]) +(.*)$"));
    static const QRegularExpression errorWord(QStringLiteral("error|failed|cannot|unable"),
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList errors;
    QStringList plain;
    for (const QString &line : output) {
        const auto m = stamped.match(line);
        const QString text = m.hasMatch() ? m.captured(2) : line;
        plain << text;
        if (m.hasMatch() ? m.captured(1) == QLatin1String("E") : errorWord.match(text).hasMatch())
            errors << text;
    }
    const QStringList &chosen = errors.isEmpty() ? plain : errors;
    return chosen.mid(std::max<qsizetype>(0, chosen.size() - 3));
}

QCoro::Task<Result<void, LlamaServerCheck::Failure>> LlamaServerCheck::run(QString modelPath,
                                                                          std::optional<QString> projectorPath,
                                                                          bool includeImage)
{
    using Outcome = Result<void, Failure>;
    const auto server = ResourceLocator::bundledExecutable(QStringLiteral("llama-server"));
    if (!server)
        co_return Outcome(Failure{true, QStringLiteral("The bundled llama-server is missing, so this model cannot be validated.")});

    const int port = 49152 + int(QRandomGenerator::global()->bounded(11849));
    QStringList arguments{QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                          QString::number(port), QStringLiteral("--model"), modelPath, QStringLiteral("--ctx-size"),
                          QStringLiteral("2048"), QStringLiteral("--parallel"), QStringLiteral("1"),
                          QStringLiteral("--jinja"), QStringLiteral("--no-webui")};
    if (projectorPath)
        arguments << QStringLiteral("--mmproj") << *projectorPath;

    // Owned by this object, so its destruction (the program quitting mid-check) ends the server;
    // the kernel ends it too should this process die without unwinding.
    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    auto tail = std::make_shared<OutputTail>();
    connect(process, &QProcess::readyReadStandardOutput, process,
            [process, tail] { tail->take(process->readAllStandardOutput()); });
    const auto end = [&] {
        process->disconnect();
        stop(process);
        tail->take(process->readAllStandardOutput());
        process->deleteLater();
    };
    process->start(*server, arguments, QIODevice::ReadOnly);
    // Only the exec itself is waited for here, which takes milliseconds.
    if (!process->waitForStarted(10000)) {
        const QString reason = process->errorString();
        end();
        co_return Outcome(Failure{false, reason});
    }

    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    bool ready = false;
    for (int round = 0; round < m_rounds && !ready; ++round) {
        if (process->state() == QProcess::NotRunning)
            break;
        QNetworkRequest request(QUrl(base + QStringLiteral("health")));
        request.setTransferTimeout(500);
        QNetworkReply *reply = m_network.get(request);
        m_requests.insert(reply);
        co_await reply;
        m_requests.remove(reply);
        reply->deleteLater();
        if (m_closing) {
            end();
            co_return Outcome(Failure{false, kStopped});
        }
        ready = reply->error() == QNetworkReply::NoError &&
                reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        if (!ready) {
            co_await qCoro(this, &LlamaServerCheck::wake, std::chrono::milliseconds(m_pause));
            if (m_closing) {
                end();
                co_return Outcome(Failure{false, kStopped});
            }
        }
    }
    if (!ready) {
        end();
        co_return Outcome(Failure{true, withWords(kCouldNotLoad, tail->all())});
    }

    QNetworkRequest request(QUrl(base + QStringLiteral("v1/chat/completions")));
    request.setTransferTimeout(60000);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = m_network.post(request, chatBody(includeImage));
    m_requests.insert(reply);
    co_await reply;
    m_requests.remove(reply);
    reply->deleteLater();
    end();
    if (m_closing)
        co_return Outcome(Failure{false, kStopped});
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool valid = status >= 200 && status <= 299 && isCompletion(reply->readAll());
    if (valid)
        co_return Outcome();
    co_return Outcome(Failure{true, withWords(includeImage ? QStringLiteral("The model and projector did not pass multimodal validation.")
                                                           : QStringLiteral("The model did not produce a compatible chat completion."),
                                              tail->all())});
}
