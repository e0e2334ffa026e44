// Downloads from the stand-in model host. Progress, failed and cut transfers share the downloader
// walked in AgentModelStoreTest and ModelsScreenTest.
#include "../models/ModelStoreFixture.h"
#include "ScopedEnv.h"
#include "speech/ModelStore.h"

#include <QSignalSpy>

namespace {

class ModelStoreTest : public ModelHostTest {
protected:
    void SetUp() override
    {
        ModelHostTest::SetUp();
        hostVar.emplace("ORVEL_MODEL_HOST", host.baseUrl());
    }

    QStringList modelsFolder() const { return QDir(AppPaths::models()).entryList(QDir::Files | QDir::Hidden); }

    // A catalog entry with its URL on the stand-in host.
    SpeechModel model(const QString &id) const
    {
        SpeechModel m = *SpeechModel::withID(id);
        m.url = QUrl(host.baseUrl() + m.url.path() + QStringLiteral("?download=true"));
        return m;
    }

    using Outcome = std::optional<Result<void, QString>>;
    static QCoro::Task<> collect(ModelStore &store, SpeechModel m, Outcome &out) { out.emplace(co_await store.download(m)); }

    std::optional<ScopedEnv> hostVar;
};

} // namespace

TEST_F(ModelStoreTest, ShippedPocketIsCopiedInOnceComesBackAfterDeletionAndIsNotDownloaded)
{
    {
        ModelStore without;
        EXPECT_EQ(without.revision(), 0);
        EXPECT_FALSE(ModelStore::isInstalled(without.catalog()[0]));
    }
    const QString shipped = home.path() + QStringLiteral("/prefix/share/orvel-raza/ggml-tiny.en-q5_1.bin");
    QDir().mkpath(QFileInfo(shipped).absolutePath());
    QFile f(shipped);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("tiny model");
    f.close();

    const SpeechModel pocket = SpeechModel::catalog()[0];
    {
        ModelStore store;
        EXPECT_EQ(store.revision(), 1);
        EXPECT_TRUE(ModelStore::isInstalled(pocket));
        EXPECT_EQ(modelsFolder(), QStringList{pocket.fileName}); // no left-over partial copy
        ASSERT_TRUE(store.deleteModel(pocket).ok());
        EXPECT_EQ(store.revision(), 2);
        EXPECT_FALSE(ModelStore::isInstalled(pocket));
        ASSERT_TRUE(store.deleteModel(pocket).ok()); // nothing there: nothing changes
        EXPECT_EQ(store.revision(), 2);
    }
    ModelStore restarted;
    EXPECT_EQ(readFile(ModelStore::installedPath(pocket)), QByteArray("tiny model"));
    ModelStore again; // already there: no copy, no revision, and no download
    EXPECT_EQ(again.revision(), 0);
    QSignalSpy active(&again, &ModelStore::activeDownloadsChanged);
    ASSERT_TRUE(runTask(again.download(model(QStringLiteral("pocket")))).ok());
    EXPECT_TRUE(host.requests.isEmpty());
    EXPECT_EQ(active.count(), 0);
    EXPECT_EQ(again.revision(), 0);
    EXPECT_EQ(readFile(ModelStore::installedPath(pocket)), QByteArray("tiny model"));

    // A non-empty folder under a model's name cannot be removed as a file.
    const SpeechModel swift = model(QStringLiteral("swift"));
    QDir().mkpath(ModelStore::installedPath(swift) + QStringLiteral("/inside"));
    EXPECT_FALSE(again.deleteModel(swift).ok());
    EXPECT_EQ(again.revision(), 0);
}

