// Imports of GGUF files: header checks, validation by the real llama-server and, for the answers it
// cannot be made to give, by the stand-in; roll-back on failure, and no server left on any path.
#include "ModelStoreFixture.h"
#include "RealEngines.h"
#include "models/AgentModelStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <signal.h>
#include <sys/stat.h>

namespace {

class GGUFImportTest : public ModelHostTest {
protected:
    void SetUp() override
    {
        ModelHostTest::SetUp();
        saveEnv("FAKE_LLAMA_SCRIPT");
        saveEnv("FAKE_LLAMA_LOG");
        qputenv("FAKE_LLAMA_LOG", (home.path() + QStringLiteral("/llama.log")).toUtf8());
    }

    // The stand-in plays the given script.
    void useStandIn(const QJsonObject &script)
    {
        const QString path = home.path() + QStringLiteral("/script.json");
        writeFile(path, QJsonDocument(script).toJson());
        qputenv("FAKE_LLAMA_SCRIPT", path.toUtf8());
        qputenv("ORVEL_LLAMA_SERVER_PATH", ORVEL_LLAMA_STANDIN);
    }
    static QJsonObject answering(int status, const QJsonObject &body) { return {{"status", status}, {"body", body}}; }
    static QJsonObject okReply()
    {
        return {{"choices", QJsonArray{QJsonObject{{"message", QJsonObject{{"role", "assistant"}, {"content", "OK"}}}}}}};
    }

    QString copyOf(const char *source, const QString &name)
    {
        const QString path = home.path() + QStringLiteral("/picked/") + name;
        writeFile(path, readFile(QString::fromUtf8(source)));
        return path;
    }
    QList<QJsonObject> serverLog() const
    {
        QList<QJsonObject> out;
        QFile file(home.path() + QStringLiteral("/llama.log"));
        if (!file.open(QIODevice::ReadOnly))
            return out; // no server ever started
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
        return out;
    }
    // Only the finished import's folder may remain; nothing half-made, nothing hidden.
    QStringList modelFolders() const
    {
        return QDir(AppPaths::agentModels()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    static bool processExists(qint64 pid) { return ::kill(pid_t(pid), 0) == 0; }
};

} // namespace

TEST_F(GGUFImportTest, ChecksTheFileBeforeCopyingAnything)
{
    useStandIn({});
    AgentModelStore store;
    const QString model = copyOf(ORVEL_TINY_GGUF, QStringLiteral("tiny.gguf"));
    const QString text = home.path() + QStringLiteral("/picked/notes.gguf");
    writeFile(text, "just some text, long enough to be read");
    const QString projector = copyOf(ORVEL_TINY_GGUF, QStringLiteral("vision.bin"));
    QByteArray cut = readFile(model).left(500);
    const QString truncated = home.path() + QStringLiteral("/picked/cut.GGUF");
    writeFile(truncated, cut);

    const struct {
        QString model;
        std::optional<QString> projector;
        QString error;
    } cases[] = {
        {copyOf(ORVEL_TINY_GGUF, QStringLiteral("tiny.bin")), std::nullopt, QStringLiteral("Choose a valid GGUF model file.")},
        {text, std::nullopt, QStringLiteral("Choose a valid GGUF model file.")},
        {truncated, std::nullopt, QStringLiteral("Choose a valid GGUF model file. Its header declares more entries than the file holds.")},
        {model, projector, QStringLiteral("Choose a valid GGUF vision projector.")},
        {model, text, QStringLiteral("Choose a valid GGUF vision projector.")},
    };
    for (const auto &c : cases) {
        const auto result = runTask(store.importGGUF(c.model, c.projector, QString()));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().toStdString(), c.error.toStdString());
        EXPECT_EQ(serverLog().size(), 0) << c.error.toStdString(); // no server was started
    }
    EXPECT_TRUE(modelFolders().isEmpty());
}

// Neither a FIFO named like a model nor a header of 134 million entries holds up the window.
TEST_F(GGUFImportTest, NoFileHoldsUpTheWindowAndALongCheckCanBeStopped)
{
    useStandIn({});
    AgentModelStore store;
    const QString fifo = home.path() + QStringLiteral("/model.gguf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto refused = runTask(store.importGGUF(fifo, std::nullopt, QString()), 10000);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QStringLiteral("not a regular file"))) << refused.error().toStdString();

    // 1 GiB, sparse: one metadata entry, a list of 134 million empty strings.
    const QString huge = home.path() + QStringLiteral("/huge.gguf");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray header("GGUF");
        const auto put = [&header](quint64 value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                header.append(char((value >> (8 * i)) & 0xff));
        };
        put(3, 4), put(0, 8), put(1, 8);          // version, tensors, metadata entries
        put(1, 8), header.append('k');            // key "k"
        put(9, 4), put(8, 4), put(134000000, 8);  // a list of strings
        f.write(header);
        ASSERT_TRUE(f.resize(qint64(1) << 30));
    }
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(10);
    QTimer::singleShot(300, [&store] { store.cancelImport(); });
    const auto stopped = runTask(store.importGGUF(huge, std::nullopt, QString()), 20000);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error(), QStringLiteral("The import was stopped."));
    EXPECT_GE(ticks, 10); // the event loop kept turning during the check
    EXPECT_TRUE(modelFolders().isEmpty());
    EXPECT_EQ(serverLog().size(), 0);
}

