// OrvelPlus: wires the real platform ports into the application state and runs the event loop.
#include "app/AppState.h"
#include "command/OpenAIKeychainStore.h"
#include "platform/Accessibility.h"
#include "platform/KeySynthesizer.h"
#include "platform/Permissions.h"
#include "platform/QtPasteboard.h"
#include "platform/QtScheduler.h"
#include "platform/SoundPlayer.h"
#include "platform/Workspace.h"
#include "platform/x11/QtKeychainSecretStore.h"
#include "speech/AudioRecorder.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"
#include "speech/WhisperRunner.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Stand-ins for the parts that have no desktop implementation yet: they report "unavailable".
class NoWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() const override { return std::nullopt; }
    void activate(const RunningApplication &) override {}
    bool isCurrentApplication(const RunningApplication &) const override { return false; }
};
class NoAccessibility final : public Accessibility {
public:
    bool isProcessTrusted(bool) override { return false; }
    std::shared_ptr<AccessibleElement> focusedElement() override { return nullptr; }
};
class NoKeys final : public KeySynthesizer {
public:
    void postKey(uint16_t, uint64_t) override {}
};
class NoPermissions final : public Permissions {
public:
    bool microphoneGranted() const override { return false; }
    bool requestMicrophone() override { return false; }
    bool screenCaptureGranted() const override { return false; }
    bool requestScreenCapture() override { return false; }
    void openSettings(const QString &) override {}
};
class BeepOnly final : public SoundPlayer {
public:
    bool play(const QString &, double) override { return false; }
    void stop() override {}
    void beep() override { QApplication::beep(); }
};
class NoOverlay final : public OverlayPresenter {
public:
    void show() override {}
    void hide() override {}
};
class NoMainWindow final : public MainWindowPresenter {
public:
    void bringForward() override {}
};
class NoCancelShortcut final : public CancelShortcutControl {
public:
    void registerCancelHotKey() override {}
    void unregisterCancelHotKey() override {}
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

// Start-up notes only whether a cloud key is stored; a failing read counts as none.
QCoro::Task<> noteStoredOpenAIKey(OpenAIKeychainStore &store, AppState &state)
{
    QCoro::Task<Result<std::optional<QString>, OpenAIKeychainError>> loading = store.load();
    const auto loaded = co_await loading;
    state.setOpenAIAPIKeyConfigured(loaded.ok() && loaded.value().has_value());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvel Raza"));
    QApplication::setApplicationName(QStringLiteral("OrvelPlus"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvel Raza"));
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnTerminationSignals(app);

    QtScheduler scheduler;
    QtPasteboard pasteboard;
    NoKeys keys;
    NoWorkspace workspace;
    NoAccessibility accessibility;
    NoPermissions permissions;
    BeepOnly sounds;
    ModelStore modelStore; // puts the shipped Pocket model in place
    HistoryStore history;
    AudioRecorder recorder(scheduler);
    WhisperRunner runner;
    NoOverlay overlay;
    NoMainWindow mainWindow;
    NoCancelShortcut cancelShortcut;

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
    services.cancelShortcut = &cancelShortcut;
    AppState state(services);
    QtKeychainSecretStore secrets;
    OpenAIKeychainStore keyStore(secrets);
    QCoro::Task<> keyCheck = noteStoredOpenAIKey(keyStore, state);

    return app.exec();
}
