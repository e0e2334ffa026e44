// llama-server-standin: answers like llama-server (or the OpenAI API) on 127.0.0.1 and plays the
// behaviour scripted in the JSON file named by FAKE_LLAMA_SCRIPT. Every start and request is
// appended as one JSON line to FAKE_LLAMA_LOG.
//
// Script keys (all optional):
//   healthFailures         answer GET /health with 503 this many times first
//   responses              one object per chat request, the last one repeating:
//     status, body         a plain JSON answer with that status (no stream)
//     chunks               streamed events: {"content": s} {"reasoning": s} {"contentHex": hex}
//                          {"error": obj} {"raw": s} (s as the whole data line);
//                          "splitAtByte": k on a content chunk
//                          writes its event in two TCP writes cut k bytes into the content
//     holdOpen             keep the stream open after the chunks
//   visionResponses        used instead of responses by a server started with --mmproj
//     benchChunks, benchIntervalUs  stream "[i]" pieces and log when each was written to
//                          FAKE_LLAMA_TIMES (CLOCK_MONOTONIC nanoseconds, one per line)
// Command line: --host and --port as llama-server (port 0 picks one and prints "port N").
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

QJsonObject g_script;
int g_healthChecks = 0;
int g_chatRequests = 0;

void logLine(const QJsonObject &entry)
{
    const QString path = qEnvironmentVariable("FAKE_LLAMA_LOG");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
}

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QByteArray eventBytes(const QJsonObject &delta, bool finished = false)
{
    QJsonObject choice{{"index", 0}, {"delta", delta}, {"finish_reason", finished ? QJsonValue("stop") : QJsonValue()}};
    QJsonObject chunk{{"object", "chat.completion.chunk"}, {"choices", QJsonArray{choice}}};
    return "data: " + QJsonDocument(chunk).toJson(QJsonDocument::Compact) + "\n\n";
}

