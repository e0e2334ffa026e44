// The whole program as a native Wayland client in a private KDE Plasma session: the real portal
// binds its shortcuts in kglobalaccel, keys through the RemoteDesktop portal drive Dictation and
// Command, and the text reaches native Qt 6 and GTK 3 fields through the real engines.
#include "CommandHome.h"
#include "KWinDriver.h"
#include "ProgramRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <list>

namespace {

using CommandHome::readFile;

const QString kSentence = QStringLiteral(ORVEL_TEST_MODEL_SENTENCE);

class WaylandEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto why = KWinDriver::unavailable())
            GTEST_SKIP() << why->toStdString();
        if (const auto engine = CommandHome::missingEngine()) {
            if (QStringLiteral(ORVEL_ENGINES_STATE) == QStringLiteral("none"))
                GTEST_SKIP() << "set-up provided no engines";
            FAIL() << engine->toStdString() << " is missing although set-up provided the engines";
        }
        ASSERT_TRUE(CommandHome::prepare(dir.path()));
        env = CommandHome::environment(dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        ASSERT_TRUE(driver.start());
    }

    void TearDown() override
    {
        ProgramRun::stop(orvel);
        for (QProcess &target : targets)
            ProgramRun::stop(target);
    }

    // Started, and its shortcuts in kglobalaccel. Returns the trigger of each shortcut by id.
    std::map<QString, QString> startProgram()
    {
        orvel.setProcessEnvironment(env);
        orvel.setProcessChannelMode(QProcess::ForwardedChannels);
        orvel.start(ProgramRun::program(), {QStringLiteral("--hidden")});
        EXPECT_TRUE(orvel.waitForStarted());
        // Without a tray the program shows its window once it is up, its shortcuts asked for.
        EXPECT_TRUE(QTest::qWaitFor([&] { return driver.activePid() == orvel.processId(); }, 30000))
            << "the program's window never came up";
        QTest::qWait(1000);
        std::map<QString, QString> keys;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            keys = KWinDriver::boundKeys();
            return keys.size() >= 4;
        }, 20000)) << "the shortcuts never reached kglobalaccel";
        return keys;
    }

    // A target window in front with the keyboard focus, as a user clicking into it.
    QString startTarget(const QString &program, QStringList arguments, const QString &script = {})
    {
        QProcess &target = targets.emplace_back();
        const QString out = dir.filePath(QStringLiteral("target-%1.txt").arg(targets.size()));
        target.setProcessEnvironment(env);
        target.setProcessChannelMode(QProcess::ForwardedChannels);
        target.start(program, (script.isEmpty() ? QStringList{} : QStringList{script}) + QStringList{out} + arguments);
        EXPECT_TRUE(target.waitForStarted());
        EXPECT_TRUE(QTest::qWaitFor([&] { return driver.activate(target.processId()); }, 15000))
            << "the target never came to the front";
        QTest::qWait(500);
        return out;
    }
    QString startGtk(QStringList arguments)
    {
        return startTarget(QStringLiteral("/usr/bin/python3"), arguments, QStringLiteral(ORVEL_GTK_TARGET));
    }
    qint64 lastTargetPid() const { return targets.back().processId(); }

    // The screen as a person sees it, where ORVEL_TEST_SCREENSHOTS names a folder.
    void screenshot(const QString &name)
    {
        const QString folder = qEnvironmentVariable("ORVEL_TEST_SCREENSHOTS");
        if (!folder.isEmpty()) {
            EXPECT_TRUE(driver.ask(QStringLiteral("screenshot %1/%2.png").arg(folder, name)));
        }
    }

    // The shortcut tapped, the dictation or instruction spoken, the shortcut tapped again.
    void speak(const QString &trigger)
    {
        ASSERT_TRUE(driver.keys(QStringLiteral("tap"), trigger));
        ASSERT_TRUE(CommandHome::speakWhileRecording(dir.path())) << "recording did not start";
        ASSERT_TRUE(driver.keys(QStringLiteral("tap"), trigger));
    }

    // The toggle shortcut's key. Where KRunner holds Alt+Space kglobalaccel gave ours none; the
    // user would pick another in System Settings, which sets it through kglobalaccel as here.
    QString toggleTrigger(const std::map<QString, QString> &keys)
    {
        const QString bound = keys.at(QStringLiteral("orvel-1"));
        if (!bound.isEmpty())
            return bound;
        const QString chosen = QStringLiteral("Meta+Alt+D");
        QDBusMessage set = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"),
                                                          QStringLiteral("/kglobalaccel"),
                                                          QStringLiteral("org.kde.KGlobalAccel"),
                                                          QStringLiteral("setForeignShortcut"));
        const QStringList action{PortalHotKeyBackend::sessionToken, QStringLiteral("orvel-1"),
                                 PortalHotKeyBackend::sessionToken, QStringLiteral("Start or stop Dictation")};
        set << action << QVariant::fromValue(QList<int>{(Qt::META | Qt::ALT | Qt::Key_D).toCombined()});
        EXPECT_EQ(QDBusConnection::sessionBus().call(set).type(), QDBusMessage::ReplyMessage);
        EXPECT_EQ(KWinDriver::boundKeys()[QStringLiteral("orvel-1")], chosen);
        return chosen;
    }

    QTemporaryDir dir;
    QProcessEnvironment env;
    KWinDriver driver;
    QProcess orvel;
    std::list<QProcess> targets;
};

} // namespace

