// The Models screen against real stores: downloads from the stand-in model host, GGUF imports
// checked by the real llama-server, keys in the session's real keyring, the user's own server.
#include "FakeModelHost.h"
#include "RealEngines.h"
#include "RunTask.h"
#include "ScopedEnv.h"
#include "ScreenTestSupport.h"
#include "command/ModelServerKeyStore.h"
#include "command/OpenAIKeychainStore.h"
#include "models/AgentModelStore.h"
#include "platform/x11/QtKeychainSecretStore.h"
#include "speech/ModelStore.h"
#include "ui/screens/AgentModelsView.h"
#include "ui/screens/ModelServersCard.h"
#include "ui/screens/ModelsScreen.h"
#include "ui/screens/OpenAIKeyCard.h"
#include "ui/screens/SpeechModelsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QUuid>

#include <cmath>
#include <tuple>

namespace {

class ModelsScreenTest : public ScreenTest {
protected:
    // One host for the whole run: the catalogs take its address the first time they are read.
    static FakeModelHost &host()
    {
        static FakeModelHost *h = [] {
            auto *made = new FakeModelHost;
            EXPECT_TRUE(made->listen());
            qputenv("ORVEL_MODEL_HOST", made->baseUrl().toUtf8());
            return made;
        }();
        return *h;
    }

    void SetUp() override
    {
        host();
        keychain = &keys;
        ScreenTest::SetUp();
    }
    void TearDown() override
    {
        ScreenTest::TearDown();
        (void)runTask(keys.remove());
    }

    static bool until(const std::function<bool()> &condition, int ms = 20000) { return QTest::qWaitFor(condition, ms); }
    // A label the user can see, by its exact text.
    static bool showsText(const QWidget *root, const QString &text)
    {
        for (const QLabel *l : root->findChildren<QLabel *>())
            if (l->text() == text && shown(l, root))
                return true;
        return false;
    }
    static QWidget *part(const QWidget *root, const QString &name) { return root->findChild<QWidget *>(name); }

