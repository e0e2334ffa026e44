// `OrvelPlus --download-speech-model`, as set-up runs it: the real program, without a desktop
// session, against the stand-in model host.
#include "FakeModelHost.h"
#include "TempDataHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kPocketPath = QStringLiteral("/tovrank/whisper.cpp/resolve/main/ggml-tiny.en-q5_1.bin");

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

class SpeechModelCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.listen()); }

    Outcome run(const QString &hostUrl, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVEL_MODEL_HOST"), hostUrl);
        env.insert(QStringLiteral("TMPDIR"), home.path());
        // No desktop: set-up may run on a console or over ssh.
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QDir::cleanPath(qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/../../bin/OrvelPlus")),
                      QStringList{QStringLiteral("--download-speech-model")} + args);
        // The host answers from this thread's event loop.
        EXPECT_TRUE(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 60000));
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromLocal8Bit(program.readAllStandardOutput()),
                QString::fromLocal8Bit(program.readAllStandardError())};
    }

    QStringList folderFiles() const { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }
    QStringList staged() const { return QDir(home.path()).entryList({QStringLiteral("*.download")}, QDir::Files); }

    TempDataHome home;
    FakeModelHost host;
    QString folder = home.path() + QStringLiteral("/share/orvel-raza");
};

} // namespace

TEST_F(SpeechModelCommandTest, FetchesPocketIntoTheFolderOnce)
{
    const QByteArray body(300000, 'w');
    FakeModelHost::Route route;
    route.body = body;
    host.route(kPocketPath, route);
    const Outcome first = run(host.baseUrl(), {QStringLiteral("pocket"), folder});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    QFile saved(folder + QStringLiteral("/ggml-tiny.en-q5_1.bin"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), body);
    EXPECT_EQ(folderFiles(), QStringList{QStringLiteral("ggml-tiny.en-q5_1.bin")});
    EXPECT_TRUE(first.out.contains(saved.fileName())) << first.out.toStdString();
    EXPECT_EQ(host.requests, QStringList{kPocketPath + QStringLiteral("?download=true")});

    // A second set-up run finds it and asks nothing.
    const Outcome second = run(host.baseUrl(), {QStringLiteral("pocket"), folder});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(host.requests.size(), 1);
}

// The store's own tests walk an error status; here the command's exit codes and one-line message.
TEST_F(SpeechModelCommandTest, FailuresSayWhyInOneLineAndLeaveNothing)
{
    const Outcome r = run(QStringLiteral("http://127.0.0.1:1"), {QStringLiteral("pocket"), folder}); // nobody listens
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("127.0.0.1"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Dictation will ask for a download"))) << r.err.toStdString();
    EXPECT_TRUE(folderFiles().isEmpty()) << folderFiles().join(' ').toStdString();
    EXPECT_TRUE(staged().isEmpty()) << staged().join(' ').toStdString();

    // An unknown or missing model name shows the choices and asks nothing.
    for (const QStringList &args : {QStringList{QStringLiteral("tiny")}, QStringList{}}) {
        const Outcome unknown = run(host.baseUrl(), args);
        EXPECT_EQ(unknown.exitCode, 2);
        EXPECT_TRUE(unknown.err.contains(QStringLiteral("pocket, velocity"))) << unknown.err.toStdString();
    }
    EXPECT_TRUE(host.requests.isEmpty());
}