class Connection : public QObject {
public:
    explicit Connection(QTcpSocket *socket) : QObject(socket), m_socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::read);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void read()
    {
        m_buffer.append(m_socket->readAll());
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0 || m_handled)
            return;
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        qsizetype length = 0;
        QByteArray authorization;
        for (const QByteArray &raw : lines.mid(1)) {
            const QByteArray line = raw.trimmed();
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length")
                length = value.toLongLong();
            if (name == "authorization")
                authorization = value;
        }
        if (m_buffer.size() < end + 4 + length)
            return;
        m_handled = true;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        const QByteArray body = m_buffer.mid(end + 4, length);
        const QString method = QString::fromLatin1(requestLine.value(0));
        const QString path = QString::fromLatin1(requestLine.value(1));
        QJsonObject entry{{"event", "request"}, {"method", method}, {"path", path}};
        if (!authorization.isEmpty())
            entry.insert("authorization", QString::fromUtf8(authorization));
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        if (doc.isObject())
            entry.insert("body", doc.object());
        logLine(entry);
        if (path == "/health")
            health();
        else if (path.endsWith("/chat/completions"))
            chat();
        else
            plain(404, QJsonObject{{"error", QJsonObject{{"message", "not found"}}}});
    }

    void plain(int status, const QJsonObject &body)
    {
        const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: application/json\r\n"
                        "Content-Length: " + QByteArray::number(bytes.size()) + "\r\nConnection: close\r\n\r\n" + bytes);
        m_socket->disconnectFromHost();
    }

    void health()
    {
        if (++g_healthChecks <= g_script.value("healthFailures").toInt())
            plain(503, QJsonObject{{"error", QJsonObject{{"code", 503}, {"message", "Loading model"}, {"type", "unavailable_error"}}}});
        else
            plain(200, QJsonObject{{"status", "ok"}});
    }

    void chat()
    {
        const QJsonArray responses = g_script.value("responses").toArray();
        const int index = std::min<int>(g_chatRequests++, int(responses.size()) - 1);
        m_response = index >= 0 ? responses.at(index).toObject() : QJsonObject();
        if (m_response.contains("body")) {
            plain(m_response.value("status").toInt(200), m_response.value("body").toObject());
            return;
        }
        m_socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-cache\r\n"
                        "Connection: close\r\n\r\n");
        m_socket->flush();
        m_chunks = m_response.value("chunks").toArray();
        if (m_response.contains("benchChunks")) {
            m_times.setFileName(qEnvironmentVariable("FAKE_LLAMA_TIMES"));
            (void)m_times.open(QIODevice::WriteOnly | QIODevice::Truncate);
            benchNext();
            return;
        }
        next();
    }

    void benchNext()
    {
        const int total = m_response.value("benchChunks").toInt();
        if (m_bench >= total) {
            m_times.close();
            finish();
            return;
        }
        m_socket->write(eventBytes(QJsonObject{{"content", QStringLiteral("[%1]").arg(m_bench)}}));
        m_socket->flush();
        m_times.write(QByteArray::number(monotonicNs()) + '\n');
        ++m_bench;
        QTimer::singleShot(0, this, [this] {
            QThread::usleep(m_response.value("benchIntervalUs").toInt(500));
            benchNext();
        });
    }

    void next()
    {
        if (!m_socket)
            return;
        if (m_chunks.isEmpty()) {
            finish();
            return;
        }
        const QJsonObject chunk = m_chunks.takeAt(0).toObject();
        if (chunk.contains("content")) {
            const QString content = chunk.value("content").toString();
            const QByteArray bytes = eventBytes(QJsonObject{{"content", content}});
            if (chunk.contains("splitAtByte")) {
                const qsizetype at = bytes.indexOf(content.toUtf8()) + chunk.value("splitAtByte").toInt();
                m_socket->write(bytes.left(at));
                m_socket->flush();
                m_rest = bytes.mid(at);
                QTimer::singleShot(30, this, [this] {
                    m_socket->write(m_rest);
                    m_socket->flush();
                    next();
                });
                return;
            }
            m_socket->write(bytes);
        } else if (chunk.contains("reasoning")) {
            m_socket->write(eventBytes(QJsonObject{{"reasoning_content", chunk.value("reasoning").toString()}}));
        } else if (chunk.contains("contentHex")) {
            // Raw bytes inside the JSON string: half a character, as some servers cut tokens.
            m_socket->write("data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"" +
                            QByteArray::fromHex(chunk.value("contentHex").toString().toLatin1()) +
                            "\"},\"finish_reason\":null}]}\n\n");
        } else if (chunk.contains("raw")) {
            m_socket->write("data: " + chunk.value("raw").toString().toUtf8() + "\n\n");
        } else if (chunk.contains("error")) {
            m_socket->write("data: " + QJsonDocument(QJsonObject{{"error", chunk.value("error")}}).toJson(QJsonDocument::Compact) +
                            "\n\n");
        }
        m_socket->flush();
        QTimer::singleShot(5, this, &Connection::next);
    }

    void finish()
    {
        if (m_response.value("holdOpen").toBool())
            return;
        m_socket->write(eventBytes(QJsonObject{}, true) + "data: [DONE]\n\n");
        m_socket->flush();
        m_socket->disconnectFromHost();
    }

    QPointer<QTcpSocket> m_socket;
    QByteArray m_buffer;
    QByteArray m_rest;
    bool m_handled = false;
    QJsonObject m_response;
    QJsonArray m_chunks;
    QFile m_times;
    int m_bench = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int port = 0;
    if (const qsizetype at = args.indexOf("--port"); at >= 0)
        port = args.value(at + 1).toInt();
    QFile scriptFile(qEnvironmentVariable("FAKE_LLAMA_SCRIPT"));
    if (scriptFile.open(QIODevice::ReadOnly))
        g_script = QJsonDocument::fromJson(scriptFile.readAll()).object();
    // A server started with a projector plays "visionResponses" when the script has them.
    if (args.contains("--mmproj") && g_script.contains("visionResponses"))
        g_script["responses"] = g_script.value("visionResponses");
    QJsonArray argv_;
    for (const QString &a : args.mid(1))
        argv_.append(a);
    logLine(QJsonObject{{"event", "start"}, {"pid", qint64(::getpid())}, {"argv", argv_}});
    std::fprintf(stderr, "main: loading model\n");

    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket *socket = server.nextPendingConnection())
            new Connection(socket);
    });
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "couldn't bind HTTP server socket\n");
        return 1;
    }
    std::printf("port %d\n", int(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