// A server that exits while loading is walked with the real server and the corrupt model below.
TEST_F(GGUFImportTest, AFailedValidationRollsBackAndSaysWhy)
{
    const QString picked = copyOf(ORVEL_TINY_GGUF_PLAIN, QStringLiteral("plain.gguf"));
    const struct {
        const char *name;
        QJsonObject script;
        QString error;
    } cases[] = {
        {"no choices", {{"responses", QJsonArray{answering(200, {{"choices", QJsonArray{}}})}}},
         QStringLiteral("The model did not produce a compatible chat completion.")},
        {"error status", {{"responses", QJsonArray{answering(500, okReply())}}},
         QStringLiteral("The model did not produce a compatible chat completion.")},
        {"never ready", {{"healthFailures", 1000}}, QStringLiteral("llama-server could not load this GGUF model.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        useStandIn(c.script);
        AgentModelStore store;
        // Enough rounds for the stand-in to start under the sanitizers.
        store.setHealthPolling(300, 10);
        const auto result = runTask(store.importGGUF(picked, std::nullopt, QStringLiteral("Plain")));
        ASSERT_FALSE(result.ok());
        EXPECT_TRUE(result.error().startsWith(c.error)) << result.error().toStdString();
        EXPECT_TRUE(modelFolders().isEmpty());
        EXPECT_TRUE(store.customModels().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(AppPaths::customAgentModels()));
        EXPECT_EQ(store.revision(), 0);
        EXPECT_EQ(store.runningValidationServers(), 0);
    }

    qputenv("ORVEL_LLAMA_SERVER_PATH", QByteArray());
    ResourceLocator::setInstallRoot(home.path() + QStringLiteral("/nowhere"));
    saveEnv("PATH");
    qputenv("PATH", (home.path() + QStringLiteral("/nothing")).toUtf8());
    AgentModelStore store;
    const auto missing = runTask(store.importGGUF(picked, std::nullopt, QString()));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), QStringLiteral("The bundled llama-server is missing, so this model cannot be validated."));

    qputenv("ORVEL_LLAMA_SERVER_PATH", (home.path() + QStringLiteral("/not-a-program")).toUtf8());
    const auto unstartable = runTask(store.importGGUF(picked, std::nullopt, QString()));
    ASSERT_FALSE(unstartable.ok());
    EXPECT_TRUE(unstartable.error().startsWith(QStringLiteral("The GGUF smoke test failed: "))) << unstartable.error().toStdString();
    EXPECT_TRUE(modelFolders().isEmpty());
}

