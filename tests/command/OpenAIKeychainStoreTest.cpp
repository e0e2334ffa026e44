#include "FakePorts.h"
#include "command/OpenAIKeychainStore.h"
#include "platform/x11/QtKeychainSecretStore.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

template <typename T>
QCoro::Task<> keep(QCoro::Task<T> &task, std::optional<T> &out)
{
    T value = co_await task;
    out.emplace(std::move(value));
}

// Results here are not default-constructible, which QCoro::waitFor needs.
template <typename T>
T await(QCoro::Task<T> task)
{
    std::optional<T> out;
    QCoro::Task<> keeping = keep(task, out);
    EXPECT_TRUE(QTest::qWaitFor([&] { return out.has_value(); }, 20000));
    return std::move(*out);
}

const QString kKey20 = QStringLiteral("sk-abcdefghijklmnopq"); // exactly 20 characters

// The real keyring of the test session, under a service name of this test's own.
class KeyringStore : public ::testing::Test {
protected:
    QtKeychainSecretStore secrets;
    OpenAIKeychainStore store{secrets, QStringLiteral("com.orvel.plus.openai-api.test-") +
                                           QUuid::createUuid().toString(QUuid::WithoutBraces),
                              QString::fromLatin1(OpenAIKeychainStore::applicationAccount)};
    void TearDown() override { (void)await(store.remove()); }
};

// How many items the Secret Service holds for a service, asked with the desktop's own tool.
int keyringItems(const QString &service)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), {QStringLiteral("search"), QStringLiteral("--all"),
                                               QStringLiteral("server"), service});
    if (!tool.waitForFinished(10000))
        return -1;
    const QByteArray listing = tool.readAllStandardOutput() + tool.readAllStandardError();
    return int(listing.count("\n[/"))  + (listing.startsWith("[/") ? 1 : 0);
}

} // namespace

// Keys too short, with inner white space, in the wrong case or empty; trimming is walked below.
TEST(OpenAIKeychainStore, InvalidKeysNeverReachTheKeyringAndItsFailuresArePassedOn)
{
    FakeSecretStore fake;
    OpenAIKeychainStore store(fake);
    for (const QString &bad : {kKey20.chopped(1), QStringLiteral("sk-abcdefgh ijklmnopqrs"), QStringLiteral("sk-abcdefgh\nijklmnopqrs"),
                               QStringLiteral("SK-ABCDEFGHIJKLMNOPQRS"), QString()})
        EXPECT_FALSE(await(store.save(bad)).ok()) << bad.toStdString();
    EXPECT_TRUE(fake.items.empty());

    fake.failure = SecretStore::Reply{-25293, {}, QStringLiteral("The keyring is locked.")};
    const auto failed = await(store.save(kKey20));
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().status(), -25293);
    EXPECT_TRUE(failed.error().description().endsWith(QStringLiteral(": The keyring is locked.")));
    EXPECT_FALSE(await(store.load()).ok());
    EXPECT_FALSE(await(store.remove()).ok());

    // Data that is not text is a failure of its own, with status zero.
    fake.failure.reset();
    fake.items[{store.service(), store.account()}] = QByteArray("\xff\xfe\x80");
    const auto loaded = await(store.load());
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error().kind(), OpenAIKeychainError::Kind::operationFailed);
    EXPECT_EQ(loaded.error().status(), 0);
}

TEST_F(KeyringStore, SavesTrimmedUpdatesInPlaceRemovesAndReadsEmptyDataAsAFailure)
{
    EXPECT_EQ(await(store.load()).value(), std::nullopt);
    const auto saved = await(store.save(QStringLiteral("  ") + kKey20 + QStringLiteral("  ")));
    ASSERT_TRUE(saved.ok()) << saved.error().description().toStdString();
    EXPECT_EQ(await(store.load()).value(), kKey20);

    const QString second = QStringLiteral("sk-second-key-0123456789");
    ASSERT_TRUE(await(store.save(second)).ok());
    EXPECT_EQ(await(store.load()).value(), second);
    EXPECT_EQ(keyringItems(store.service()), 1); // updated, not added again
    // A rejected key leaves the stored one alone.
    EXPECT_FALSE(await(store.save(QStringLiteral("sk- broken key 12345678"))).ok());
    EXPECT_EQ(await(store.load()).value(), second);

    ASSERT_TRUE(await(store.remove()).ok());
    EXPECT_EQ(await(store.load()).value(), std::nullopt);
    EXPECT_TRUE(await(store.remove()).ok()); // nothing there is still success

    // Empty data as the port stored it is a failure of its own, not "no key".
    const auto written = await(secrets.write(store.service(), store.account(), QByteArray()));
    ASSERT_EQ(written.status, 0) << written.message.toStdString();
    const auto loaded = await(store.load());
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error().status(), 0);
}

// Without a Secret Service the store must fail, never keep the key in a plain file. The check
// runs in a child copy of this test program whose session bus leads nowhere.
TEST(OpenAIKeychainStore, WithoutSecretServiceFailsAndWritesNoFile)
{
    if (qEnvironmentVariableIsSet("ORVEL_KEYRING_CHILD")) {
        QtKeychainSecretStore secrets;
        OpenAIKeychainStore store(secrets);
        const auto saved = await(store.save(kKey20));
        const auto loaded = await(store.load());
        std::fprintf(stdout, "save:%s\nload:%s\n", saved.ok() ? "ok" : qPrintable(saved.error().description()),
                     loaded.ok() ? "ok" : qPrintable(loaded.error().description()));
        return;
    }
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVEL_KEYRING_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + home.filePath("no-bus"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=OpenAIKeychainStore.WithoutSecretServiceFailsAndWritesNoFile")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    const QString prefix = QStringLiteral("The OpenAI API key could not be updated in Keychain: ");
    EXPECT_TRUE(output.contains(QStringLiteral("save:") + prefix)) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("load:") + prefix)) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("save:ok")));
    // Nothing anywhere below the home folder holds the key.
    QDirIterator files(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile f(files.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_FALSE(f.readAll().contains(kKey20.toUtf8())) << f.fileName().toStdString();
    }
}
