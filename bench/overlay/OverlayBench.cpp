// Runs the real state and overlay for ten seconds hidden, then ten seconds listening, and
// reports the main thread's context switches and processor time for each. Needs an X server:
//   scripts/test-session.sh build-bench/bench/overlay_bench [seconds]
#include "FakeDictation.h"
#include "FakePorts.h"
#include "app/AppState.h"
#include "platform/QtScheduler.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FloatingPanelHints.h"
#include "speech/AppPaths.h"
#include "speech/SpeechModel.h"
#include "ui/overlay/OverlayPanelController.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct Sample {
    long switches = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// Voluntary and involuntary switches of the calling thread, from its /proc status.
long contextSwitches()
{
    QFile f(QStringLiteral("/proc/self/task/%1/status").arg(long(::syscall(SYS_gettid))));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    long total = 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.contains("ctxt_switches:"))
            total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    return total;
}

double seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

Sample measure(double duration)
{
    const long switches = contextSwitches();
    const double cpu = seconds(CLOCK_THREAD_CPUTIME_ID);
    const double wall = seconds(CLOCK_MONOTONIC);
    QEventLoop loop;
    QTimer::singleShot(int(duration * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    // The wake-up that ends the measurement is the bench's own; it is left out.
    return {contextSwitches() - switches - 1, seconds(CLOCK_THREAD_CPUTIME_ID) - cpu, seconds(CLOCK_MONOTONIC) - wall};
}

void report(const char *what, const Sample &s)
{
    std::printf("%-34s %6ld context switches (%.1f/s), main thread %.3f s CPU = %.2f %% of one core\n", what,
                s.switches, s.switches / s.wallSeconds, s.cpuSeconds, 100 * s.cpuSeconds / s.wallSeconds);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    QApplication app(argc, argv);
    const double duration = argc > 1 ? std::atof(argv[1]) : 10.0;
    AppPaths::reset();
    QDir().mkpath(AppPaths::models());
    QFile model(AppPaths::models() + QLatin1Char('/') + SpeechModel::withID(QStringLiteral("pocket"))->fileName);
    if (model.open(QIODevice::WriteOnly))
        model.write("model");
    model.close();

    QtScheduler scheduler;
    FakePasteboard pasteboard;
    FakeKeySynthesizer keys;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    FakePermissions permissions;
    FakeSoundPlayer sounds;
    FakeRecorder recorder;
    recorder.filePath = home.filePath(QStringLiteral("recording.wav"));
    FakeRunner runner;
    FakeHistory history;
    FakeMainWindow mainWindow;
    FakeCancelShortcut cancelShortcut;
    QSettings store(home.filePath(QStringLiteral("preferences.ini")), QSettings::IniFormat);
    X11Connection x11;
    X11FloatingPanelHints hints(x11);

    struct Forward final : OverlayPresenter {
        void show() override { to->show(); }
        void hide() override { to->hide(); }
        OverlayPanelController *to = nullptr;
    } forward;

    AppState::Services s;
    s.scheduler = &scheduler;
    s.pasteboard = &pasteboard;
    s.keys = &keys;
    s.workspace = &workspace;
    s.accessibility = &accessibility;
    s.permissions = &permissions;
    s.sounds = &sounds;
    s.recorder = &recorder;
    s.runner = &runner;
    s.history = &history;
    s.overlay = &forward;
    s.mainWindow = &mainWindow;
    s.cancelShortcut = &cancelShortcut;
    s.defaults = &store;
    AppState state(s);
    // Levels that change every frame, as a voice would.
    QList<double> levels(20, 0.015);
    OverlayPanelController overlay(state, store, scheduler, &hints, [&levels] {
        levels.removeFirst();
        levels.append(0.015 + 0.985 * QRandomGenerator::global()->generateDouble());
        return levels;
    });
    forward.to = &overlay;

    // Let start-up settle, then measure.
    measure(1.0);
    report("hidden (idle)", measure(duration));

    state.toggleRecording();
    measure(0.5);
    report("listening (waveform at 10 frames/s)", measure(duration));
    state.cancelRecording();
    return 0;
}
