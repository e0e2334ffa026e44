// "Get the speech engines" runs the real shipped script: without network it says why, and a
// cancel ends the script and the apt processes under it.
#include "ScopedEnv.h"
#include "TempDataHome.h"
#include "speech/SpeechEngineInstaller.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// The child this test process started last (the script), from /proc.
pid_t scriptProcess()
{
    pid_t found = 0;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "PID (NAME) STATE PPID PGRP ..."; NAME may hold spaces, so count from its end.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[1].toInt() == ::getpid() && fields[2].toInt() == entry.toInt())
            found = entry.toInt();
    }
    return found;
}

class SpeechEngineInstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/apt-get")) ||
            !QFile::exists(QStringLiteral("/usr/share/keyrings/debian-archive-keyring.gpg")))
            GTEST_SKIP() << "needs apt-get and debian-archive-keyring";
    }
    TempDataHome home;
    ScopedEnv downloads{"ORVEL_ENGINE_DOWNLOADS", home.path() + QStringLiteral("/downloads")};
    ScopedEnv cache{"ORVEL_ENGINE_CACHE", home.path() + QStringLiteral("/engines")};
    SpeechEngineInstaller installer;
    QSignalSpy finished{&installer, &SpeechEngineInstaller::finished};
};

TEST_F(SpeechEngineInstallerTest, WithoutNetworkTheFailureSaysWhy)
{
    ScopedEnv proxy("http_proxy", QStringLiteral("http://127.0.0.1:9")); // refuses
    installer.start();
    ASSERT_TRUE(installer.running());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(installer.state(), SpeechEngineInstaller::State::failed);
    EXPECT_TRUE(installer.error().startsWith(QStringLiteral("Could not get the speech engines: cannot read Debian "
                                                            "unstable from http")))
        << installer.error().toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/engines/current")));
}

TEST_F(SpeechEngineInstallerTest, CancelEndsTheScriptAndEverythingItStarted)
{
    // A mirror that takes the connection and never answers: apt waits in its download method.
    QTcpServer stalled;
    ASSERT_TRUE(stalled.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> held;
    QObject::connect(&stalled, &QTcpServer::newConnection, [&] { held << stalled.nextPendingConnection(); });
    ScopedEnv proxy("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(stalled.serverPort()));

    installer.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !held.isEmpty(); }, 30000)) << "apt never asked the mirror";
    EXPECT_TRUE(installer.stage().startsWith(QStringLiteral("Reading Debian unstable"))) << installer.stage().toStdString();
    const pid_t group = scriptProcess();
    ASSERT_GT(group, 0);
    installer.cancel();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(installer.state(), SpeechEngineInstaller::State::idle);
    EXPECT_TRUE(installer.error().isEmpty()) << installer.error().toStdString();
    // Nothing of the script's process group is left, apt's method included.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(-group, 0) == -1 && errno == ESRCH; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (QTcpSocket *s : std::as_const(held))
            if (s->state() == QAbstractSocket::ConnectedState)
                return false;
        return true;
    }, 5000));
}

} // namespace
