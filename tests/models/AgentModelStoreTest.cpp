// Downloads of curated models against the stand-in host, lookup, removal and the imported list.
#include "ModelStoreFixture.h"
#include "models/AgentModelStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

namespace {

using AgentModelStoreTest = ModelHostTest;

// "gemma4-e2b-q4" with its two files served by the stand-in host.
struct VisionModel {
    AgentModelDescriptor descriptor;
    QByteArray weights;
    QByteArray projector;
};

class AgentModelDownloadTest : public ModelHostTest {
protected:
    VisionModel vision(int weightBytes = 300000, int projectorBytes = 100000)
    {
        VisionModel m{*AgentModelDescriptor::catalogEntry(QStringLiteral("gemma4-e2b-q4")), body(weightBytes, 1),
                      body(projectorBytes, 2)};
        const QByteArray *bodies[] = {&m.weights, &m.projector};
        for (int i = 0; i < 2; ++i) {
            AgentModelArtifact &a = m.descriptor.artifacts[i];
            a.url = QUrl(host.baseUrl() + a.url.path() + QStringLiteral("?download=true"));
            a.byteSize = bodies[i]->size();
            a.sha256 = digest(*bodies[i]);
            host.route(a.url.path(), {200, *bodies[i], true, -1, -1, {}, 16384});
        }
        return m;
    }
    QString installed(const AgentModelDescriptor &d, int index) const
    {
        return AgentModelStore::modelDirectory(d) + QLatin1Char('/') + d.artifacts[index].fileName;
    }
};

} // namespace

TEST_F(AgentModelDownloadTest, InstallsBothFilesKeepsAVerifiedOneAndReplacesADamagedOne)
{
    const VisionModel m = vision();
    AgentModelStore store;
    EXPECT_FALSE(AgentModelStore::isAvailable(m.descriptor));
    QList<double> seen;
    QObject::connect(&store, &AgentModelStore::progressChanged, [&] {
        if (store.progress().contains(m.descriptor.id))
            seen << store.progress().value(m.descriptor.id);
    });
    QSignalSpy revisions(&store, &AgentModelStore::revisionChanged);

    auto task = store.download(m.descriptor);
    EXPECT_TRUE(store.activeDownloads().contains(m.descriptor.id));
    const auto result = runTask(std::move(task));
    ASSERT_TRUE(result.ok()) << result.error().toStdString();
    EXPECT_EQ(readFile(installed(m.descriptor, 0)), m.weights);
    EXPECT_EQ(readFile(installed(m.descriptor, 1)), m.projector);
    EXPECT_TRUE(AgentModelStore::isAvailable(m.descriptor));
    EXPECT_EQ(AgentModelStore::modelPath(m.descriptor), installed(m.descriptor, 0));
    EXPECT_EQ(AgentModelStore::projectorPath(m.descriptor), installed(m.descriptor, 1));
    EXPECT_EQ(revisions.size(), 1);
    EXPECT_TRUE(store.activeDownloads().isEmpty());
    EXPECT_TRUE(store.progress().isEmpty());
    EXPECT_TRUE(staged().isEmpty());
    // One rising scale over both files: the model's end is 3/4 of the way.
    ASSERT_GE(seen.size(), 3);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen.first(), 0.0);
    EXPECT_LE(seen.last(), 1.0);
    EXPECT_TRUE(seen.contains(0.75));
    // Installed: a second call fetches nothing.
    ASSERT_EQ(host.requests.size(), 2);
    EXPECT_TRUE(runTask(store.download(m.descriptor)).ok());
    EXPECT_EQ(host.requests.size(), 2);

    // A verified model file is kept and only the missing projector fetched.
    QFile::remove(installed(m.descriptor, 1));
    seen.clear();
    ASSERT_TRUE(runTask(store.download(m.descriptor)).ok());
    ASSERT_EQ(host.requests.size(), 3);
    EXPECT_TRUE(host.requests[2].contains(m.descriptor.artifacts[1].fileName));
    EXPECT_TRUE(host.requests[2].endsWith(QStringLiteral("?download=true")));
    // Zero until the projector's first report, which already counts the kept model file.
    ASSERT_GE(seen.size(), 2);
    EXPECT_DOUBLE_EQ(seen[0], 0.0);
    EXPECT_GE(seen[1], 0.75);

    // A missing model with a damaged sibling: both are fetched.
    QFile::remove(installed(m.descriptor, 0));
    writeFile(installed(m.descriptor, 1), "damaged");
    ASSERT_TRUE(runTask(store.download(m.descriptor)).ok());
    EXPECT_EQ(readFile(installed(m.descriptor, 0)), m.weights);
    EXPECT_EQ(readFile(installed(m.descriptor, 1)), m.projector);
    EXPECT_EQ(host.requests.size(), 5);
}

