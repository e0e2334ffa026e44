#include "FakeModelHost.h"

#include <QTcpSocket>
#include <QUrl>

FakeModelHost::FakeModelHost() { connect(&m_server, &QTcpServer::newConnection, this, &FakeModelHost::accept); }

FakeModelHost::~FakeModelHost()
{
    for (Connection *c : std::as_const(m_connections)) {
        c->socket->disconnect(this);
        c->socket->abort();
        delete c->socket;
        delete c;
    }
}

bool FakeModelHost::listen() { return m_server.listen(QHostAddress::LocalHost, 0); }

QString FakeModelHost::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

void FakeModelHost::route(const QString &path, Route route) { m_routes.insert(path, std::move(route)); }

int FakeModelHost::holdingCount() const
{
    int n = 0;
    for (const Connection *c : m_connections)
        n += c->holding ? 1 : 0;
    return n;
}

void FakeModelHost::release()
{
    for (Connection *c : std::as_const(m_connections)) {
        c->route.holdAt = -1;
        if (c->holding) {
            c->holding = false;
            pump(c);
        }
    }
}

void FakeModelHost::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *c = new Connection;
        c->socket = socket;
        m_connections << c;
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { readRequest(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c] {
            if (c->socket->bytesToWrite() == 0)
                pump(c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] {
            m_connections.removeOne(c);
            c->socket->deleteLater();
            delete c;
        });
    }
}

void FakeModelHost::readRequest(Connection *c)
{
    if (c->started)
        return;
    c->request += c->socket->readAll();
    const qsizetype end = c->request.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    c->started = true;
    const QList<QByteArray> requestLine = c->request.left(c->request.indexOf("\r\n")).split(' ');
    const QString target = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
    requests << target;
    const QString path = QUrl(target).path();
    c->route = m_routes.value(path, Route{404, "not found", true, -1, -1, {}, 16384});

    QByteArray head = "HTTP/1.1 " + QByteArray::number(c->route.status) + " Status\r\nConnection: close\r\n"
                      "Content-Type: application/octet-stream\r\n";
    if (c->route.sendLength)
        head += "Content-Length: " + QByteArray::number(c->route.body.size()) + "\r\n";
    if (!c->route.location.isEmpty())
        head += "Location: " + c->route.location + "\r\n";
    head += "\r\n";
    c->socket->write(head);
}

void FakeModelHost::pump(Connection *c)
{
    if (!c->started || c->holding)
        return;
    const Route &r = c->route;
    if (r.holdAt >= 0 && c->sent >= r.holdAt) {
        c->holding = true;
        return;
    }
    if (r.cutAfter >= 0 && c->sent >= r.cutAfter) {
        c->socket->disconnectFromHost();
        return;
    }
    if (c->sent >= r.body.size()) {
        c->socket->disconnectFromHost();
        return;
    }
    qint64 n = std::min<qint64>(r.chunk, r.body.size() - c->sent);
    if (r.holdAt >= 0)
        n = std::min(n, r.holdAt - c->sent);
    if (r.cutAfter >= 0)
        n = std::min(n, r.cutAfter - c->sent);
    c->socket->write(r.body.mid(c->sent, n));
    c->sent += n;
}