    QtKeychainSecretStore secrets;
    OpenAIKeychainStore keys{secrets, QStringLiteral("com.orvel.plus.openai-api.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces),
                             QString::fromLatin1(OpenAIKeychainStore::applicationAccount)};
};

} // namespace

TEST_F(ModelsScreenTest, SpeechDownloadShowsProgressCancelsAndSelectsOnlyWhenItSucceeds)
{
    const SpeechModel velocity = *SpeechModel::withID(QStringLiteral("velocity"));
    const QString path = velocity.url.path();
    {
        SpeechModelsView view(*state);
        view.setShowsAllModels(true);
        view.show();
        QWidget *card = part(&view, QStringLiteral("modelCard-velocity"));
        QWidget *table = part(&view, QStringLiteral("allModelsTable"));
        ASSERT_TRUE(card && table);

        // Held halfway: both the card and the table show how far it got.
        host().route(path, {200, QByteArray(200000, 'v'), true, -1, 100000, {}, 16384});
        control(card, QStringLiteral("Download Velocity"))->click();
        const auto percent = [&] { return int(std::lround(state->modelStore().progress().value(velocity.id) * 100)); };
        ASSERT_TRUE(until([&] { return host().holdingCount() == 1 && percent() > 0; }));
        settle();
        EXPECT_TRUE(showsText(card, QStringLiteral("Downloading %1%").arg(percent())));
        QAbstractButton *tableDownload = control(table, QStringLiteral("Download Velocity"));
        EXPECT_FALSE(tableDownload->isEnabled());

        // Cancelled: nothing installed, nothing to explain, the selection untouched.
        control(card, QStringLiteral("Cancel download of Velocity"))->click();
        ASSERT_TRUE(until([&] { return state->modelStore().activeDownloads().isEmpty(); }));
        settle();
        EXPECT_FALSE(view.errorMessage());
        EXPECT_FALSE(ModelStore::isInstalled(velocity));
        EXPECT_EQ(state->selectedModelID(), QStringLiteral("pocket"));
        EXPECT_TRUE(tableDownload->isEnabled());

        // A failure is shown and keeps the previous selection.
        host().route(path, {503, "busy", true, -1, -1, {}, 16384});
        control(table, QStringLiteral("Download Velocity"))->click();
        ASSERT_TRUE(until([&] { return view.errorMessage().has_value(); }));
        EXPECT_EQ(state->selectedModelID(), QStringLiteral("pocket"));

        // Success selects it; a new attempt clears the old failure.
        host().route(path, {200, QByteArray(200000, 'v'), true, -1, -1, {}, 16384});
        control(card, QStringLiteral("Download Velocity"))->click();
        EXPECT_FALSE(view.errorMessage());
        ASSERT_TRUE(until([&] { return state->selectedModelID() == QLatin1String("velocity"); }));
        settle();
        EXPECT_EQ(QFileInfo(ModelStore::installedPath(velocity)).size(), 200000);
        EXPECT_FALSE(control(card, QStringLiteral("Selected Velocity"))->isEnabled());
    }
    state.reset();
    state = makeState();
    EXPECT_EQ(state->selectedModelID(), QStringLiteral("velocity"));
}

TEST_F(ModelsScreenTest, RemovalAsksFirstGoesThroughTheStoreAndFallsBackToPocket)
{
    installModel(QStringLiteral("velocity"));
    state->setSelectedModelID(QStringLiteral("velocity"));
    SpeechModelsView view(*state);
    view.setShowsAllModels(true);
    view.show();
    // Pocket ships with the program and is never removed, so it offers no removal.
    EXPECT_FALSE(shown(control(part(&view, QStringLiteral("modelCard-pocket")), QStringLiteral("Remove Pocket")), &view));

    const int revision = state->modelStore().revision();
    control(part(&view, QStringLiteral("allModelsTable")), QStringLiteral("Remove Velocity"))->click();
    QMessageBox *box = view.removalConfirmation();
    ASSERT_TRUE(box);
    EXPECT_EQ(view.pendingRemoval()->id, QStringLiteral("velocity"));
    box->button(QMessageBox::Cancel)->click();
    settle();
    EXPECT_FALSE(view.pendingRemoval());
    EXPECT_TRUE(ModelStore::isInstalled(*SpeechModel::withID(QStringLiteral("velocity"))));

    control(part(&view, QStringLiteral("modelCard-velocity")), QStringLiteral("Remove Velocity"))->click();
    ASSERT_TRUE(view.removalConfirmation());
    control(view.removalConfirmation(), QStringLiteral("Remove downloaded model"))->click();
    settle();
    EXPECT_FALSE(ModelStore::isInstalled(*SpeechModel::withID(QStringLiteral("velocity"))));
    EXPECT_GT(state->modelStore().revision(), revision);
    EXPECT_EQ(state->selectedModelID(), QStringLiteral("pocket"));
    EXPECT_TRUE(shown(control(part(&view, QStringLiteral("modelCard-velocity")), QStringLiteral("Download Velocity")), &view));
    EXPECT_FALSE(view.errorMessage());
}

TEST_F(ModelsScreenTest, HardwareGuidanceAndTheBestBadgeFollowTheSameMachine)
{
    // Memory alone picks the model here; the fits are the catalog's own tests. The summary line
    // and the badge name the same model for the machine the view was made for.
    const QString best = QStringLiteral("BEST FOR THIS COMPUTER");
    for (const auto &[memory, recommended, other] :
         {std::tuple(8, "gemma4-e2b-q4", "gemma4-e4b-q4"), std::tuple(32, "gemma4-e4b-q4", "gemma4-e2b-q4")}) {
        AgentModelsView view(*state, AgentHardwareProfile{QStringLiteral("CPU"), memory, false});
        const QString summary = view.findChild<QLabel *>(QStringLiteral("hardwareRecommendation"))->text();
        const QString name = AgentModelDescriptor::catalogEntry(QLatin1String(recommended))->name;
        EXPECT_TRUE(summary.startsWith(QStringLiteral("CPU · %1 GB memory. %2 is").arg(memory).arg(name))) << summary.toStdString();
        EXPECT_FALSE(summary.contains(QStringLiteral("Mac")));
        EXPECT_TRUE(showsText(part(&view, QStringLiteral("agentModel-") + QLatin1String(recommended)), best)) << memory;
        EXPECT_FALSE(showsText(part(&view, QStringLiteral("agentModel-") + QLatin1String(other)), best)) << memory;
    }
}

TEST_F(ModelsScreenTest, WritingModelsDownloadSelectAndRemove)
{
    const AgentModelDescriptor qwen = *AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
    const AgentModelDescriptor gemma = *AgentModelDescriptor::catalogEntry(QStringLiteral("gemma4-e2b-q4"));
    // Gemma is already on disk.
    QDir().mkpath(AgentModelStore::modelDirectory(gemma));
    for (const auto &a : gemma.artifacts) {
        QFile f(AgentModelStore::modelDirectory(gemma) + QLatin1Char('/') + a.fileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    AgentModelsView view(*state, AgentHardwareProfile{QStringLiteral("Test CPU"), 16, false});
    view.show();
    QWidget *qwenRow = part(&view, QStringLiteral("agentModel-qwen3-4b-q4"));
    QWidget *gemmaRow = part(&view, QStringLiteral("agentModel-gemma4-e2b-q4"));

    // The whole file arrives but is not the catalog's: refused, and said so.
    host().route(qwen.artifacts[0].url.path(), {200, QByteArray(100000, 'q'), true, -1, -1, {}, 16384});
    control(qwenRow, QStringLiteral("Download Qwen Writer"))->click();
    ASSERT_TRUE(until([&] { return view.errorMessage().has_value(); }));
    EXPECT_EQ(*view.errorMessage(), QStringLiteral("The downloaded Qwen3-4B-Q4_K_M.gguf failed its integrity check."));
    EXPECT_FALSE(AgentModelStore::isAvailable(qwen));

    control(gemmaRow, QStringLiteral("Use model Gemma 4 E2B"))->click();
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::local);
    EXPECT_EQ(state->agentSettings().selectedModelID, QStringLiteral("gemma4-e2b-q4"));
    control(part(&view, QStringLiteral("agentModel-openai-luna")), QStringLiteral("Use model Luna"))->click();
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::openAI);
    control(gemmaRow, QStringLiteral("Use model Gemma 4 E2B"))->click();

    // Command listens with its own speech model.
    auto *speech = view.findChild<QComboBox *>(QStringLiteral("agentSpeechModel"));
    speech->setCurrentIndex(speech->findData(QStringLiteral("studio")));
    emit speech->activated(speech->currentIndex());
    EXPECT_EQ(state->agentSettings().speechModelID, QStringLiteral("studio"));
    EXPECT_EQ(state->selectedModelID(), QStringLiteral("pocket"));

    // Removing the selected model falls back to the system's one, and stays so.
    control(gemmaRow, QStringLiteral("Remove Gemma 4 E2B"))->click();
    EXPECT_FALSE(QFileInfo::exists(AgentModelStore::modelDirectory(gemma)));
    EXPECT_EQ(state->agentSettings().selectedModelID, QStringLiteral("apple-system"));
}

// The import's checks and a refused file are the importer's own tests; here what the view does.
TEST_F(ModelsScreenTest, GGUFImportIsCheckedByTheServerSelectedAndWarnsAboutAFailedProjector)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    ScopedEnv serverPath("ORVEL_LLAMA_SERVER_PATH", llama.server);
    RealLlama::applyTestSettings(8);
    const auto pick = [&](const char *source, const QString &name) {
        const QString path = home.path() + QStringLiteral("/picked/") + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QString::fromUtf8(source), path));
        return path;
    };
    AgentModelsView view(*state, AgentHardwareProfile{QStringLiteral("Test CPU"), 16, false});
    view.show();

    // Only a projector, and a file that is not GGUF: nothing to import.
    view.importChosenFiles({pick(ORVEL_TINY_GGUF, QStringLiteral("mmproj-tiny.gguf")), pick(ORVEL_TINY_GGUF, QStringLiteral("notes.txt"))});
    EXPECT_EQ(view.errorMessage(), QStringLiteral("Choose a GGUF model file."));
    EXPECT_FALSE(view.isImporting());

    // A working model with a projector the server cannot use: imported text-only, selected, warned.
    view.importChosenFiles({pick(ORVEL_TINY_GGUF, QStringLiteral("mmproj-tiny.gguf")), pick(ORVEL_TINY_GGUF, QStringLiteral("Tiny.GGUF"))});
    EXPECT_TRUE(view.isImporting());
    EXPECT_FALSE(view.errorMessage());
    ASSERT_TRUE(until([&] { return !view.isImporting(); }, 120000));
    ASSERT_FALSE(view.errorMessage()) << view.errorMessage()->toStdString();
    ASSERT_EQ(state->agentModels().customModels().size(), 1);
    const AgentModelDescriptor imported = state->agentModels().customModels().first();
    EXPECT_EQ(imported.name, QStringLiteral("Tiny"));
    EXPECT_EQ(state->agentSettings().selectedModelID, imported.id);
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::local);
    settle();
    EXPECT_TRUE(showsText(&view, QStringLiteral("The projector failed multimodal validation. The model was imported as text-only.")));
    EXPECT_EQ(state->agentModels().runningValidationServers(), 0);
    RealLlama::clearTestSettings();
}