TEST_F(AgentModelDownloadTest, DigestMismatchInstallsNothingAndLeavesNoStagedFile)
{
    // A model file of several read buffers, so its bytes pass through reused buffers on the
    // writing thread and must still arrive whole and in order.
    VisionModel m = vision(9 << 20);
    m.descriptor.artifacts[1].sha256 = digest("something else");
    AgentModelStore store;
    const auto result = runTask(store.download(m.descriptor));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), QStringLiteral("The downloaded mmproj-gemma-4-E2B-it-Q8_0.gguf failed its integrity check."));
    EXPECT_FALSE(QFileInfo::exists(installed(m.descriptor, 1)));
    // The verified model file stays for the next attempt.
    EXPECT_EQ(readFile(installed(m.descriptor, 0)), m.weights);
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_TRUE(store.activeDownloads().isEmpty());
    EXPECT_TRUE(store.progress().isEmpty());
    EXPECT_EQ(store.revision(), 0);
}

TEST_F(AgentModelDownloadTest, FailedTransfersInstallNothing)
{
    struct Case {
        const char *name;
        FakeModelHost::Route route;
        QString error;
    };
    const QByteArray data = body(200000, 3);
    const Case cases[] = {
        {"missing", {404, "not found", true, -1, -1, {}, 16384}, QStringLiteral("The download failed: HTTP 404.")},
        {"cut short", {200, data, true, 120000, -1, {}, 16384}, QString()},
        {"stalled", {200, data, true, -1, 50000, {}, 16384}, QStringLiteral("The download stalled and was stopped.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VisionModel m = vision();
        m.descriptor.artifacts.removeLast();
        m.descriptor.artifacts[0].byteSize = data.size();
        m.descriptor.artifacts[0].sha256 = digest(data);
        host.route(m.descriptor.artifacts[0].url.path(), c.route);
        AgentModelStore store;
        store.setTransferTimeout(400);
        const auto result = runTask(store.download(m.descriptor));
        ASSERT_FALSE(result.ok());
        if (!c.error.isEmpty()) { // a cut connection is worded by the network layer
            EXPECT_EQ(result.error(), c.error);
        }
        EXPECT_FALSE(result.error().isEmpty());
        EXPECT_FALSE(AgentModelStore::isAvailable(m.descriptor));
        EXPECT_TRUE(staged().isEmpty());
        EXPECT_TRUE(store.activeDownloads().isEmpty());
        host.release();
    }
}

TEST_F(AgentModelDownloadTest, CancelAndQuitMidTransferLeaveNothingBehind)
{
    VisionModel m = vision();
    host.route(m.descriptor.artifacts[1].url.path(), {200, m.projector, true, -1, 40000, {}, 16384});
    {
        AgentModelStore store;
        auto task = store.download(m.descriptor);
        waitUntil([&] { return host.holdingCount() == 1; });
        EXPECT_EQ(staged().size(), 1);
        store.cancelDownload(m.descriptor.id);
        const auto result = runTask(std::move(task));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), QStringLiteral("The download was cancelled."));
        EXPECT_TRUE(staged().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(installed(m.descriptor, 1)));
        EXPECT_TRUE(store.activeDownloads().isEmpty());
    }
    host.release();
    QFile::remove(installed(m.descriptor, 0));
    auto store = std::make_unique<AgentModelStore>();
    auto task = store->download(m.descriptor);
    waitUntil([&] { return host.holdingCount() == 1; });
    EXPECT_EQ(staged().size(), 1);
    store.reset();
    EXPECT_TRUE(staged().isEmpty());
    EXPECT_FALSE(AgentModelStore::isAvailable(m.descriptor));
}

