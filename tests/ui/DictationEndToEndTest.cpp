// The whole program against the test session's desktop: a global shortcut pressed with XTEST
// while another application is in front, the real recorder on the virtual microphone, and the
// transcript in that application, on the clipboard and in the history. Also one program per
// session, the command-line actions for a desktop's own shortcuts, and the tray.
#include "CommandHome.h"
#include "app/InstanceService.h"
#include "app/KeyboardShortcutSetting.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Ports.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb_ewmh.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr uint32_t kSpace = 0x20, kEscape = 0xff1b, kControl = 0xffe3, kShift = 0xffe1;
// The sentence the test model for the real engine says, too.
const QString kTranscript = QStringLiteral(ORVEL_TEST_MODEL_SENTENCE);

using CommandHome::readFile;
using ProgramRun::supportDir;

xcb_atom_t atom(xcb_connection_t *c, const QByteArray &name)
{
    auto *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.constData()), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

// Owns the tray selection of the screen, as a panel's notification area does, and notices the
// program asking to dock its icon.
class StandInTray {
public:
    explicit StandInTray(int screen) : m_c(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t *s = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, s->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        m_selection = atom(m_c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
        m_opcode = atom(m_c, "_NET_SYSTEM_TRAY_OPCODE");
        xcb_set_selection_owner(m_c, m_window, m_selection, XCB_CURRENT_TIME);
        xcb_flush(m_c);
    }
    ~StandInTray()
    {
        xcb_destroy_window(m_c, m_window);
        xcb_disconnect(m_c);
    }
    bool owns()
    {
        auto *r = xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_selection), nullptr);
        const bool ours = r && r->owner == m_window;
        free(r);
        return ours;
    }
    bool dockRequested()
    {
        while (xcb_generic_event_t *e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                reinterpret_cast<xcb_client_message_event_t *>(e)->type == m_opcode)
                m_docked = true;
            free(e);
        }
        return m_docked;
    }

private:
    xcb_connection_t *m_c;
    xcb_window_t m_window = 0;
    xcb_atom_t m_selection = XCB_ATOM_NONE, m_opcode = XCB_ATOM_NONE;
    bool m_docked = false;
};

class DictationEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.hasXTest() || !x11.ewmh() || qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
            GTEST_SKIP() << "needs the test session's X server, window manager and PulseAudio";
        program = ProgramRun::program();
        ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
        env = ProgramRun::environment(dir.path(), kTranscript);

        // ⌥Space usually belongs to the window manager (openbox's window menu), so the test
        // toggles with ⌃⇧Space, set the way the Settings screen would store it.
        KeyboardShortcutSetting toggle = KeyboardShortcutSetting::defaultToggle();
        toggle.option = false;
        toggle.control = toggle.shift = true;
        QSettings prefs(dir.path() + QStringLiteral("/config/Orvel Raza/OrvelPlus.conf"), QSettings::IniFormat);
        prefs.setValue(QStringLiteral("toggleShortcut"), toggle.toJson());
        prefs.sync();

        ASSERT_TRUE(ProgramRun::placeModel(dir.path()));
    }

    void TearDown() override
    {
        // Asked to end (as a session's log-out does), the program ends, whatever it was doing.
        EXPECT_TRUE(ProgramRun::stop(orvel)) << "the program ignored SIGTERM";
        ProgramRun::stop(field);
    }

    void tap(std::initializer_list<uint32_t> keys)
    {
        auto *c = x11.connection();
        for (uint32_t k : keys)
            xcb_test_fake_input(c, XCB_KEY_PRESS, x11.keycodeForKeysym(k), XCB_CURRENT_TIME, x11.root(), 0, 0, 0);
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
            xcb_test_fake_input(c, XCB_KEY_RELEASE, x11.keycodeForKeysym(*it), XCB_CURRENT_TIME, x11.root(), 0, 0, 0);
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }

    // Whether some other client holds a grab of the combination.
    bool grabbedElsewhere(uint32_t keysym, uint16_t modifiers)
    {
        auto *c = x11.connection();
        const uint8_t code = x11.keycodeForKeysym(keysym);
        xcb_generic_error_t *error = xcb_request_check(
            c, xcb_grab_key_checked(c, 1, x11.root(), modifiers, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (!error) {
            xcb_ungrab_key(c, code, x11.root(), modifiers);
            xcb_flush(c);
            return false;
        }
        free(error);
        return true;
    }

    // Whether the window manager manages a window of the program.
    bool programWindowShown()
    {
        auto *ewmh = x11.ewmh();
        xcb_ewmh_get_windows_reply_t list;
        if (!xcb_ewmh_get_client_list_reply(ewmh, xcb_ewmh_get_client_list(ewmh, x11.screenNumber()), &list, nullptr))
            return false;
        bool found = false;
        for (uint32_t i = 0; i < list.windows_len && !found; ++i) {
            uint32_t pid = 0;
            found = xcb_ewmh_get_wm_pid_reply(ewmh, xcb_ewmh_get_wm_pid(ewmh, list.windows[i]), &pid, nullptr) &&
                    int64_t(pid) == orvel.processId();
        }
        xcb_ewmh_get_windows_reply_wipe(&list);
        return found;
    }

    QString history() { return readFile(dir.path() + QStringLiteral("/data/Orvel Raza/history.json")); }
    QStringList recordings() const
    {
        return QDir(dir.path() + QStringLiteral("/data/Orvel Raza/TemporaryRecordings")).entryList(QDir::Files);
    }

    void startHidden()
    {
        orvel.setProcessEnvironment(env);
        orvel.setProcessChannelMode(QProcess::ForwardedChannels);
        orvel.start(program, {QStringLiteral("--hidden")});
        ASSERT_TRUE(orvel.waitForStarted());
    }

    // Runs a second start and returns its exit code.
    int secondStart(const QStringList &arguments)
    {
        QProcess second;
        second.setProcessEnvironment(env);
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(program, arguments);
        if (!second.waitForFinished(20000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    QTemporaryDir dir;
    X11Connection x11;
    X11Workspace workspace{x11};
    QString program;
    QProcessEnvironment env;
    QProcess orvel, field;
};

} // namespace

// With the real whisper-cli from set-up (beside the program, in libexec) and a tiny model that
// always says the sentence; the stand-in engine only where set-up provided none.
TEST_F(DictationEndToEndTest, ToggleShortcutDictatesIntoTheApplicationInFront)
{
    const QString engine = QDir::cleanPath(supportDir() + QStringLiteral("/../../libexec/orvel-raza/whisper-cli"));
    if (QFile::exists(engine) || !QStandardPaths::findExecutable(QStringLiteral("whisper-cli")).isEmpty()) {
        env.remove(QStringLiteral("ORVEL_WHISPER_CLI_PATH"));
        const QString model = dir.path() + QStringLiteral("/data/Orvel Raza/Models/ggml-tiny.en-q5_1.bin");
        ASSERT_TRUE(QFile::remove(model));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVEL_TEST_MODELS_DIR "/whisper-sentence.bin"), model));
    } else if (QStringLiteral(ORVEL_ENGINES_STATE) != QStringLiteral("none")) {
        FAIL() << "whisper-cli is missing although set-up provided the engines";
    }
    // Probing a combination means grabbing it for a moment, which would make the program's own
    // grab of it fail; so readiness is read from the combination it registers last, and the
    // recording from its file.
    const uint16_t lastRegistered = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
    startHidden();
    ASSERT_TRUE(QTest::qWaitFor([&] { return grabbedElsewhere(kSpace, lastRegistered); }, 15000))
        << "the program never registered its shortcuts";
    EXPECT_FALSE(grabbedElsewhere(kEscape, 0)) << "Esc is taken while idle";

    // Without a tray the program shows its window once started; the field must come after it,
    // or the window takes the front from the field.
    EXPECT_TRUE(QTest::qWaitFor([&] { return programWindowShown(); }, 15000)) << "no window to reach the program by";
    const auto inFront = [&](const QProcess &p) {
        const auto front = workspace.frontmostApplication();
        return front && front->processIdentifier == p.processId();
    };
    (void)QTest::qWaitFor([&] { return inFront(orvel); }, 5000);
    const QString typed = dir.path() + QStringLiteral("/typed.txt");
    field.setProcessEnvironment(env);
    field.start(supportDir() + QStringLiteral("/orvel-text-field"), {typed});
    ASSERT_TRUE(field.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return inFront(field); }, 10000)) << "the text field never came to the front";

    tap({kControl, kShift, kSpace});
    ASSERT_TRUE(CommandHome::speakWhileRecording(dir.path())) << "recording did not start";
    tap({kControl, kShift, kSpace});
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(typed) == kTranscript; }, 15000))
        << "typed: " << readFile(typed).toStdString();
    EXPECT_FALSE(grabbedElsewhere(kEscape, 0));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kTranscript);

    EXPECT_TRUE(history().contains(kTranscript));
    // The recording is not kept.
    for (const char *folder : {"Recordings", "TemporaryRecordings"})
        EXPECT_TRUE(QDir(dir.path() + QStringLiteral("/data/Orvel Raza/") + QLatin1String(folder)).isEmpty(QDir::Files))
            << folder;
}

