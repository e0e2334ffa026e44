// Command against the test session's desktop: a GTK editor in front with text selected (read over
// AT-SPI), the shortcut pressed with xdotool, the real whisper-cli, orvel-agent and llama-server with
// a tiny model, the answer pasted over the selection and the clipboard given back.
#include "CommandHome.h"
#include "ProgramRun.h"
#include "RealEngines.h"
#include "RunTask.h"
#include "app/KeyboardShortcutSetting.h"
#include "command/ModelServerKeyStore.h"
#include "models/ModelServer.h"
#include "platform/Json.h"
#include "platform/x11/QtKeychainSecretStore.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Ports.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString kInstruction = QStringLiteral(ORVEL_TEST_MODEL_SENTENCE);
const QString kBefore = QStringLiteral("Dear team, "), kSelected = QStringLiteral("we are late"),
              kAfter = QStringLiteral(". Thanks.");

using CommandHome::readFile;

class CommandEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.hasXTest() || !x11.ewmh() || qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
            GTEST_SKIP() << "needs the test session's X server, window manager and PulseAudio";
        if (const auto engine = CommandHome::missingEngine()) {
            if (QStringLiteral(ORVEL_ENGINES_STATE) == QStringLiteral("none"))
                GTEST_SKIP() << "set-up provided no engines";
            FAIL() << engine->toStdString() << " is missing although set-up provided the engines";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        program = ProgramRun::program();
        ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
        env = CommandHome::environment(dir.path());
        ASSERT_TRUE(CommandHome::prepare(dir.path()));
        conversations = CommandHome::conversationsFile(dir.path());
    }

    void TearDown() override
    {
        ProgramRun::stop(orvel);
        ProgramRun::stop(target);
    }

    void key(const QString &chord)
    {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), chord});
        ASSERT_TRUE(xdotool.waitForFinished(5000));
    }

    void startProgram()
    {
        orvel.setProcessEnvironment(env);
        orvel.setProcessChannelMode(QProcess::ForwardedChannels);
        orvel.start(program, {QStringLiteral("--hidden")});
        ASSERT_TRUE(orvel.waitForStarted());
        // Without a tray the program shows its window; the editor must come up after it.
        (void)QTest::qWaitFor([&] {
            const auto front = workspace.frontmostApplication();
            return front && front->processIdentifier == orvel.processId();
        }, 8000);
    }

    // The GTK editor by default (the system interpreter has the GTK bindings), with the text and
    // its selection, in front.
    void startTarget(QStringList extra = {}, const QString &title = QStringLiteral("^Test Editor$"),
                     const QString &program = QStringLiteral("/usr/bin/python3"),
                     const QStringList &script = {QStringLiteral(ORVEL_GTK_TARGET)})
    {
        typed = dir.path() + QStringLiteral("/typed.txt");
        target.setProcessEnvironment(env);
        target.setProcessChannelMode(QProcess::ForwardedChannels);
        target.start(program, script + QStringList{typed, kBefore + kSelected + kAfter, QString::number(kBefore.size()),
                                                   QString::number(kBefore.size() + kSelected.size())} + extra);
        ASSERT_TRUE(target.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const auto front = workspace.frontmostApplication();
            return front && front->processIdentifier == target.processId();
        }, 15000)) << "the editor never came to the front";
        // As a user clicking into it: a window mapped in front is not always focused yet.
        ASSERT_TRUE(typeInto(title, QStringLiteral("true")));
    }

    // A clipboard of the user's, with more than text on it.
    void fillClipboard()
    {
        auto *mime = new QMimeData;
        mime->setData(QStringLiteral("text/plain"), "mine");
        mime->setData(QStringLiteral("text/html"), "<b>mine</b>");
        mime->setData(QStringLiteral("application/x-orvel-test"), QByteArray("\x00\x01\x02", 3));
        QGuiApplication::clipboard()->setMimeData(mime);
    }

    void expectClipboardRestored()
    {
        // The program owns what it gave back; reading it goes over the X server.
        // Qt here may still hold the list of types from when the answer was on the clipboard, so
        // every type is waited for, not only the first.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            const QMimeData *m = QGuiApplication::clipboard()->mimeData();
            return m && m->data(QStringLiteral("text/plain")) == "mine" &&
                   m->data(QStringLiteral("text/html")) == "<b>mine</b>" &&
                   m->data(QStringLiteral("application/x-orvel-test")) == QByteArray("\x00\x01\x02", 3);
        }, 10000)) << "clipboard: " << QGuiApplication::clipboard()->text().toStdString();
    }

    QJsonArray storedConversations() const
    {
        return QJsonDocument::fromJson(readFile(conversations).toUtf8()).array();
    }

    // The last answer of the only conversation, once it is stored.
    QString storedAnswer(int messages)
    {
        QString answer;
        (void)QTest::qWaitFor([&] {
            const QJsonArray all = storedConversations();
            if (all.size() != 1)
                return false;
            const QJsonArray turns = all[0].toObject().value(QStringLiteral("messages")).toArray();
            if (turns.size() < messages)
                return false;
            answer = turns[messages - 1].toObject().value(QStringLiteral("text")).toString();
            return true;
        }, 60000);
        return answer;
    }

    // Shortcut, a tone into the virtual microphone (the speech model hears the instruction in
    // anything that is not silence), shortcut again.
    // holdSeconds: how long the shortcut stays down, as a person holds it.
    void speak(double holdSeconds = 0)
    {
        if (holdSeconds > 0)
            ASSERT_TRUE(shell(QStringLiteral("xdotool keydown alt+shift+space && sleep %1 && xdotool keyup alt+shift+space")
                                  .arg(holdSeconds)));
        else
            key(QStringLiteral("alt+shift+space"));
        ASSERT_TRUE(CommandHome::speakWhileRecording(dir.path())) << "recording did not start";
        key(QStringLiteral("alt+shift+space"));
    }

    // Waits for the target's text to hold the answer where the selection was.
    bool standsInPlaceOfTheSelection(const QString &answer)
    {
        return QTest::qWaitFor([&] { return readFile(typed) == kBefore + answer + kAfter; }, 15000);
    }

    static bool shell(const QString &script)
    {
        return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script}) == 0;
    }

    // Brings a window forward by its title and types into it.
    static bool typeInto(const QString &title, const QString &keys)
    {
        return shell(QStringLiteral("w=$(timeout 10 xdotool search --sync --onlyvisible --name '%1' | head -1) && "
                                    "xdotool windowactivate --sync $w && sleep 0.3 && %2")
                         .arg(title, keys));
    }

    // Milliseconds of processor time the llama-server processes take in that much wall time.
    static qint64 serverCpuDuring(int milliseconds)
    {
        const auto total = [] {
            qint64 ticks = 0;
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                if (readFile(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed() != QStringLiteral("llama-server"))
                    continue;
                const QString stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
                const QStringList fields = stat.mid(stat.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
                if (fields.size() > 12)
                    ticks += fields[11].toLongLong() + fields[12].toLongLong();
            }
            return ticks * 1000 / sysconf(_SC_CLK_TCK);
        };
        const qint64 before = total();
        QTest::qWait(milliseconds);
        return total() - before;
    }

    QTemporaryDir dir;
    X11Connection x11;
    X11Workspace workspace{x11};
    QString program, typed, conversations;
    QProcessEnvironment env;
    QProcess orvel, target;
};

} // namespace

