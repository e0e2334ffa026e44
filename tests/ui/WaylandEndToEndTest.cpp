// The whole program as it runs in a Wayland session: told so by XDG_SESSION_TYPE, it takes its
// shortcuts from the stand-in desktop portal (pressed and released over D-Bus, never with keys),
// finds the application in front and its focused field over AT-SPI, and writes into a GTK editor
// through accessibility; the portal keyboard's Ctrl+V only where the field takes no edit. The
// real whisper-cli, orvel-agent and llama-server with the tiny model do the work.
#include "CommandHome.h"
#include "ProgramRun.h"
#include "TestPortal.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <list>

namespace {

using CommandHome::readFile;

const QString kSentence = QStringLiteral(ORVEL_TEST_MODEL_SENTENCE);

class WaylandEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH") ||
            !QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "needs the test session's display, bus and PulseAudio";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        if (const auto engine = CommandHome::missingEngine()) {
            if (QStringLiteral(ORVEL_ENGINES_STATE) == QStringLiteral("none"))
                GTEST_SKIP() << "set-up provided no engines";
            FAIL() << engine->toStdString() << " is missing although set-up provided the engines";
        }
        ASSERT_TRUE(CommandHome::prepare(dir.path()));
        env = CommandHome::environment(dir.path());
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));

        portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        portal.start(QStringLiteral(ORVEL_FAKE_PORTAL), {});
        ASSERT_TRUE(portal.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return portal.canReadLine() || portal.state() == QProcess::NotRunning; },
                                    20000));
        ASSERT_EQ(portal.readLine().trimmed(), "ready");
    }

    void TearDown() override
    {
        ProgramRun::stop(orvel);
        for (QProcess &editor : editors)
            ProgramRun::stop(editor);
        ProgramRun::stop(portal);
    }

    static QDBusMessage control(const char *method, const QVariantList &arguments = {})
    {
        return testPortalControl(method, arguments);
    }
    QJsonArray portalJson(const char *method)
    {
        return QJsonDocument::fromJson(control(method).arguments().value(0).toString().toUtf8()).array();
    }
    QList<QJsonObject> binds()
    {
        QList<QJsonObject> out;
        for (const auto &entry : portalJson("Log"))
            if (entry.toObject().value(QStringLiteral("method")).toString() == QStringLiteral("BindShortcuts"))
                out.append(entry.toObject());
        return out;
    }

    // The desktop's shortcut: pressed and let go, as the portal reports it.
    void trigger(const QString &shortcut)
    {
        ASSERT_EQ(control("Press", {shortcut}).type(), QDBusMessage::ReplyMessage) << shortcut.toStdString();
        ASSERT_EQ(control("Release", {shortcut}).type(), QDBusMessage::ReplyMessage);
    }

    void startProgram()
    {
        orvel.setProcessEnvironment(env);
        orvel.setProcessChannelMode(QProcess::ForwardedChannels);
        orvel.start(ProgramRun::program(), {QStringLiteral("--hidden")});
        ASSERT_TRUE(orvel.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !binds().isEmpty(); }, 15000)) << "no shortcuts were bound";
        // Without a tray the program shows its window; the editor must come up after it.
        QTest::qWait(1500);
    }

    // A GTK editor in front with the keyboard focus, as a user clicking into it; returns the
    // file it writes its text to.
    QString startEditor(const QString &text, QStringList extra = {})
    {
        QProcess &editor = editors.emplace_back();
        const QString out = dir.filePath(QStringLiteral("editor-%1.txt").arg(editors.size()));
        editor.setProcessEnvironment(env);
        editor.setProcessChannelMode(QProcess::ForwardedChannels);
        editor.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral(ORVEL_GTK_TARGET), out, text} + extra);
        EXPECT_TRUE(editor.waitForStarted());
        EXPECT_EQ(QProcess::execute(QStringLiteral("sh"),
                                    {QStringLiteral("-c"),
                                     QStringLiteral("w=$(timeout 10 xdotool search --sync --onlyvisible --pid %1 "
                                                    "--name '^Test Editor$' | head -1) && "
                                                    "xdotool windowactivate --sync $w && sleep 0.5")
                                         .arg(editor.processId())}),
                  0)
            << "the editor never came to the front";
        return out;
    }

    // Shortcut, the instruction or the dictation spoken, shortcut again.
    void speak(const QString &shortcut)
    {
        trigger(shortcut);
        ASSERT_TRUE(CommandHome::speakWhileRecording(dir.path())) << "recording did not start";
        trigger(shortcut);
    }

    QTemporaryDir dir;
    QProcessEnvironment env;
    QProcess portal, orvel;
    std::list<QProcess> editors;
};

} // namespace

