// OrvelPlus: wires the real platform ports into the application state and runs the event loop.
#include "app/AgentServices.h"
#include "app/AppState.h"
#include "app/Preferences.h"
#include "command/AgentRuntimeService.h"
#include "DesktopSession.h"
#include "app/InstanceService.h"
#include "command/OpenAIKeychainStore.h"
#include "SpeechModelCommand.h"
#include "platform/QtPasteboard.h"
#include "platform/QtScheduler.h"
#include "platform/x11/QtKeychainSecretStore.h"
#include "platform/x11/QtSoundPlayer.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FloatingPanelHints.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11Ports.h"
#include "platform/x11/X11ScreenCapture.h"
#include "speech/AudioRecorder.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"
#include "speech/ResourceLocator.h"
#include "speech/WhisperRunner.h"
#include "ui/MainWindow.h"
#include "ui/TrayIcon.h"
#include "ui/command/AgentResultPanelController.h"
#include "ui/overlay/OverlayPanelController.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QSettings>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include <csignal>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The overlay observes the state, so it is made after it; until then, and after it is gone,
// showing it does nothing.
class LateOverlay final : public OverlayPresenter {
public:
    void show() override
    {
        if (panel)
            panel->show();
    }
    void hide() override
    {
        if (panel)
            panel->hide();
    }
    QPointer<OverlayPanelController> panel;
};
// The same for the Command result card and conversation window.
class LateAgentResults final : public AgentResultPresenter {
public:
    void showResult() override
    {
        if (panels)
            panels->showResult();
    }
    void hideResult() override
    {
        if (panels)
            panels->hideResult();
    }
    void showConversationPanel() override
    {
        if (panels)
            panels->showConversationPanel();
    }
    QPointer<AgentResultPanelController> panels;
};
// The window is made after the state (it observes it); the state asks for it through this.
class LateMainWindow final : public MainWindowPresenter {
public:
    void bringForward() override
    {
        if (window)
            window->bringForward();
    }
    MainWindowPresenter *window = nullptr;
};

