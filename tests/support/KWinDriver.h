#pragma once

// The KWin session of scripts/wayland-session.sh, driven as a person would (kwin-driver.py):
// real keys through the RemoteDesktop portal, the active window from KWin's scripting, and what
// kglobalaccel really bound.
#include "platform/portal/PortalHotKeyBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <map>
#include <optional>

class KWinDriver {
public:
    // Why this machine runs no KWin session test, or nothing when it does.
    static std::optional<QString> unavailable()
    {
        if (qEnvironmentVariableIsEmpty("ORVEL_WAYLAND_SESSION"))
            return QStringLiteral("runs inside scripts/wayland-session.sh (a private KWin session)");
        return std::nullopt;
    }

    bool start()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ORVEL_KWIN_DRIVER)});
        return m_process.waitForStarted() && readLine(20000) == QStringLiteral("ready");
    }

    ~KWinDriver()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    // "ok ..." on success; the answer's text after "ok", or nothing on an error.
    std::optional<QString> ask(const QString &command)
    {
        m_process.write(command.toUtf8() + '\n');
        const QString line = readLine(15000);
        if (line == QStringLiteral("ok"))
            return QString();
        if (line.startsWith(QStringLiteral("ok ")))
            return line.mid(3);
        qWarning("kwin-driver: %s -> %s", qPrintable(command), qPrintable(line));
        return std::nullopt;
    }

    // The process whose window KWin has active, 0 for none.
    qint64 activePid()
    {
        const auto answer = ask(QStringLiteral("active"));
        return answer ? answer->section(QLatin1Char('\t'), 0, 0).toLongLong() : -1;
    }
    bool activate(qint64 pid) { return ask(QStringLiteral("activate %1").arg(pid)) == QStringLiteral("done"); }

    // A trigger as Qt and KDE write it ("Ctrl+Alt+Space"), pressed, released or both.
    bool keys(const QString &how, const QString &trigger)
    {
        const QStringList codes = evdevCodes(trigger);
        return !codes.isEmpty() && ask(QStringLiteral("keys %1 %2").arg(how, codes.join(QLatin1Char(' '))));
    }

    // What kglobalaccel bound for each of the program's shortcuts ("orvel-1" -> "Ctrl+Alt+Space").
    static std::map<QString, QString> boundKeys()
    {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/") + PortalHotKeyBackend::sessionToken,
            QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("allShortcutInfos")));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return PortalHotKeyBackend::kglobalaccelKeys(reply.arguments().constFirst().value<QDBusArgument>());
    }

    static QStringList evdevCodes(const QString &trigger)
    {
        static const std::map<QString, int> codes{
            {QStringLiteral("Ctrl"), 29}, {QStringLiteral("Alt"), 56},   {QStringLiteral("Shift"), 42},
            {QStringLiteral("Meta"), 125}, {QStringLiteral("Space"), 57}, {QStringLiteral("D"), 32},
            {QStringLiteral("A"), 30},     {QStringLiteral("V"), 47}};
        QStringList out;
        for (const QString &part : trigger.split(QLatin1Char('+'))) {
            const auto it = codes.find(part);
            if (it == codes.end())
                return {};
            out << QString::number(it->second);
        }
        return out;
    }

private:
    QString readLine(int timeout)
    {
        if (!QTest::qWaitFor([&] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
                             timeout))
            return {};
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess m_process;
};