TEST_F(ModelStoreTest, RedirectIsFollowedAndWithoutLengthProgressStaysAtZeroUntilInstalled)
{
    const SpeechModel balanced = model(QStringLiteral("balanced"));
    host.route(balanced.url.path(), {302, {}, true, -1, -1, (host.baseUrl() + QStringLiteral("/cdn/file")).toUtf8(), 16384});
    host.route(QStringLiteral("/cdn/file"), {200, body(200000), false, -1, -1, {}, 8192});
    ModelStore store;
    QList<double> seen;
    QObject::connect(&store, &ModelStore::progressChanged, [&] {
        if (store.progress().contains(QStringLiteral("balanced")))
            seen << store.progress().value(QStringLiteral("balanced"));
    });
    ASSERT_TRUE(runTask(store.download(balanced)).ok());
    EXPECT_EQ(seen, QList<double>{0.0});
    EXPECT_EQ(readFile(ModelStore::installedPath(balanced)), body(200000));
}

TEST_F(ModelStoreTest, TwoDownloadsOfOneModelStageSeparatelyAndLeaveAWholeFile)
{
    const QByteArray data = body(500000);
    const SpeechModel swift = model(QStringLiteral("swift"));
    host.route(swift.url.path(), {200, data, true, -1, 250000, {}, 16384});
    ModelStore store;
    Outcome first, second;
    auto a = collect(store, swift, first);
    auto b = collect(store, swift, second);
    waitUntil([&] { return host.holdingCount() == 2; });
    ASSERT_EQ(host.holdingCount(), 2);
    EXPECT_EQ(staged().size(), 2);
    EXPECT_TRUE(store.activeDownloads().contains(QStringLiteral("swift")));
    EXPECT_FALSE(ModelStore::isInstalled(swift)); // nothing partial in the models folder
    host.release();
    waitUntil([&] { return first && second; });
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->ok());
    EXPECT_TRUE(second->ok());
    EXPECT_EQ(readFile(ModelStore::installedPath(swift)), data);
    EXPECT_EQ(modelsFolder(), QStringList{swift.fileName});
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_TRUE(store.activeDownloads().isEmpty());
    EXPECT_EQ(store.revision(), 2);
}

// The store's own destructor, not the downloader's, must end the transfer with its staged file.
TEST_F(ModelStoreTest, DestroyingTheStoreMidDownloadRemovesTheStagedFile)
{
    const SpeechModel swift = model(QStringLiteral("swift"));
    host.route(swift.url.path(), {200, body(100000), true, -1, 50000, {}, 16384});
    auto store = std::make_unique<ModelStore>();
    auto task = store->download(swift);
    waitUntil([&] { return host.holdingCount() == 1; });
    EXPECT_EQ(staged().size(), 1);
    store.reset();
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_FALSE(ModelStore::isInstalled(swift));
}

TEST_F(ModelStoreTest, CancellingOneDownloadLeavesNothingAndTheOtherRunsOn)
{
    const SpeechModel swift = model(QStringLiteral("swift"));
    const SpeechModel velocity = model(QStringLiteral("velocity"));
    host.route(swift.url.path(), {200, body(100000), true, -1, 50000, {}, 16384});
    host.route(velocity.url.path(), {200, body(80000), true, -1, 40000, {}, 16384});
    ModelStore store;
    Outcome cancelled, finished;
    auto first = collect(store, swift, cancelled);
    auto second = collect(store, velocity, finished);
    waitUntil([&] { return host.holdingCount() == 2; });
    store.cancelDownload(swift);
    waitUntil([&] { return cancelled.has_value(); });
    ASSERT_TRUE(cancelled && !cancelled->ok());
    EXPECT_EQ(cancelled->error(), ModelStore::cancelledMessage());
    EXPECT_EQ(store.activeDownloads(), QSet<QString>{velocity.id});
    EXPECT_EQ(staged().size(), 1);
    host.release();
    waitUntil([&] { return finished.has_value(); });
    EXPECT_TRUE(finished && finished->ok());
    EXPECT_FALSE(ModelStore::isInstalled(swift));
    EXPECT_TRUE(ModelStore::isInstalled(velocity));
    EXPECT_TRUE(staged().isEmpty());
    // Nothing running: cancelling is harmless.
    store.cancelDownload(swift);
}
