#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class AppState;

// What a second start of the program asks of the running one.
enum class InstanceAction {
    showMainWindow,
    toggleDictation,
    startDictation,
    stopDictation,
    cancel,
    toggleCommand,
    toggleCommandWithScreenshot,
};

// "toggle-dictation" …; the command-line option is "--" and the name.
QString instanceActionName(InstanceAction action);
std::optional<InstanceAction> instanceActionFromName(const QString &name);
// The first action option among the arguments; nothing when there is none.
std::optional<InstanceAction> instanceActionFromArguments(const QStringList &arguments);
// Every action that a desktop's own shortcut settings can bind, in menu order.
QList<InstanceAction> bindableInstanceActions();
// The exact command a desktop shortcut runs for the action.
QString instanceActionCommand(InstanceAction action);

// Carries the action out on the state, as the matching shortcut or menu entry would.
void applyInstanceAction(AppState &state, InstanceAction action);

// One program per session: the first start owns a well-known name on the session bus and
// performs the requests later starts hand it.
class InstanceService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvelraza.OrvelPlus")

public:
    static constexpr const char *serviceName = "org.orvelraza.OrvelPlus";
    static constexpr const char *objectPath = "/org/orvelraza/OrvelPlus";
    static constexpr const char *interfaceName = "org.orvelraza.OrvelPlus";

    explicit InstanceService(QObject *parent = nullptr);
    ~InstanceService() override;

    enum class Claim { owned, taken, noBus };
    // Takes the name and serves requests; `taken` when another instance holds it.
    Claim claim();
    // Hands the action to the running instance; an error text when none answered.
    static std::optional<QString> forward(InstanceAction action, int timeoutMilliseconds = 5000);

    std::function<void(InstanceAction)> onAction;

public slots:
    // Called over the bus; an unknown name is answered with an error.
    Q_SCRIPTABLE void Perform(const QString &action);

private:
    bool m_owned = false;
};