TEST_F(CommandEndToEndTest, SpokenInstructionReplacesTheSelectionAndGivesTheClipboardBack)
{
    startProgram();
    startTarget();
    fillClipboard();
    QTest::qWait(1500); // the program's shortcuts and runtime warm-up
    speak();

    const QString answer = storedAnswer(2);
    ASSERT_FALSE(answer.isEmpty()) << readFile(conversations).toStdString();
    EXPECT_TRUE(standsInPlaceOfTheSelection(answer))
        << "editor: " << readFile(typed).toStdString() << "\nanswer: " << answer.toStdString();
    expectClipboardRestored();

    const QJsonObject conversation = storedConversations()[0].toObject();
    const QJsonArray turns = conversation.value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(turns.size(), 2);
    EXPECT_TRUE(turns[0].toObject().value(QStringLiteral("text")).toString().contains(kInstruction))
        << QJsonDocument(conversation).toJson().toStdString();

    // "Open" on the toast, a refinement typed and sent with Enter: the earlier result is still
    // there as it was pasted, so the new one takes its place.
    ASSERT_TRUE(shell(QStringLiteral(
        "eval $(timeout 10 xdotool search --sync --onlyvisible --name '^Command finished' getwindowgeometry --shell) && "
        "xdotool mousemove $((X + 48)) $((Y + HEIGHT - 30)) click 1")))
        << "no toast";
    const QString conversationWindow = QStringLiteral(" Command$");
    ASSERT_TRUE(typeInto(conversationWindow, QStringLiteral("xdotool type --delay 20 'Make it shorter' && xdotool key Return")));
    const QString second = storedAnswer(4);
    ASSERT_FALSE(second.isEmpty()) << readFile(conversations).toStdString();
    EXPECT_TRUE(standsInPlaceOfTheSelection(second))
        << "editor: " << readFile(typed).toStdString() << "\nrefinement: " << second.toStdString();

    // The user edits inside the result: the next refinement must not overwrite that text and is
    // left on the clipboard for the user to paste.
    ASSERT_TRUE(typeInto(QStringLiteral("^Test Editor$"),
                         QStringLiteral("xdotool key ctrl+Home && xdotool key --repeat %1 Right && xdotool type X")
                             .arg(kBefore.size() + 1)));
    const QString edited = kBefore + second.left(1) + QLatin1Char('X') + second.mid(1) + kAfter;
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(typed) == edited; }, 5000)) << readFile(typed).toStdString();
    ASSERT_TRUE(typeInto(conversationWindow, QStringLiteral("xdotool type --delay 20 'Once more' && xdotool key Return")));
    const QString third = storedAnswer(6);
    ASSERT_FALSE(third.isEmpty()) << readFile(conversations).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::clipboard()->text() == third; }, 10000))
        << "clipboard: " << QGuiApplication::clipboard()->text().toStdString();
    EXPECT_EQ(readFile(typed), edited);
}

