#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// The desktop portal: its service, its object and the calls that answer through a Request.
namespace Portal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
inline const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// Response codes of a Request.
enum Response : uint { success = 0, cancelled = 1, failed = 2 };

// A fresh token for handle_token and session_handle_token options.
QString newToken();

// The object path the portal gives a request made with `token` on this connection.
QString requestPath(const QDBusConnection &bus, const QString &token);

// Whether the portal serves the interface (its "version" property answers).
bool hasInterface(QDBusConnection bus, const QString &interfaceName, int timeoutMilliseconds = 2000);

using Done = std::function<void(uint response, const QVariantMap &results)>;

// Makes a portal call whose last argument is an options map, and hands over the Request's
// Response. The options get a handle_token; the Response is subscribed before the call is sent,
// so a fast portal cannot answer unseen. A call the portal rejects answers `failed`.
void call(QDBusConnection bus, const QString &interfaceName, const QString &method, QVariantList arguments,
          QVariantMap options, QObject *context, Done done);

// Closes a session; nothing happens when the path is empty.
void closeSession(QDBusConnection bus, const QString &sessionPath);

} // namespace Portal
