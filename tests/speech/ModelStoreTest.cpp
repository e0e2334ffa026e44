// Downloads against the in-process stand-in of the model hosting service. Failed, cut and
// stalled transfers go through the same downloader in AgentModelStoreTest.
#include "FakeModelHost.h"
#include "RunTask.h"
#include "ScopedEnv.h"
#include "TempDataHome.h"
#include "TestFiles.h"
#include "speech/AppPaths.h"
#include "speech/ModelStore.h"
#include "speech/ResourceLocator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QByteArray body(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 131 + i / 7) & 0xff);
    return b;
}

class ModelStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.listen());
        hostVar.emplace("ORVEL_MODEL_HOST", host.baseUrl());
        QDir().mkpath(tmp());
        tmpVar.emplace("TMPDIR", tmp());
        ResourceLocator::setInstallRoot(home.path() + QStringLiteral("/prefix"));
    }
    void TearDown() override { ResourceLocator::setInstallRoot(QString()); }

    QString tmp() const { return home.path() + QStringLiteral("/tmp"); }
    QStringList staged() const { return QDir(tmp()).entryList({QStringLiteral("orvel-plus-*.download")}, QDir::Files); }
    QStringList modelsFolder() const { return QDir(AppPaths::models()).entryList(QDir::Files | QDir::Hidden); }

    // A catalog entry with its URL on the stand-in host.
    SpeechModel model(const QString &id) const
    {
        SpeechModel m = *SpeechModel::withID(id);
        m.url = QUrl(host.baseUrl() + m.url.path() + QStringLiteral("?download=true"));
        return m;
    }

    static void waitUntil(const std::function<bool()> &condition)
    {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    TempDataHome home;
    FakeModelHost host;
    std::optional<ScopedEnv> hostVar, tmpVar;
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
        for (int i = 1; i < 5; ++i)
            EXPECT_FALSE(ModelStore::isInstalled(store.catalog()[i]));
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

TEST_F(ModelStoreTest, DownloadWithLengthReportsRisingProgressAndInstallsTheFile)
{
    const QByteArray data = body(300000);
    const SpeechModel swift = model(QStringLiteral("swift"));
    host.route(swift.url.path(), {200, data, true, -1, 150000, {}, 16384});
    ModelStore store;
    QList<double> seen;
    QElapsedTimer sinceReport;
    sinceReport.start();
    QObject::connect(&store, &ModelStore::progressChanged, [&] {
        if (store.progress().contains(QStringLiteral("swift")))
            seen << store.progress().value(QStringLiteral("swift"));
        sinceReport.restart();
    });
    QSignalSpy revisions(&store, &ModelStore::revisionChanged);

    std::optional<Result<void, QString>> result;
    auto run = [&]() -> QCoro::Task<> { result.emplace(co_await store.download(swift)); };
    auto task = run();
    // Qt drops progress reports that come within 100 ms of the previous one, so a report can be
    // lost however long the pause. Halfway the host holds and then sends small steps, each only
    // after a quiet spell, until one report past halfway has come through; the rest follows at once.
    const auto pastHalfway = [&] { return std::any_of(seen.begin(), seen.end(), [](double f) { return f >= 0.5 && f < 1.0; }); };
    waitUntil([&] { return host.holdingCount() == 1; });
    for (int step = 0; step < 30 && !pastHalfway(); ++step) {
        QElapsedTimer sinceStep;
        sinceStep.start();
        waitUntil([&] { return pastHalfway() || (sinceReport.elapsed() > 150 && sinceStep.elapsed() > 150); });
        if (!pastHalfway())
            host.releaseSome(4096);
    }
    host.release();
    waitUntil([&] { return result.has_value(); });
    ASSERT_TRUE(result && result->ok());
    EXPECT_EQ(readFile(ModelStore::installedPath(swift)), data);
    EXPECT_EQ(host.requests, QStringList{swift.url.path() + QStringLiteral("?download=true")});
    ASSERT_GE(seen.size(), 3);
    EXPECT_EQ(seen.first(), 0.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.last(), 1.0);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](double f) { return f >= 0.5 && f < 1.0; }));
    EXPECT_EQ(store.revision(), 1);
    EXPECT_EQ(revisions.count(), 1);
    EXPECT_TRUE(store.activeDownloads().isEmpty());
    EXPECT_TRUE(store.progress().isEmpty());
    EXPECT_TRUE(staged().isEmpty());
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
    std::optional<Result<void, QString>> first, second;
    auto collect = [](ModelStore &s, SpeechModel m, std::optional<Result<void, QString>> &out) -> QCoro::Task<> {
        out.emplace(co_await s.download(m));
    };
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
    std::optional<Result<void, QString>> cancelled, finished;
    auto runFirst = [&]() -> QCoro::Task<> { cancelled.emplace(co_await store.download(swift)); };
    auto runSecond = [&]() -> QCoro::Task<> { finished.emplace(co_await store.download(velocity)); };
    auto first = runFirst();
    auto second = runSecond();
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
