#include "PortalRequest.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QRandomGenerator>

namespace Portal {
namespace {

// Lives until the Response arrives or the call fails, then deletes itself.
class PendingRequest final : public QObject {
    Q_OBJECT

public:
    PendingRequest(QDBusConnection bus, QObject *context, Done done)
        : QObject(context), m_bus(std::move(bus)), m_done(std::move(done))
    {
    }

    void listen(const QString &path)
    {
        if (path == m_path)
            return;
        if (!m_path.isEmpty())
            m_bus.disconnect(service, m_path, requestInterface, QStringLiteral("Response"), this,
                             SLOT(onResponse(uint, QVariantMap)));
        m_path = path;
        m_bus.connect(service, m_path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(onResponse(uint, QVariantMap)));
    }

    void fail(const QString &message)
    {
        finish(failed, {{QStringLiteral("error"), message}});
    }

public slots:
    void onResponse(uint response, const QVariantMap &results) { finish(response, results); }

private:
    void finish(uint response, const QVariantMap &results)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_bus.disconnect(service, m_path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
        Done done = std::move(m_done);
        deleteLater();
        if (done)
            done(response, results);
    }

    QDBusConnection m_bus;
    Done m_done;
    QString m_path;
    bool m_finished = false;
};

} // namespace

QString newToken()
{
    return QStringLiteral("orvel%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

QString requestPath(const QDBusConnection &bus, const QString &token)
{
    QString sender = bus.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return path + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

bool hasInterface(QDBusConnection bus, const QString &interfaceName, int timeoutMilliseconds)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interfaceName << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void call(QDBusConnection bus, const QString &interfaceName, const QString &method, QVariantList arguments,
          QVariantMap options, QObject *context, Done done)
{
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    auto *pending = new PendingRequest(bus, context, std::move(done));
    pending->listen(requestPath(bus, token));

    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interfaceName, method);
    arguments.append(options);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), pending);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pending, [pending, watcher] {
        watcher->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError())
            return pending->fail(reply.error().message());
        // Portals older than the handle_token convention answer with another path.
        pending->listen(reply.value().path());
    });
}

void closeSession(QDBusConnection bus, const QString &sessionPath)
{
    if (sessionPath.isEmpty() || !bus.isConnected())
        return;
    bus.asyncCall(QDBusMessage::createMethodCall(service, sessionPath, sessionInterface, QStringLiteral("Close")));
}

} // namespace Portal

#include "PortalRequest.moc"