TEST_F(CommandEndToEndTest, CancelWhileTheModelWritesLeavesTheTextAndTheClipboardAlone)
{
    env.insert(QStringLiteral("LLAMA_ARG_N_PREDICT"), QStringLiteral("100000"));
    startProgram();
    startTarget();
    fillClipboard();
    QTest::qWait(1500);
    speak();

    // The instruction is stored once heard; the model is then writing its endless answer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return storedConversations().size() == 1; }, 30000))
        << readFile(conversations).toStdString();
    // The tiny model writes its few thousand tokens within seconds: Esc as soon as it is busy.
    QDeadlineTimer loading(30000);
    while (serverCpuDuring(200) < 100 && !loading.hasExpired()) {
    }
    ASSERT_FALSE(loading.hasExpired()) << "the model never started writing";
    key(QStringLiteral("Escape"));
    QTest::qWait(1500);
    // The server stops writing as well, instead of finishing the answer nobody reads.
    EXPECT_LT(serverCpuDuring(1500), 300);

    const QString original = kBefore + kSelected + kAfter;
    EXPECT_EQ(readFile(typed), original);
    const QJsonArray turns = storedConversations()[0].toObject().value(QStringLiteral("messages")).toArray();
    EXPECT_EQ(turns.size(), 1) << readFile(conversations).toStdString();
    expectClipboardRestored();
}

