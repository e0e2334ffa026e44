#pragma once

// The stand-in portal's (fake-portal.py) control interface: presses, refusals, what it was asked.
#include <QDBusConnection>
#include <QDBusMessage>

inline QDBusMessage testPortalControl(const char *method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/orvelraza/TestPortal"),
        QStringLiteral("org.orvelraza.TestPortal"), QString::fromLatin1(method));
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}