// Started hidden where a tray is, the program docks its icon and shows no window; later starts
// hand their request over.
TEST_F(DictationEndToEndTest, HiddenStartStaysInTheTrayAndSecondStartsHandTheirRequestOver)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs the test session's bus";
    StandInTray tray(x11.screenNumber());
    ASSERT_TRUE(tray.owns()) << "another tray holds the selection";
    startHidden();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.dockRequested(); }, 15000)) << "the icon never asked to dock";
    ASSERT_TRUE(QTest::qWaitFor([] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromLatin1(InstanceService::serviceName));
    }, 15000)) << "the program never took its name on the bus";
    // The window would be mapped right after the icon asked; give the window manager time to list it.
    QTest::qWait(1500);
    EXPECT_FALSE(programWindowShown());

    // A second program would keep running; one that handed over ends at once.
    EXPECT_EQ(secondStart({}), 0);
    EXPECT_EQ(orvel.state(), QProcess::Running);

    // Nothing else answers the program's name: an unknown request is an error, not a no-op.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(InstanceService::serviceName), QString::fromLatin1(InstanceService::objectPath),
        QString::fromLatin1(InstanceService::interfaceName), QStringLiteral("Perform"));
    call << QStringLiteral("format-disk");
    EXPECT_EQ(QDBusConnection::sessionBus().call(call).type(), QDBusMessage::ErrorMessage);

    // The actions for a desktop's own shortcuts drive Dictation.
    EXPECT_EQ(secondStart({QStringLiteral("--toggle-dictation")}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recordings().isEmpty(); }, 10000)) << "recording did not start";
    EXPECT_EQ(secondStart({QStringLiteral("--cancel")}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recordings().isEmpty(); }, 10000)) << "cancel kept the recording";

    // A desktop's press and release bindings: a repeated start keeps the one recording.
    EXPECT_EQ(secondStart({QStringLiteral("--start-dictation")}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recordings().isEmpty(); }, 10000));
    EXPECT_EQ(secondStart({QStringLiteral("--start-dictation")}), 0);
    EXPECT_EQ(recordings().size(), 1);
    // Something to hear, so the recording is not silence.
    EXPECT_TRUE(CommandHome::speakWhileRecording(dir.path()));
    EXPECT_EQ(secondStart({QStringLiteral("--stop-dictation")}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return history().contains(kTranscript); }, 15000)) << history().toStdString();
    EXPECT_EQ(orvel.state(), QProcess::Running);
}

// A history that is a link to /dev/zero once kept the program reading it at start-up, deaf to
// SIGTERM. It is now refused unread: the program comes up and ends when asked (TearDown).
TEST_F(DictationEndToEndTest, AHistoryLinkedToAnEndlessDeviceNeitherHoldsStartUpNorTheEnd)
{
    StandInTray tray(x11.screenNumber());
    ASSERT_TRUE(tray.owns()) << "another tray holds the selection";
    const QString data = dir.path() + QStringLiteral("/data/Orvel Raza");
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), data + QStringLiteral("/history.json")));
    startHidden();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.dockRequested(); }, 15000)) << "start-up never finished";
    EXPECT_EQ(QFileInfo(data + QStringLiteral("/history.json")).symLinkTarget(), QStringLiteral("/dev/zero"));
}
