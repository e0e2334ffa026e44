// OrvelPlus: wires the real platform ports into the application state and runs the event loop.
#include "app/AgentServices.h"
#include "audio/AudioModuleLoader.h"
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
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11Ports.h"
#include "platform/x11/X11ScreenCapture.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"
#include "speech/ResourceLocator.h"
#include "speech/WarmRunner.h"
#include "speech/WhisperRunner.h"
#include "ui/MainWindow.h"
#include "ui/TrayIcon.h"
#include "ui/command/AgentResultPanelController.h"
#include "ui/overlay/OverlayPanelController.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

#include <csignal>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A floating panel controller that observes the state, so it is made after it: after the
// window's first picture, or when something asks to show it first. After release(), showing it
// does nothing.
template <typename Controller> class LatePanel {
public:
    std::function<std::unique_ptr<Controller>()> make;
    Controller *get()
    {
        if (!m_controller && make)
            m_controller = make();
        return m_controller.get();
    }
    // The controller when it exists, without making it.
    Controller *made() const { return m_controller.get(); }
    void release()
    {
        make = {};
        m_controller.reset();
    }

private:
    std::unique_ptr<Controller> m_controller;
};

class LateOverlay final : public OverlayPresenter, public LatePanel<OverlayPanelController> {
public:
    void show() override
    {
        if (auto *p = get())
            p->show();
    }
    void hide() override
    {
        if (auto *p = made())
            p->hide();
    }
    // Without a panel yet, the next show already uses the default place.
    void setDefaultPosition() override
    {
        if (auto *p = made())
            p->setDefaultPosition();
    }
};
// The Command result card and conversation window.
class LateAgentResults final : public AgentResultPresenter, public LatePanel<AgentResultPanelController> {
public:
    void showResult() override
    {
        if (auto *p = get())
            p->showResult();
    }
    void hideResult() override
    {
        if (auto *p = made())
            p->hideResult();
    }
    void showConversationPanel() override
    {
        if (auto *p = get())
            p->showConversationPanel();
    }
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

// Whether a microphone exists is asked of the sound server too: until the window has been
// drawn it counts as present, then the state asks again for real.
class LatePermissions final : public Permissions {
public:
    explicit LatePermissions(Permissions &permissions) : m_permissions(permissions) {}
    void setReady() { m_ready = true; }
    bool microphoneGranted() const override { return !m_ready || m_permissions.microphoneGranted(); }
    bool requestMicrophone() override { return m_permissions.requestMicrophone(); }
    bool screenCaptureGranted() const override { return m_permissions.screenCaptureGranted(); }
    bool requestScreenCapture() override { return m_permissions.requestScreenCapture(); }
    void openSettings(const QString &location) override { m_permissions.openSettings(location); }

private:
    Permissions &m_permissions;
    bool m_ready = false;
};

// The runtime is warmed at start so the first Command does not wait for it, but its start-up
// would share the processor with the window's: the warm-up waits for the first picture. A run
// before that starts the runtime itself.
class LateWarmRuntime final : public AgentRuntimeClient {
public:
    explicit LateWarmRuntime(AgentRuntimeService &service) : m_client(service), m_service(service) {}
    void warmUp()
    {
        m_ready = true;
        (void)m_service.ensureProcess();
    }
    Result<void, AgentRuntimeError> ensureProcess() override
    {
        if (!m_ready)
            return {};
        return m_client.ensureProcess();
    }
    QCoro::Task<AgentRunResult> run(AgentRuntimeRequest request, EventHandler onEvent) override
    {
        return m_client.run(std::move(request), std::move(onEvent));
    }
    void cancel(const QUuid &requestID) override { m_client.cancel(requestID); }
    std::optional<QString> bundledExecutable(const QString &name) const override
    {
        return m_client.bundledExecutable(name);
    }

private:
    AgentRuntimeServiceClient m_client;
    AgentRuntimeService &m_service;
    bool m_ready = false;
};

// Runs `work` once, when the window has painted for the first time (at once when it is not
// shown), so none of it delays the first picture.
class AfterFirstPaint final : public QObject {
public:
    AfterFirstPaint(QWidget &window, std::function<void()> work) : m_work(std::move(work))
    {
        if (window.isVisible())
            window.installEventFilter(this);
        else
            QTimer::singleShot(0, this, [this] { run(); });
        // A window the desktop never draws (on another workspace) must not hold everything back.
        QTimer::singleShot(3000, this, [this] { run(); });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued: the picture reaches the screen before the work starts.
            QTimer::singleShot(0, this, [this] { run(); });
        }
        return false;
    }

private:
    void run()
    {
        if (auto work = std::exchange(m_work, {}))
            work();
    }
    std::function<void()> m_work;
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
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        [[maybe_unused]] auto n = ::read(g_signalPipe[0], &byte, 1);
        // Not quit(): Qt lets a window that refuses to close veto that, and the main window
        // only hides when closed.
        QCoreApplication::exit(0);
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
    reportStartupStep("main");
    if (const auto exitCode = runSpeechModelCommand(argc, argv))
        return *exitCode;
    if (const auto exitCode = runSpeechEnginesCommand(argc, argv))
        return *exitCode;
    DesktopSession::choosePlatform();
    QApplication app(argc, argv);
    reportStartupStep("application");
    QApplication::setOrganizationName(QStringLiteral("Orvel Raza"));
    QApplication::setApplicationName(QStringLiteral("OrvelPlus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvel Raza"));
    QApplication::setDesktopFileName(QStringLiteral("orvel-raza"));
    QApplication::setQuitOnLastWindowClosed(false);
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
    LinuxPermissions desktopPermissions(x11, microphonePresent);
    LatePermissions permissions(desktopPermissions);
    DesktopSession session(x11);
    ModuleSoundPlayer sounds(soundFile);
    ModuleRecorder recorder(scheduler);
    WhisperRunner commandLineRunner;
    WarmRunner runner(scheduler, commandLineRunner);
    ModelStore modelStore; // prepares the folders and puts the shipped Pocket model in place
    HistoryStore history;
    LateOverlay overlay;
    const std::unique_ptr<QSettings> defaults = Preferences::openDefaultStore();
    LateMainWindow mainWindow;
    LateAgentResults agentResults;
    X11ScreenCapture screenCapture(x11);
    QtKeychainSecretStore secrets;
    OpenAIKeychainStore keyStore(secrets);
    ModelServerKeyStore serverKeys(secrets);
    // One runtime for the whole run.
    AgentRuntimeService agentRuntime(scheduler);
    LateWarmRuntime agentRuntimeClient(agentRuntime);

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
    services.speechHost = &runner;
    services.history = &history;
    services.overlay = &overlay;
    services.mainWindow = &mainWindow;
    services.modelStore = &modelStore;
    services.hotKeys = session.hotKeys();
    services.agentRuntime = &agentRuntimeClient;
    services.screenCapture = &screenCapture;
    services.screenCaptureSeesEveryWindow = session.screenCaptureSeesEveryWindow();
    services.openAIKeychain = &keyStore;
    services.serverKeys = &serverKeys;
    services.agentResults = &agentResults;
    services.defaults = defaults.get();
    AppState state(services); // registers the shortcuts
    reportStartupStep("shortcuts");
    overlay.make = [&] {
        return std::make_unique<OverlayPanelController>(state, *defaults, scheduler, session.panelHints(),
                                                        [&recorder] { return recorder.samples(); });
    };

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
    agentResults.make = [&] {
        return std::make_unique<AgentResultPanelController>(state, scheduler, session.panelHints(), [&workspace](QWidget *w) {
            workspace.activate(RunningApplication{int64_t(::getpid()), QStringLiteral("Orvel Raza"), uint64_t(w->winId())});
        });
    };
    reportStartupStep("window");
    // Without a tray there would be nothing to reach the program by.
    if (!hidden || !QSystemTrayIcon::isSystemTrayAvailable())
        window.show();

