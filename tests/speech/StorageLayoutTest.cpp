#include "TempDataHome.h"
#include "speech/AppPaths.h"
#include "speech/ResourceLocator.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QStringList treeBelow(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(root).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

void touch(const QString &path, QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    f.setPermissions(perms);
}

} // namespace

TEST(AppPaths, PrepareCreatesExactlyTheFoldersAndRecreatesThemWithoutTouchingFiles)
{
    TempDataHome home;
    ASSERT_TRUE(AppPaths::prepare().ok());
    EXPECT_EQ(treeBelow(AppPaths::root()),
              (QStringList{"Agent", "Agent/Attachments", "AgentModels", "Models", "Recordings",
                           "TemporaryRecordings"}));

    // Again: existing folders count as success, a missing one comes back, stored files stay.
    QFile f(AppPaths::agentConversations());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[]");
    f.close();
    ASSERT_TRUE(QDir(AppPaths::agentAttachments()).removeRecursively());
    ASSERT_TRUE(AppPaths::prepare().ok());
    EXPECT_TRUE(QFileInfo(AppPaths::agentAttachments()).isDir());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[]"));
}

TEST(AppPaths, PrepareFailsNamingTheFolderItCouldNotMake)
{
    TempDataHome home;
    touch(AppPaths::agentData()); // a plain file where "Agent" should be
    const auto result = AppPaths::prepare();
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(result.error().contains(AppPaths::agentData()));
}

class ResourceLocatorTest : public ::testing::Test {
protected:
    void SetUp() override { ResourceLocator::setInstallRoot(home.path() + QStringLiteral("/prefix")); }
    void TearDown() override
    {
        ResourceLocator::setInstallRoot({});
        qunsetenv("ORVEL_WHISPER_CLI_PATH");
        qputenv("PATH", savedPath);
    }
    TempDataHome home;
    QByteArray savedPath = qgetenv("PATH");
};

TEST_F(ResourceLocatorTest, FilePrefersTheShippedCopyThenDataDirectories)
{
    const QString shipped = home.path() + QStringLiteral("/prefix/share/orvel-raza/Pop.wav");
    const QString module = home.path() + QStringLiteral("/system/orvel-raza/Pop.wav");
    touch(module);
    EXPECT_EQ(ResourceLocator::file(QStringLiteral("Pop.wav")), module);
    touch(shipped);
    EXPECT_EQ(ResourceLocator::file(QStringLiteral("Pop.wav")), shipped);
    EXPECT_EQ(ResourceLocator::file(QStringLiteral("missing.bin")), std::nullopt);
}

TEST_F(ResourceLocatorTest, ExecutableLookupOrder)
{
    const QString name = QStringLiteral("whisper-cli");
    const QString onPath = home.path() + QStringLiteral("/bin/whisper-cli");
    const QString resource = home.path() + QStringLiteral("/prefix/share/orvel-raza/whisper-cli");
    const QString auxiliary = home.path() + QStringLiteral("/prefix/libexec/orvel-raza/whisper-cli");
    const auto exec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

    qputenv("PATH", (home.path() + QStringLiteral("/bin")).toUtf8());
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), std::nullopt);
    // This user's engine folder ("Get the speech engines") comes after everything on the system.
    const QString own = home.path() + QStringLiteral("/cache/orvel-raza/engines/current/launch/whisper-cli");
    touch(own, exec);
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), own);
    touch(onPath, exec);
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), onPath);
    touch(resource); // resources count by existence alone
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), resource);
    touch(auxiliary); // not executable: skipped
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), resource);
    QFile::setPermissions(auxiliary, exec);
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), auxiliary);

    qputenv("ORVEL_WHISPER_CLI_PATH", "/nowhere/whisper-cli"); // returned without a check
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), QStringLiteral("/nowhere/whisper-cli"));
    qputenv("ORVEL_WHISPER_CLI_PATH", "");
    EXPECT_EQ(ResourceLocator::bundledExecutable(name), auxiliary);
}