TEST_F(ModelsScreenTest, KeyCardSavesReplacesAndRemovesWithoutEverShowingTheKey)
{
    const QString first = QStringLiteral("sk-first-0123456789abcdef"), second = QStringLiteral("sk-second-0123456789abcdef");
    const auto revealed = [](const QWidget *root, const QString &key) {
        for (const QLabel *l : root->findChildren<QLabel *>())
            if (l->text().contains(key.mid(3, 8)))
                return true;
        for (const QLineEdit *e : root->findChildren<QLineEdit *>())
            if (!e->text().isEmpty())
                return true;
        return false;
    };
    AgentSettings settings = state->agentSettings();
    settings.writingProvider = AgentWritingProvider::local;
    state->setAgentSettings(settings);
    auto cardOwner = std::make_unique<OpenAIKeyCard>(*state);
    OpenAIKeyCard &card = *cardOwner;
    card.show();
    EXPECT_EQ(card.keyField()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(card.saveButton()->isEnabled());

    // A malformed key is refused by the store; what was typed stays to be corrected.
    QTest::keyClicks(card.keyField(), QStringLiteral("sk-short"));
    card.saveButton()->click();
    ASSERT_TRUE(until([&] { return card.openAIKeyMessage().has_value(); }));
    EXPECT_EQ(*card.openAIKeyMessage(), QStringLiteral("Enter a valid OpenAI API key beginning with sk-."));
    EXPECT_EQ(card.keyField()->text(), QStringLiteral("sk-short"));
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::local);

    card.keyField()->setText(first);
    QTest::keyClick(card.keyField(), Qt::Key_Return);
    ASSERT_TRUE(until([&] { return state->openAIAPIKeyConfigured(); }));
    settle();
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::openAI);
    EXPECT_EQ(state->agentSettings().selectedOpenAIModelID, QStringLiteral("openai-luna"));
    EXPECT_EQ(runTask(keys.load()).value(), first);
    EXPECT_FALSE(revealed(&card, first));
    // A card made later, with the key stored, starts empty too.
    EXPECT_FALSE(revealed(std::make_unique<OpenAIKeyCard>(*state).get(), first));

    card.keyField()->setText(second);
    card.saveButton()->click();
    ASSERT_TRUE(until([&] { return card.keyField()->text().isEmpty(); }));
    EXPECT_EQ(runTask(keys.load()).value(), second);

    card.removeButton()->click();
    ASSERT_TRUE(card.removalConfirmation());
    control(card.removalConfirmation(), QStringLiteral("Remove API key"))->click();
    ASSERT_TRUE(until([&] { return !state->openAIAPIKeyConfigured(); }));
    settle();
    EXPECT_FALSE(runTask(keys.load()).value().has_value());

    // Without a keyring the button says why nothing was saved.
    cardOwner.reset();
    keychain = nullptr;
    state.reset();
    state = makeState();
    OpenAIKeyCard bare(*state);
    bare.keyField()->setText(first);
    bare.saveButton()->click();
    EXPECT_EQ(bare.openAIKeyMessage(), QStringLiteral("The OpenAI API key could not be updated in the system keyring."));
    EXPECT_FALSE(state->openAIAPIKeyConfigured());
}