TEST_F(WaylandEndToEndTest, ShortcutsBindAndDictationArrivesInQtAndGtkFields)
{
    const auto keys = startProgram();
    // Hold-to-talk and both Command shortcuts have keys nobody else holds.
    EXPECT_EQ(keys.at(QStringLiteral("orvel-2")), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(keys.at(QStringLiteral("orvel-4")), QStringLiteral("Alt+Shift+Space"));
    const QString toggle = toggleTrigger(keys);

    // Toggle into a native Wayland Qt 6 field, over its accessibility interface.
    const QString qt = startTarget(ProgramRun::supportDir() + QStringLiteral("/orvel-text-field"), {});
    speak(toggle);
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(qt) == kSentence; }, 30000)) << "Qt field: " << readFile(qt).toStdString();

    // Hold-to-talk into a GTK 3 field: recording while the keys are held. The overlay is a layer
    // surface that takes no keyboard focus, so the field stays KWin's active window throughout.
    const QString gtk = startGtk({QStringLiteral("Notes: ")});
    const qint64 field = lastTargetPid();
    ASSERT_TRUE(driver.keys(QStringLiteral("down"), QStringLiteral("Ctrl+Alt+Space")));
    const bool spoke = CommandHome::speakWhileRecording(dir.path());
    const qint64 whileRecording = driver.activePid();
    screenshot(QStringLiteral("kwin-hold-to-talk-recording"));
    ASSERT_TRUE(driver.keys(QStringLiteral("up"), QStringLiteral("Ctrl+Alt+Space")));
    const qint64 whileTranscribing = driver.activePid();
    ASSERT_TRUE(spoke) << "holding the shortcut did not record";
    EXPECT_EQ(whileRecording, field) << "the overlay took the focus while recording";
    EXPECT_EQ(whileTranscribing, field) << "the overlay took the focus while transcribing";
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(gtk) == QStringLiteral("Notes: ") + kSentence; }, 30000))
        << "GTK field: " << readFile(gtk).toStdString();
    EXPECT_EQ(driver.activePid(), field);
    screenshot(QStringLiteral("kwin-hold-to-talk-done"));
    EXPECT_EQ(readFile(qt), kSentence) << "the earlier target was written again";
}

TEST_F(WaylandEndToEndTest, CommandReplacesTheSelectionOfAGtkField)
{
    const QString before = QStringLiteral("Dear team, "), selected = QStringLiteral("we are late"),
                  after = QStringLiteral(". Thanks.");
    startProgram();
    const QString mail = startGtk({before + selected + after, QString::number(before.size()),
                                   QString::number(before.size() + selected.size())});
    speak(QStringLiteral("Alt+Shift+Space"));

    QJsonObject conversation;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QJsonArray all = QJsonDocument::fromJson(readFile(CommandHome::conversationsFile(dir.path())).toUtf8()).array();
        conversation = all.first().toObject();
        return all.size() == 1 && conversation.value(QStringLiteral("messages")).toArray().size() == 2;
    }, 90000)) << readFile(CommandHome::conversationsFile(dir.path())).toStdString();
    const QJsonArray turns = conversation.value(QStringLiteral("messages")).toArray();
    const QString answer = turns[1].toObject().value(QStringLiteral("text")).toString();
    ASSERT_FALSE(answer.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(mail) == before + answer + after; }, 15000))
        << "field: " << readFile(mail).toStdString() << "\nanswer: " << answer.toStdString();
    screenshot(QStringLiteral("kwin-command-done"));
    // The selection was read over the accessibility bus.
    EXPECT_EQ(turns[0].toObject().value(QStringLiteral("attachments")).toArray().first().toObject().value(
                  QStringLiteral("text")).toString(),
              selected);
    EXPECT_EQ(conversation.value(QStringLiteral("targetApplicationName")).toString(), QStringLiteral("gtk-target.py"));
}