TEST_F(WaylandEndToEndTest, DictationGoesIntoTheFocusedFieldAndElseThroughThePortalKeyboard)
{
    startProgram();
    const QString notes = startEditor(QStringLiteral("Notes: "));
    speak(QStringLiteral("orvel-1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(notes) == QStringLiteral("Notes: ") + kSentence; }, 20000))
        << "editor: " << readFile(notes).toStdString();
    EXPECT_TRUE(portalJson("Keys").isEmpty()) << "keys were sent where accessibility wrote the text";

    // A field that takes no edit: the text is pasted with the portal's keyboard instead.
    const QString fixed = startEditor(QStringLiteral("Read only"), {QStringLiteral("--read-only")});
    speak(QStringLiteral("orvel-1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return portalJson("Keys").size() >= 4; }, 20000));
    EXPECT_EQ(portalJson("Keys"), QJsonDocument::fromJson("[[65507,1],[118,1],[118,0],[65507,0]]").array());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kSentence);
    EXPECT_EQ(readFile(fixed), QStringLiteral("Read only"));
    EXPECT_EQ(readFile(notes), QStringLiteral("Notes: ") + kSentence);

    // The cancel key stays off the portal: a bare Esc bound there would be taken from every
    // application. So the desktop was asked once, for the four shortcuts with modifiers.
    const auto bound = binds();
    ASSERT_EQ(bound.size(), 1);
    QStringList ids;
    for (const auto &shortcut : bound[0].value(QStringLiteral("shortcuts")).toArray())
        ids << shortcut.toArray()[0].toString();
    EXPECT_EQ(ids, QStringList({QStringLiteral("orvel-1"), QStringLiteral("orvel-2"), QStringLiteral("orvel-4"),
                                QStringLiteral("orvel-5")}));
}

TEST_F(WaylandEndToEndTest, CommandReplacesTheSelectionOfTheFocusedField)
{
    const QString before = QStringLiteral("Dear team, "), selected = QStringLiteral("we are late"),
                  after = QStringLiteral(". Thanks.");
    startProgram();
    const QString mail = startEditor(before + selected + after,
                                     {QString::number(before.size()), QString::number(before.size() + selected.size())});
    speak(QStringLiteral("orvel-4"));

    QJsonObject conversation;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QJsonArray all = QJsonDocument::fromJson(readFile(CommandHome::conversationsFile(dir.path())).toUtf8()).array();
        conversation = all.first().toObject();
        return all.size() == 1 && conversation.value(QStringLiteral("messages")).toArray().size() == 2;
    }, 60000)) << readFile(CommandHome::conversationsFile(dir.path())).toStdString();
    const QJsonArray turns = conversation.value(QStringLiteral("messages")).toArray();
    const QString answer = turns[1].toObject().value(QStringLiteral("text")).toString();
    ASSERT_FALSE(answer.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(mail) == before + answer + after; }, 15000))
        << "editor: " << readFile(mail).toStdString() << "\nanswer: " << answer.toStdString();

    // The selection and the application came from the accessibility bus, with no key sent.
    const QJsonObject instruction = turns[0].toObject();
    EXPECT_TRUE(instruction.value(QStringLiteral("text")).toString().contains(kSentence));
    EXPECT_EQ(instruction.value(QStringLiteral("attachments")).toArray().first().toObject().value(
                  QStringLiteral("text")).toString(),
              selected);
    // The bus knows GTK's program name; the window system would have said "Test-editor".
    EXPECT_EQ(conversation.value(QStringLiteral("targetApplicationName")).toString(), QStringLiteral("gtk-target.py"));
    EXPECT_TRUE(portalJson("Keys").isEmpty());
}