// The user's own server: "Test connection" against the real llama-server in plain words, the
// model it lists, the key kept in the session's keyring and in no file, and where the text goes.
TEST_F(ModelsScreenTest, ServerIsTestedListedAndAddedWithItsKeyOnlyInTheKeyring)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    const QString key = QStringLiteral("team-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    RunningLlamaServer server(llama, key);
    ASSERT_TRUE(server.waitUntilReady()) << "llama-server did not come up";
    ModelServerKeyStore serverKeyStore(secrets, QStringLiteral("com.orvel.plus.model-server.test-") +
                                                    QUuid::createUuid().toString(QUuid::WithoutBraces));
    state.reset();
    serverKeys = &serverKeyStore;
    state = makeState();

    ModelsScreen screen(*state);
    screen.show();
    control(&screen, QStringLiteral("Command"))->click();
    ASSERT_TRUE(shown(screen.agentModels(), &screen));
    ModelServersCard &card = *screen.agentModels()->serversCard();
    const auto tested = [&](const QString &address, const QString &typedKey) {
        card.addressField()->setText(address);
        card.keyField()->setText(typedKey);
        card.testButton()->click();
        EXPECT_TRUE(until([&] { return !card.isBusy(); }));
        return card.statusText();
    };
    int closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    EXPECT_EQ(tested(QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort), QString()),
              QStringLiteral("Nothing answers at 127.0.0.1:%1. Is the server running, and on that port?").arg(closedPort));
    EXPECT_EQ(tested(server.baseURL(), QStringLiteral("wrong")), QStringLiteral("The server refused the API key. Check the key."));
    EXPECT_EQ(tested(server.baseURL(), QString()),
              QStringLiteral("The server asks for an API key. Enter the key it was started with."));
    EXPECT_FALSE(card.addButton()->isEnabled());

    EXPECT_EQ(tested(server.baseURL() + QStringLiteral("/"), key), QStringLiteral("Connected. The server lists one model."));
    ASSERT_EQ(card.modelChoice()->count(), 1);
    EXPECT_EQ(card.modelChoice()->currentText(), llama.model);
    card.nameField()->setText(QStringLiteral("Team box"));
    card.imagesBox()->setChecked(false);
    card.addButton()->click();
    ASSERT_TRUE(until([&] { return state->agentModels().servers().size() == 1; }));
    settle();
    const ModelServer added = state->agentModels().servers().first();
    EXPECT_EQ(added.baseURL, server.baseURL());
    EXPECT_TRUE(added.hasKey);
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::openAICompatible);
    ASSERT_TRUE(state->selectedAgentModel());
    EXPECT_EQ(state->selectedAgentModel()->baseURL, server.baseURL());
    EXPECT_EQ(state->selectedAgentModel()->officialName, llama.model);
    EXPECT_TRUE(card.keyField()->text().isEmpty());
    EXPECT_TRUE(showsText(&card, QStringLiteral("Stays on this computer")));
    EXPECT_EQ(runTask(serverKeyStore.load(added.id)).value(), key);
    for (QDirIterator files(AppPaths::root(), QDir::Files, QDirIterator::Subdirectories); files.hasNext();) {
        QFile f(files.next());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly) && !f.readAll().contains(key.toUtf8())) << f.fileName().toStdString();
    }

    // A server of another machine is marked as such.
    ASSERT_TRUE(state->agentModels().addServer({.name = QStringLiteral("GPU box"),
                                                .baseURL = QStringLiteral("http://gpu-box.example:8000/v1"),
                                                .model = QStringLiteral("qwen3:8b")}));
    settle();
    EXPECT_TRUE(showsText(&card, QStringLiteral("Leaves this computer: text is sent to gpu-box.example")));

    // Removing the selected server takes its key out of the keyring and Command back to local.
    control(&card, QStringLiteral("Remove ") + llama.model + QStringLiteral(" on Team box"))->click();
    ASSERT_TRUE(until([&] { return state->agentModels().servers().size() == 1; }));
    EXPECT_FALSE(runTask(serverKeyStore.load(added.id)).value().has_value());
    EXPECT_EQ(state->agentSettings().writingProvider, AgentWritingProvider::local);
    state.reset();
}