int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop normally, so everything is torn down in order.
void quitOnTerminationSignals(QApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] auto n = ::read(g_signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

std::optional<QString> soundFile(const QString &name)
{
    return ResourceLocator::file(QStringLiteral("sounds/") + name + QStringLiteral(".wav"));
}

// Start-up notes only whether a cloud key is stored; a failing read counts as none.
QCoro::Task<> noteStoredOpenAIKey(OpenAIKeychainStore &store, AppState &state)
{
    QCoro::Task<Result<std::optional<QString>, OpenAIKeychainError>> loading = store.load();
    const auto loaded = co_await loading;
    state.setOpenAIAPIKeyConfigured(loaded.ok() && loaded.value().has_value());
}

// For the start-up benchmark: with ORVEL_STARTUP_REPORT_FD set, "NAME <monotonic ns>" lines
// say when a start-up step is done.
void reportStartupStep(const char *name)
{
    static const int fd = qEnvironmentVariableIsSet("ORVEL_STARTUP_REPORT_FD")
                              ? qEnvironmentVariableIntValue("ORVEL_STARTUP_REPORT_FD")
                              : -1;
    if (fd < 0)
        return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const QByteArray line = QByteArray(name) + ' ' +
                            QByteArray::number(qint64(now.tv_sec) * 1000000000LL + now.tv_nsec) + '\n';
    [[maybe_unused]] auto n = ::write(fd, line.constData(), size_t(line.size()));
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto exitCode = runSpeechModelCommand(argc, argv))
        return *exitCode;
    DesktopSession::choosePlatform();
    QApplication app(argc, argv);
    reportStartupStep("application");
    QApplication::setOrganizationName(QStringLiteral("Orvel Raza"));
    QApplication::setApplicationName(QStringLiteral("OrvelPlus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvel Raza"));
    QApplication::setDesktopFileName(QStringLiteral("orvel-raza"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (const auto icon = ResourceLocator::file(QStringLiteral("orvel-raza.png")))
        QApplication::setWindowIcon(QIcon(*icon));
    quitOnTerminationSignals(app);
    // A second start hands its request to the running program and ends.
    const auto action = instanceActionFromArguments(QApplication::arguments());
    InstanceService instance;
    if (instance.claim() == InstanceService::Claim::taken) {
        const auto failure = InstanceService::forward(action.value_or(InstanceAction::showMainWindow));
        if (failure)
            qWarning("%s", qPrintable(*failure));
        return failure ? 1 : 0;
    }
    // Started at login, or by a desktop shortcut's action: the tray icon and the shortcuts, no window.
    const bool hidden = QApplication::arguments().contains(QStringLiteral("--hidden")) ||
                        (action && *action != InstanceAction::showMainWindow);

    X11Connection x11;
    QtScheduler scheduler;
    QtPasteboard pasteboard;
    // Our own windows are raised through the window manager where XWayland has one.
    X11Workspace workspace(x11);
    LinuxPermissions permissions(x11);
    DesktopSession session(x11);
    QtSoundPlayer sounds(soundFile);
    AudioRecorder recorder(scheduler);
    WhisperRunner runner;
    ModelStore modelStore; // prepares the folders and puts the shipped Pocket model in place
    HistoryStore history;
    LateOverlay overlay;
    X11FloatingPanelHints panelHints(x11);
    const std::unique_ptr<QSettings> defaults = Preferences::openDefaultStore();
    LateMainWindow mainWindow;
    LateAgentResults agentResults;
    X11ScreenCapture screenCapture(x11);
    QtKeychainSecretStore secrets;
    OpenAIKeychainStore keyStore(secrets);
    // One runtime for the whole run, warmed at start so the first Command does not wait for it.
    AgentRuntimeService agentRuntime(scheduler);
    AgentRuntimeServiceClient agentRuntimeClient(agentRuntime);

    AppState::Services services;
    services.scheduler = &scheduler;
    services.pasteboard = &pasteboard;
    services.keys = session.keys();
    services.workspace = session.workspace();
    services.accessibility = session.accessibility();
    services.insertTextDirectly = session.insertTextDirectly();
    services.keysReachApplications = session.keysReachApplications();
    services.permissions = &permissions;
    services.sounds = &sounds;
    services.recorder = &recorder;
    services.runner = &runner;
    services.history = &history;
    services.overlay = &overlay;
    services.mainWindow = &mainWindow;
    services.modelStore = &modelStore;
    services.hotKeys = session.hotKeys();
    services.agentRuntime = &agentRuntimeClient;
    services.screenCapture = &screenCapture;
    services.screenCaptureSeesEveryWindow = session.screenCaptureSeesEveryWindow();
    services.openAIKeychain = &keyStore;
    services.agentResults = &agentResults;
    services.defaults = defaults.get();
    AppState state(services); // registers the shortcuts
    reportStartupStep("shortcuts");
    OverlayPanelController overlayPanel(state, *defaults, scheduler, &panelHints,
                                        [&recorder] { return recorder.samples(); });
    overlay.panel = &overlayPanel;
    QCoro::Task<> keyCheck = noteStoredOpenAIKey(keyStore, state);

    // The window manager may ignore a raise from a program in the background; asking it to
    // activate the window as a pager would does not.
    WindowContext windowContext;
    windowContext.state = &state;
    windowContext.history = &history;
    reportStartupStep("services");
    MainWindow window(windowContext, [&workspace](QWidget *w) {
        workspace.activate(RunningApplication{int64_t(::getpid()), QStringLiteral("Orvel Raza"), uint64_t(w->winId())});
    });
    mainWindow.window = &window;
    AgentResultPanelController resultPanels(state, scheduler, &panelHints, [&workspace](QWidget *w) {
        workspace.activate(RunningApplication{int64_t(::getpid()), QStringLiteral("Orvel Raza"), uint64_t(w->winId())});
    });
    agentResults.panels = &resultPanels;
    reportStartupStep("window");
    TrayIcon tray(state);
    reportStartupStep("tray");
    // Without a tray there would be nothing to reach the program by.
    if (!hidden || !QSystemTrayIcon::isSystemTrayAvailable())
        window.show();
    instance.onAction = [&state](InstanceAction requested) { applyInstanceAction(state, requested); };
    if (action && *action != InstanceAction::showMainWindow)
        QTimer::singleShot(0, &state, [&state, requested = *action] { applyInstanceAction(state, requested); });

    return app.exec();
}
