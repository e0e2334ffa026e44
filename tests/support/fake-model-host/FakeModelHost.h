#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// Serves scripted responses on a free local port, one connection per request, on its owner's event loop.
class FakeModelHost : public QObject {
    Q_OBJECT

public:
    struct Route {
        int status = 200;
        QByteArray body;
        bool sendLength = true;
        qint64 cutAfter = -1;  // close the connection after this many body bytes
        qint64 holdAt = -1;    // stop sending after this many body bytes until release()
        QByteArray location;   // a Location header, for redirects
        int chunk = 16384;
    };

    FakeModelHost();
    ~FakeModelHost() override;

    bool listen();
    // "http://127.0.0.1:PORT", to put into ORVEL_MODEL_HOST.
    QString baseUrl() const;
    // By path; the query is not part of the match.
    void route(const QString &path, Route route);

    // Request targets received so far, with their queries.
    QStringList requests;
    int holdingCount() const;
    void release();

private:
    struct Connection {
        QTcpSocket *socket = nullptr;
        QByteArray request;
        Route route;
        qint64 sent = 0;
        bool started = false;
        bool holding = false;
    };
    void accept();
    void readRequest(Connection *c);
    void pump(Connection *c);

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QList<Connection *> m_connections;
};