    // What the first picture does not need comes after it: the window and tray icon, the sound
    // server, the keyring, the floating panels. (Decoding the icon cost a few milliseconds before
    // the window could map; the window manager takes the icon when it changes.)
    std::unique_ptr<TrayIcon> tray;
    std::optional<QCoro::Task<>> keyCheck;
    AfterFirstPaint rest(window, [&] {
        if (const auto icon = ResourceLocator::file(QStringLiteral("orvel-raza.png")))
            QApplication::setWindowIcon(QIcon(*icon));
        tray = std::make_unique<TrayIcon>(state);
        reportStartupStep("tray");
        recorder.recorder();
        permissions.setReady();
        state.refreshPermissions();
        keyCheck.emplace(noteStoredOpenAIKey(keyStore, state));
        (void)overlay.get();
        (void)agentResults.get();
        agentRuntimeClient.warmUp();
        reportStartupStep("ready");
    });
    instance.onAction = [&state](InstanceAction requested) { applyInstanceAction(state, requested); };
    if (action && *action != InstanceAction::showMainWindow)
        QTimer::singleShot(0, &state, [&state, requested = *action] { applyInstanceAction(state, requested); });

    const int exitCode = app.exec();
    // The panels observe the state: they go first.
    overlay.release();
    agentResults.release();
    return exitCode;
}