TEST_F(GGUFImportTest, AProjectorThatFailsLeavesATextOnlyImport)
{
    // The text check passes, the image check gets an error status.
    // Loading for a while (503) before it is ready, as llama-server reports it.
    useStandIn({{"healthFailures", 3}, {"responses", QJsonArray{answering(200, okReply())}},
                {"visionResponses", QJsonArray{answering(400, {{"error", "no vision"}})}}});
    AgentModelStore store;
    store.setHealthPolling(480, 20);
    const QString model = copyOf(ORVEL_TINY_GGUF_PLAIN, QStringLiteral("plain.gguf"));
    const QString projector = copyOf(ORVEL_TINY_GGUF, QStringLiteral("mmproj-plain.gguf"));
    const auto result = runTask(store.importGGUF(model, projector, QStringLiteral(" Mine ")));
    ASSERT_TRUE(result.ok()) << result.error().toStdString();
    EXPECT_EQ(result.value().name, QStringLiteral("Mine"));
    EXPECT_FALSE(result.value().capabilities.images);
    ASSERT_EQ(result.value().artifacts.size(), 2);
    EXPECT_EQ(result.value().artifacts[1].role, AgentModelArtifact::Role::visionProjector);
    EXPECT_TRUE(AgentModelStore::isAvailable(result.value()));
    EXPECT_FALSE(AgentModelStore::projectorPath(result.value())); // not handed to the runtime
    EXPECT_EQ(store.lastImportWarning(),
              QStringLiteral("The projector failed multimodal validation. The model was imported as text-only."));
    // The server listened only locally, on the staged copy, and is gone.
    const auto log = serverLog();
    ASSERT_FALSE(log.isEmpty());
    const QJsonArray argv = log[0]["argv"].toArray();
    EXPECT_EQ(argv[0].toString(), QStringLiteral("--host"));
    EXPECT_EQ(argv[1].toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(argv[5].toString(), AppPaths::agentModels() + QStringLiteral("/.") + result.value().id +
                                      QStringLiteral(".importing/plain.gguf"));
    EXPECT_FALSE(processExists(log[0]["pid"].toInteger()));
    EXPECT_EQ(store.runningValidationServers(), 0);
    // The image check sent the one-pixel picture next to the text.
    QJsonArray content;
    for (const auto &entry : serverLog())
        if (entry["path"] == QStringLiteral("/v1/chat/completions"))
            content = entry["body"]["messages"][0].toObject()["content"].toArray();
    ASSERT_EQ(content.size(), 2);
    EXPECT_TRUE(content[1].toObject()["image_url"].toObject()["url"].toString().startsWith(QStringLiteral("data:image/png;base64,iVBOR")));
}

TEST_F(GGUFImportTest, QuittingMidImportEndsTheServerAndRemovesTheCopy)
{
    useStandIn({{"healthFailures", 100000}});
    auto store = std::make_unique<AgentModelStore>();
    store->setHealthPolling(100000, 20);
    const QString picked = copyOf(ORVEL_TINY_GGUF, QStringLiteral("tiny.gguf"));
    auto task = store->importGGUF(picked, std::nullopt, QString());
    waitUntil([&] { return serverLog().size() >= 2; });
    ASSERT_GE(serverLog().size(), 2);
    const qint64 pid = serverLog()[0]["pid"].toInteger();
    EXPECT_TRUE(processExists(pid));
    EXPECT_EQ(store->runningValidationServers(), 1);
    store.reset();
    EXPECT_FALSE(processExists(pid)); // killed and reaped, not left as a zombie
    EXPECT_TRUE(modelFolders().isEmpty());
}

TEST_F(GGUFImportTest, TheRealServerProvesTheTinyModelAndRefusesTheCorruptOne)
{
    ResourceLocator::setInstallRoot(QString()); // the build tree, where set-up put the engines
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    qputenv("ORVEL_LLAMA_SERVER_PATH", llama.server.toUtf8());
    AgentModelStore store;
    const QString picked = copyOf(ORVEL_TINY_GGUF, QStringLiteral("Tiny Chat (v2).GGUF"));
    const auto good = runTask(store.importGGUF(picked, std::nullopt, QStringLiteral("  \n")), 120000);
    ASSERT_TRUE(good.ok()) << good.error().toStdString();
    const AgentModelDescriptor &d = good.value();
    EXPECT_TRUE(d.id.startsWith(QStringLiteral("custom-")));
    EXPECT_EQ(d.id, d.id.toLower());
    EXPECT_EQ(d.name, QStringLiteral("Tiny Chat (v2)")); // a blank name falls back to the file's
    EXPECT_TRUE(d.isCustom);
    EXPECT_EQ(d.capabilities, (AgentModelCapabilities{true, false}));
    ASSERT_EQ(d.artifacts.size(), 1);
    EXPECT_EQ(d.artifacts[0].fileName, QStringLiteral("Tiny_Chat__v2_.GGUF"));
    EXPECT_EQ(d.artifacts[0].byteSize, QFileInfo(picked).size());
    EXPECT_EQ(d.artifacts[0].sha256, digest(readFile(picked)));
    EXPECT_FALSE(store.lastImportWarning());
    EXPECT_TRUE(AgentModelStore::isAvailable(d));
    EXPECT_EQ(store.customModels(), QList<AgentModelDescriptor>{d});
    EXPECT_EQ(AgentModelStore().descriptor(d.id), d); // the record survives a restart

    const auto bad = runTask(store.importGGUF(copyOf(ORVEL_TINY_GGUF_CORRUPT, QStringLiteral("corrupt.gguf")), std::nullopt,
                                              QString()), 120000);
    ASSERT_FALSE(bad.ok());
    EXPECT_TRUE(bad.error().startsWith(QStringLiteral("llama-server could not load this GGUF model.\n"))) << bad.error().toStdString();
    EXPECT_TRUE(bad.error().contains(QStringLiteral("failed to load model"))) << bad.error().toStdString();
    EXPECT_EQ(modelFolders(), QStringList{d.id});
    EXPECT_EQ(store.customModels().size(), 1);
    EXPECT_EQ(store.runningValidationServers(), 0);
}
