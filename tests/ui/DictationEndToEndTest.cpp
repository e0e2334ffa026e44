// The whole program against the test session's desktop: a global shortcut pressed with XTEST
// while another application is in front, the real recorder on the virtual microphone, the
// stand-in engine, and the transcript on the clipboard, in that application and in the history.
#include "app/KeyboardShortcutSetting.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Ports.h"
#include "ProgramRun.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr uint32_t kSpace = 0x20, kEscape = 0xff1b, kControl = 0xffe3, kShift = 0xffe1;
// The sentence the test model for the real engine says, too.
const QString kTranscript = QStringLiteral(ORVEL_TEST_MODEL_SENTENCE);

using ProgramRun::supportDir;

// A second of a 440 Hz tone into the virtual microphone.
bool playTone()
{
    QByteArray pcm;
    for (int i = 0; i < 16000; ++i) {
        const auto v = qint16(std::lround(8000 * std::sin(2 * M_PI * 440 * i / 16000.0)));
        pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    QProcess play;
    play.start(QStringLiteral("pacat"), {QStringLiteral("--device=orvel_test_sink"), QStringLiteral("--format=s16le"),
                                         QStringLiteral("--rate=16000"), QStringLiteral("--channels=1")});
    play.write(pcm);
    play.closeWriteChannel();
    return play.waitForFinished(10000) && play.exitCode() == 0;
}

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
        ProgramRun::stop(orvel);
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

    QString readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
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
    orvel.setProcessEnvironment(env);
    orvel.setProcessChannelMode(QProcess::ForwardedChannels);
    orvel.start(program, {QStringLiteral("--hidden")});
    ASSERT_TRUE(orvel.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return grabbedElsewhere(kSpace, lastRegistered); }, 15000))
        << "the program never registered its shortcuts";
    EXPECT_TRUE(grabbedElsewhere(kSpace, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT));
    EXPECT_FALSE(grabbedElsewhere(kEscape, 0)) << "Esc is taken while idle";

    // Without a tray the program shows its window once started; the field must come after it,
    // or the window takes the front from the field.
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

    const QDir working(dir.path() + QStringLiteral("/data/Orvel Raza/TemporaryRecordings"));
    tap({kControl, kShift, kSpace});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !working.entryList(QDir::Files).isEmpty(); }, 10000))
        << "recording did not start";

    // The virtual microphone may deliver its first audio a second or two late: the tone goes out
    // once the recording has begun to fill, or silence would be all it holds.
    (void)QTest::qWaitFor(
        [&] {
            const QFileInfoList files = working.entryInfoList(QDir::Files);
            return !files.isEmpty() && files.first().size() > 44 + 3200;
        },
        5000);
    EXPECT_TRUE(playTone());

    tap({kControl, kShift, kSpace});
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(typed) == kTranscript; }, 15000))
        << "typed: " << readFile(typed).toStdString();
    EXPECT_FALSE(grabbedElsewhere(kEscape, 0));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kTranscript);

    EXPECT_TRUE(readFile(dir.path() + QStringLiteral("/data/Orvel Raza/history.json")).contains(kTranscript));
    // The recording is not kept.
    for (const char *folder : {"Recordings", "TemporaryRecordings"})
        EXPECT_TRUE(QDir(dir.path() + QStringLiteral("/data/Orvel Raza/") + QLatin1String(folder)).isEmpty(QDir::Files))
            << folder;
}
