#pragma once

#include "FakeModelHost.h"
#include "RunTask.h"
#include "TempDataHome.h"
#include "../speech/TestFiles.h"
#include "platform/Sha256.h"
#include "speech/AppPaths.h"
#include "speech/ResourceLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// A scratch data folder and temporary folder, a stand-in model host, and helpers shared by the
// speech and writing model store tests, whose downloads share one downloader.
class ModelHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.listen());
        saveEnv("TMPDIR");
        saveEnv("ORVEL_LLAMA_SERVER_PATH");
        QDir().mkpath(tmp());
        qputenv("TMPDIR", tmp().toUtf8());
        ResourceLocator::setInstallRoot(home.path() + QStringLiteral("/prefix"));
    }
    void TearDown() override
    {
        ResourceLocator::setInstallRoot(QString());
        m_saved.clear();
    }
    // Restored as it is now when the test ends.
    void saveEnv(const char *name) { m_saved.push_back(std::make_unique<ScopedEnv>(name, qEnvironmentVariable(name))); }

    QString tmp() const { return home.path() + QStringLiteral("/tmp"); }
    QStringList staged() const { return QDir(tmp()).entryList({QStringLiteral("orvel-plus-*.download")}, QDir::Files); }

    static QByteArray body(int size, int salt = 0)
    {
        QByteArray b(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            b[i] = char((unsigned(i) * 131u + unsigned(i) / 7u + unsigned(salt)) & 0xffu);
        return b;
    }
    static QString digest(const QByteArray &bytes)
    {
        Sha256 h;
        h.update(bytes);
        return h.finalHex();
    }
    static void waitUntil(const std::function<bool()> &condition, int milliseconds = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    TempDataHome home;
    FakeModelHost host;

private:
    std::vector<std::unique_ptr<ScopedEnv>> m_saved;
};
