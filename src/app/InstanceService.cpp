#include "app/InstanceService.h"

#include "app/AppState.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <array>

namespace {

struct Entry {
    InstanceAction action;
    const char *name;
};
constexpr std::array kActions = {
    Entry{InstanceAction::showMainWindow, "show"},
    Entry{InstanceAction::toggleDictation, "toggle-dictation"},
    Entry{InstanceAction::startDictation, "start-dictation"},
    Entry{InstanceAction::stopDictation, "stop-dictation"},
    Entry{InstanceAction::cancel, "cancel"},
    Entry{InstanceAction::toggleCommand, "toggle-command"},
    Entry{InstanceAction::toggleCommandWithScreenshot, "toggle-command-with-screenshot"},
};

} // namespace

QString instanceActionName(InstanceAction action)
{
    for (const Entry &e : kActions)
        if (e.action == action)
            return QString::fromLatin1(e.name);
    return {};
}

std::optional<InstanceAction> instanceActionFromName(const QString &name)
{
    for (const Entry &e : kActions)
        if (name == QLatin1String(e.name))
            return e.action;
    return std::nullopt;
}

std::optional<InstanceAction> instanceActionFromArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (!argument.startsWith(QLatin1String("--")))
            continue;
        if (const auto action = instanceActionFromName(argument.mid(2)))
            return action;
    }
    return std::nullopt;
}

QList<InstanceAction> bindableInstanceActions()
{
    QList<InstanceAction> list;
    for (const Entry &e : kActions)
        if (e.action != InstanceAction::showMainWindow)
            list.append(e.action);
    return list;
}

QString instanceActionCommand(InstanceAction action)
{
    return QStringLiteral("OrvelPlus --") + instanceActionName(action);
}

InstanceService::InstanceService(QObject *parent) : QObject(parent) {}

InstanceService::~InstanceService()
{
    if (!m_owned)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(objectPath));
    bus.unregisterService(QString::fromLatin1(serviceName));
}

InstanceService::Claim InstanceService::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Claim::noBus;
    // The object goes up first, so a start that loses the race an instant later finds it.
    if (!bus.registerObject(QString::fromLatin1(objectPath), this, QDBusConnection::ExportScriptableSlots))
        return Claim::noBus;
    // Without queueing: the name is either ours now or someone else's.
    const auto reply = bus.interface()->registerService(QString::fromLatin1(serviceName),
                                                        QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_owned = true;
        return Claim::owned;
    }
    bus.unregisterObject(QString::fromLatin1(objectPath));
    return Claim::taken;
}

std::optional<QString> InstanceService::forward(InstanceAction action, int timeoutMilliseconds)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("The session bus is not available.");
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
                                                       QString::fromLatin1(interfaceName), QStringLiteral("Perform"));
    call << instanceActionName(action);
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMilliseconds);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("The running Orvel Raza did not answer: ") + reply.errorMessage();
    return std::nullopt;
}

void InstanceService::Perform(const QString &name)
{
    const auto action = instanceActionFromName(name);
    if (!action) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("Unknown action: ") + name);
        return;
    }
    if (onAction)
        onAction(*action);
}

void applyInstanceAction(AppState &state, InstanceAction action)
{
    switch (action) {
    case InstanceAction::showMainWindow:
        state.bringMainWindowForward();
        break;
    case InstanceAction::toggleDictation:
        state.toggleRecording();
        break;
    case InstanceAction::startDictation:
        // A second "start" from a desktop shortcut must not restart a running recording.
        if (!state.status().isBusy())
            state.startRecording();
        break;
    case InstanceAction::stopDictation:
        state.stopAndTranscribe();
        break;
    case InstanceAction::cancel:
        state.cancelRecording();
        break;
    case InstanceAction::toggleCommand:
        state.toggleAgentRecording(false);
        break;
    case InstanceAction::toggleCommandWithScreenshot:
        state.toggleAgentRecording(true);
        break;
    }
}
