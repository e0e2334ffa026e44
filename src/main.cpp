// OrvelPlus: wires the real platform ports into the application state and runs the event loop.
#include "app/AppState.h"
#include "command/OpenAIKeychainStore.h"
#include "platform/QtPasteboard.h"
#include "platform/QtScheduler.h"
#include "platform/x11/QtKeychainSecretStore.h"
#include "platform/x11/QtSoundPlayer.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11Ports.h"
#include "speech/AudioRecorder.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"
#include "speech/ResourceLocator.h"
#include "speech/WhisperRunner.h"
#include "ui/MainWindow.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <csignal>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The overlay arrives with the screens; until then a run shows itself in the window and tray.
class NoOverlay final : public OverlayPresenter {
public:
    void show() override {}
    void hide() override {}
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
    // Global shortcuts, key events and window activation are X11 facilities.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvel Raza"));
    QApplication::setApplicationName(QStringLiteral("OrvelPlus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvel Raza"));
    QApplication::setDesktopFileName(QStringLiteral("orvel-raza"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (const auto icon = ResourceLocator::file(QStringLiteral("orvel-raza.png")))
        QApplication::setWindowIcon(QIcon(*icon));
    quitOnTerminationSignals(app);
    // Started at login: the tray icon and the shortcuts, no window.
    const bool hidden = QApplication::arguments().contains(QStringLiteral("--hidden"));

    X11Connection x11;
    QtScheduler scheduler;
    QtPasteboard pasteboard;
    X11KeySynthesizer keys(x11);
    X11Workspace workspace(x11);
    X11Accessibility accessibility(x11);
    LinuxPermissions permissions(x11);
    X11HotKeyBackend hotKeys(x11);
    QtSoundPlayer sounds(soundFile);
    AudioRecorder recorder(scheduler);
    WhisperRunner runner;
    ModelStore modelStore; // prepares the folders and puts the shipped Pocket model in place
    HistoryStore history;
    NoOverlay overlay;
    LateMainWindow mainWindow;

    AppState::Services services;
    services.scheduler = &scheduler;
    services.pasteboard = &pasteboard;
    services.keys = &keys;
    services.workspace = &workspace;
    services.accessibility = &accessibility;
    services.permissions = &permissions;
    services.sounds = &sounds;
    services.recorder = &recorder;
    services.runner = &runner;
    services.history = &history;
    services.overlay = &overlay;
    services.mainWindow = &mainWindow;
    services.hotKeys = &hotKeys;
    AppState state(services); // registers the shortcuts
    reportStartupStep("shortcuts");
    QtKeychainSecretStore secrets;
    OpenAIKeychainStore keyStore(secrets);
    QCoro::Task<> keyCheck = noteStoredOpenAIKey(keyStore, state);

    // The window manager may ignore a raise from a program in the background; asking it to
    // activate the window as a pager would does not.
    WindowContext windowContext;
    windowContext.state = &state;
    windowContext.history = &history;
    windowContext.models = &modelStore;
    MainWindow window(windowContext, [&workspace](QWidget *w) {
        workspace.activate(RunningApplication{int64_t(::getpid()), QStringLiteral("Orvel Raza"), uint64_t(w->winId())});
    });
    mainWindow.window = &window;
    TrayIcon tray(state);
    if (!hidden)
        window.show();

    return app.exec();
}
