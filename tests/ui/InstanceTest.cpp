// One program per session: a second start hands its request to the running program over the
// session bus, and the command-line actions for a desktop's own shortcuts drive Dictation.
#include "app/InstanceService.h"
#include "platform/x11/X11Connection.h"
#include "ProgramRun.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

const QString kTranscript = QStringLiteral("Handed over by the command line.");

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.ewmh() || !QDBusConnection::sessionBus().isConnected() ||
            qEnvironmentVariableIsEmpty("PULSE_RUNTIME_PATH"))
            GTEST_SKIP() << "needs the test session's X server, bus and PulseAudio";
        program = ProgramRun::program();
        ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
        env = ProgramRun::environment(dir.path(), kTranscript);
        ASSERT_TRUE(ProgramRun::placeModel(dir.path()));

        orvel.setProcessEnvironment(env);
        orvel.setProcessChannelMode(QProcess::ForwardedChannels);
        orvel.start(program, {QStringLiteral("--hidden")});
        ASSERT_TRUE(orvel.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QString::fromLatin1(InstanceService::serviceName));
        }, 15000)) << "the program never took its name on the bus";
    }

    void TearDown() override
    {
        ProgramRun::stop(orvel);
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

    QStringList recordings() const
    {
        return QDir(dir.path() + QStringLiteral("/data/Orvel Raza/TemporaryRecordings")).entryList(QDir::Files);
    }

    QString history() const
    {
        QFile f(dir.path() + QStringLiteral("/data/Orvel Raza/history.json"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QTemporaryDir dir;
    X11Connection x11;
    QString program;
    QProcessEnvironment env;
    QProcess orvel;
};

} // namespace

TEST_F(InstanceTest, SecondStartsHandTheirRequestToTheRunningProgram)
{
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
    QProcess play;
    play.start(QStringLiteral("pacat"), {QStringLiteral("--device=orvel_test_sink"), QStringLiteral("--format=s16le"),
                                         QStringLiteral("--rate=16000"), QStringLiteral("--channels=1")});
    ASSERT_TRUE(play.waitForStarted());
    QByteArray tone;
    for (int i = 0; i < 16000; ++i) {
        const auto v = qint16(std::lround(8000 * std::sin(2 * M_PI * 440 * i / 16000.0)));
        tone.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    play.write(tone);
    play.closeWriteChannel();
    EXPECT_TRUE(play.waitForFinished(10000));

    EXPECT_EQ(secondStart({QStringLiteral("--stop-dictation")}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return history().contains(kTranscript); }, 15000)) << history().toStdString();
    EXPECT_EQ(orvel.state(), QProcess::Running);
}