TEST_F(AgentModelStoreTest, LookupAvailabilityAndPaths)
{
    AgentModelStore store;
    EXPECT_FALSE(store.descriptor(QStringLiteral("custom-nothing")));
    EXPECT_TRUE(AgentModelStore::isAvailable(*store.descriptor(QStringLiteral("apple-system"))));
    EXPECT_TRUE(AgentModelStore::isAvailable(*store.descriptor(QStringLiteral("openai-sol"))));
    AgentModelDescriptor empty = *store.descriptor(QStringLiteral("qwen3-4b-q4"));
    empty.artifacts.clear();
    EXPECT_FALSE(AgentModelStore::isAvailable(empty));
    EXPECT_FALSE(AgentModelStore::modelPath(empty));

    // The projector path is only handed out for a model that takes images.
    AgentModelDescriptor vision = *store.descriptor(QStringLiteral("gemma4-e2b-q4"));
    EXPECT_TRUE(AgentModelStore::projectorPath(vision));
    vision.capabilities.images = false;
    EXPECT_FALSE(AgentModelStore::projectorPath(vision));

    EXPECT_EQ(AgentModelStore::safeFileName(QStringLiteral("my model (v2).gguf")), QStringLiteral("my_model__v2_.gguf"));
    EXPECT_EQ(AgentModelStore::safeFileName(QStringLiteral("modèle-日本_١٢.gguf")), QStringLiteral("modèle-日本_١٢.gguf"));
    EXPECT_EQ(AgentModelStore::safeFileName(QStringLiteral("a/b\\c🙂.gguf")), QStringLiteral("a_b_c_.gguf"));
}

TEST_F(AgentModelStoreTest, ImportedListKeepsPresentModelsAndSetsAnUnreadableFileAside)
{
    QDir().mkpath(AppPaths::agentData());
    AgentModelDescriptor present = *AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
    present.id = QStringLiteral("custom-present");
    present.isCustom = true;
    AgentModelDescriptor gone = present;
    gone.id = QStringLiteral("custom-gone");
    writeFile(AgentModelStore::modelDirectory(present) + QLatin1Char('/') + present.artifacts[0].fileName, "weights");
    QJsonArray list{present.toJson(), gone.toJson()};
    writeFile(AppPaths::customAgentModels(), QJsonDocument(list).toJson());
    {
        AgentModelStore store;
        ASSERT_EQ(store.customModels().size(), 1);
        EXPECT_EQ(store.customModels()[0], present);
        EXPECT_EQ(store.descriptor(QStringLiteral("custom-present")), present);
        EXPECT_FALSE(store.descriptor(QStringLiteral("custom-gone")));
        // Removing an import removes its folder and its record; the file is written compactly.
        ASSERT_TRUE(store.deleteModel(present).ok());
        EXPECT_TRUE(store.customModels().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(AgentModelStore::modelDirectory(present)));
        EXPECT_EQ(readFile(AppPaths::customAgentModels()), QByteArray("[]"));
        EXPECT_EQ(store.revision(), 1);
    }

    // A list that cannot be read is kept aside untouched by the first save, and the store starts empty.
    const QByteArray damaged = "[{\"id\": \"custom-x\", \"name\": ";
    writeFile(AppPaths::customAgentModels(), damaged);
    AgentModelStore store;
    EXPECT_TRUE(store.customModels().isEmpty());
    ASSERT_TRUE(store.deleteModel(present).ok());
    EXPECT_EQ(readFile(AppPaths::customAgentModels() + QStringLiteral(".unreadable")), damaged);
    EXPECT_EQ(readFile(AppPaths::customAgentModels()), QByteArray("[]"));

    // Removing a curated model leaves the imported list alone.
    AgentModelDescriptor curated = *AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
    writeFile(AgentModelStore::modelDirectory(curated) + QStringLiteral("/x"), "x");
    ASSERT_TRUE(store.deleteModel(curated).ok());
    EXPECT_FALSE(QFileInfo::exists(AgentModelStore::modelDirectory(curated)));
    EXPECT_EQ(readFile(AppPaths::customAgentModels()), QByteArray("[]"));
    EXPECT_TRUE(store.deleteModel(*AgentModelDescriptor::catalogEntry(QStringLiteral("openai-luna"))).ok());
}