// Qt programs stay off the accessibility bus unless a screen reader runs: the selection comes from
// the copy fallback, sent only once the shortcut's key is up (until then the keyboard is ours),
// and the answer still replaces it.
TEST_F(CommandEndToEndTest, AFieldWithoutAccessibilityIsServedThroughTheCopyFallback)
{
    startProgram();
    startTarget({}, QStringLiteral("^Orvel Test Field$"), ProgramRun::supportDir() + QStringLiteral("/orvel-text-field"), {});
    QTest::qWait(1500);
    speak(0.4);
    const QString answer = storedAnswer(2);
    ASSERT_FALSE(answer.isEmpty()) << readFile(conversations).toStdString();
    EXPECT_TRUE(standsInPlaceOfTheSelection(answer)) << "field: " << readFile(typed).toStdString();
    EXPECT_EQ(storedConversations()[0].toObject().value(QStringLiteral("messages")).toArray()[0].toObject()
                  .value(QStringLiteral("attachments")).toArray().first().toObject().value(QStringLiteral("text"))
                  .toString(), kSelected);
}

// The writing model is on a server of the user's: a llama-server started here with an API key.
// The key is in the session's keyring only; the program hands it to its runtime over the pipe.
// The target is a terminal, which takes the shifted paste chord.
TEST_F(CommandEndToEndTest, ATeamServerWritesIntoATerminalAndItsKeyStaysInTheKeyring)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    const QString key = QStringLiteral("team-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    RunningLlamaServer server(llama, key, 24);
    ASSERT_TRUE(server.waitUntilReady()) << "llama-server did not come up";
    const ModelServer team{.name = QStringLiteral("Team box"), .baseURL = server.baseURL(), .model = llama.model,
                           .hasKey = true};
    QtKeychainSecretStore secrets;
    ModelServerKeyStore keys(secrets);
    ASSERT_TRUE(runTask(keys.save(team.id, key)).ok());
    ASSERT_TRUE(QDir().mkpath(CommandHome::dataFolder(dir.path()) + QStringLiteral("/Agent")));
    QFile servers(CommandHome::dataFolder(dir.path()) + QStringLiteral("/Agent/model-servers.json"));
    ASSERT_TRUE(servers.open(QIODevice::WriteOnly));
    servers.write(Json::filePretty(QJsonArray{team.toJson()}));
    servers.close();
    {
        QSettings prefs(dir.path() + QStringLiteral("/config/Orvel Raza/OrvelPlus.conf"), QSettings::IniFormat);
        AgentSettings settings = AgentSettings::fromStoredData(prefs.value(QStringLiteral("agentSettings")).toByteArray());
        settings.writingProvider = AgentWritingProvider::openAICompatible;
        settings.selectedServerModelID = team.modelID();
        prefs.setValue(QStringLiteral("agentSettings"), settings.storedData());
    }
    // The program's own llama-server would be a second one: there must be none.
    const QString localModel = CommandHome::dataFolder(dir.path()) + QStringLiteral("/AgentModels/qwen3-4b-q4");
    ASSERT_TRUE(QDir(localModel).removeRecursively());

    startProgram();
    // This editor pastes on Ctrl+Shift+V only, as terminals do: the program must send that chord.
    startTarget({QStringLiteral("--class"), QStringLiteral("xterm")});
    QTest::qWait(1500);
    speak();
    const QString answer = storedAnswer(2);
    ASSERT_FALSE(answer.isEmpty()) << readFile(conversations).toStdString();
    EXPECT_TRUE(standsInPlaceOfTheSelection(answer))
        << "terminal: " << readFile(typed).toStdString() << "\nanswer: " << answer.toStdString();

    // Neither the program nor any child of it carries the key in its arguments or environment,
    // and no file of the program holds it.
    QList<qint64> family{orvel.processId()};
    for (qsizetype i = 0; i < family.size(); ++i)
        family += childProcesses(family[i]);
    EXPECT_GE(family.size(), 2) << "the runtime is a child of the program";
    for (qint64 pid : family) {
        for (const char *file : {"cmdline", "environ"}) {
            EXPECT_FALSE(readFile(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file))).contains(key))
                << pid << " " << file;
        }
    }
    ProgramRun::stop(orvel);
    QDirIterator files(dir.path(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        EXPECT_FALSE(readFile(path).contains(key)) << path.toStdString();
    }
    (void)runTask(keys.remove(team.id));
}
