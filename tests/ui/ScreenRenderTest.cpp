// Renders every screen of the window, light and dark, to PNG files for a person to look at
// ($ORVEL_SNAPSHOT_DIR, else screen-snapshots/ in the working folder); checks that each picture
// was made and that every symbol a screen names has a picture on this desktop.
#include "ProgramRun.h"
#include "ScopedEnv.h"
#include "WindowFixture.h"
#include "command/AgentConversationStore.h"
#include "models/AgentModelStore.h"
#include "components/Components.h"
#include "components/Palette.h"
#include "components/Symbols.h"
#include "screens/HistoryScreen.h"
#include "screens/ModelsScreen.h"
#include "screens/SpeechModelsView.h"
#include "speech/ResourceLocator.h"
#include "speech/SpeechEngineInstaller.h"
#include "ui/MainWindow.h"
#include "window/MainShellView.h"
#include "window/OnboardingView.h"
#include "window/RootView.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <iostream>

namespace {

QString folder()
{
    const QString dir = qEnvironmentVariableIsSet("ORVEL_SNAPSHOT_DIR") ? qEnvironmentVariable("ORVEL_SNAPSHOT_DIR")
                                                                        : QDir::current().filePath(QStringLiteral("screen-snapshots"));
    QDir().mkpath(dir);
    return dir;
}

class ScreenRenderTest : public WindowTest {
protected:
    void TearDown() override
    {
        QApplication::setPalette(desktop);
        WindowTest::TearDown();
    }

    std::unique_ptr<MainWindow> open(bool onboarded)
    {
        state->setOnboardingComplete(onboarded);
        auto window = std::make_unique<MainWindow>(context);
        window->resize(1100, 720);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    void save(MainWindow &window, const QString &name)
    {
        QTest::qWait(20);
        const QString path = folder() + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
        EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
        QStringList symbols;
        for (const SymbolLabel *label : window.findChildren<SymbolLabel *>())
            symbols << label->symbol();
        for (const SymbolButton *button : window.findChildren<SymbolButton *>())
            symbols << button->symbol();
        for (const QString &symbol : symbols)
            EXPECT_TRUE(symbol.isEmpty() || !Symbols::sourceFile(symbol).isEmpty()) << symbol.toStdString();
    }

    void usePalette(bool dark)
    {
        QApplication::setPalette(dark ? Theme::darkTheme().palette() : Theme::light().palette());
        suffix = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
    }

    const QPalette desktop = QApplication::palette();
    QString suffix;
};

} // namespace

TEST_F(ScreenRenderTest, EveryScreenInLightAndDark)
{
    addTranscript(QStringLiteral("Send the draft to Mara before lunch and ask whether the figures on page three still hold."));
    addTranscript(QStringLiteral("Café notes: the résumé goes out on Friday."), QStringLiteral("velocity"));
    state->agentConversationStore().createConversation(QUuid::createUuid(), QStringLiteral("Make this reply warmer"),
                                                       QStringLiteral("Thunderbird"), {});
    state->addVocabulary(QStringLiteral("Orvel Raza"));
    ASSERT_TRUE(state->agentModels().addServer({.name = QStringLiteral("Team GPU"),
                                                .baseURL = QStringLiteral("http://gpu-box.lan:8000/v1"),
                                                .model = QStringLiteral("Qwen/Qwen3-32B"), .hasKey = true}));
    permissions.microphone = false;

    for (const bool dark : {false, true}) {
        usePalette(dark);
        {
            auto window = open(false);
            for (int step = 0; step < OnboardingView::steps; ++step) {
                window->root()->onboarding()->setStep(step);
                save(*window, QStringLiteral("onboarding-%1").arg(step));
            }
        }
        auto window = open(true);
        for (AppSection section : {AppSection::home, AppSection::agent, AppSection::history, AppSection::models,
                                   AppSection::vocabulary, AppSection::settings}) {
            state->setSelectedSection(section);
            save(*window, QStringLiteral("section-") + appSectionTitle(section).toLower());
        }
        state->setSelectedSection(AppSection::models);
        auto *models = qobject_cast<ModelsScreen *>(window->root()->shell()->currentScreen());
        ASSERT_NE(models, nullptr);
        models->speechModels()->setShowsAllModels(true);
        save(*window, QStringLiteral("section-models-all"));
        models->setArea(ModelsArea::agent);
        save(*window, QStringLiteral("section-models-command"));
        models->setArea(ModelsArea::dictation);
        state->setSelectedSection(AppSection::history);
        auto *history = qobject_cast<HistoryScreen *>(window->root()->shell()->currentScreen());
        ASSERT_NE(history, nullptr);
        history->setArea(HistoryScreen::HistoryArea::agent);
        save(*window, QStringLiteral("section-history-command"));
        history->setArea(HistoryScreen::HistoryArea::dictation);
        state->setSelectedSection(AppSection::home);
    }
    std::cout << "screens written to " << folder().toStdString() << std::endl;
}

// Where no engine is found, onboarding and the Models screen offer to get them: the offer runs the
// real script (here against a mirror that never answers, then one that refuses), shows its step
// with Cancel, a failure with its reason, and goes away once an engine is there.
TEST_F(ScreenRenderTest, TheEnginesOfferLeadsThroughGettingThem)
{
    if (!QStandardPaths::findExecutable(QStringLiteral("whisper-cli")).isEmpty())
        GTEST_SKIP() << "whisper-cli is on PATH: the offer never shows on this machine";
    // A prefix with the engine scripts and nothing else.
    ResourceLocator::setInstallRoot(home.path() + QStringLiteral("/prefix"));
    const QString libexec = home.path() + QStringLiteral("/prefix/libexec/orvel-raza/");
    ASSERT_TRUE(QDir().mkpath(libexec));
    for (const char *name : {"engines.sh", "engines-private.sh"})
        ASSERT_TRUE(QFile::link(QDir::cleanPath(ProgramRun::supportDir() + QStringLiteral("/../../libexec/orvel-raza/") +
                                                QLatin1String(name)),
                                libexec + QLatin1String(name)));
    ScopedEnv downloads("ORVEL_ENGINE_DOWNLOADS", home.path() + QStringLiteral("/downloads"));
    QTcpServer stalled;
    ASSERT_TRUE(stalled.listen(QHostAddress::LocalHost));
    QList<QObject *> held;
    QObject::connect(&stalled, &QTcpServer::newConnection, [&] { held << stalled.nextPendingConnection(); });
    ScopedEnv proxy("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(stalled.serverPort()));
    SpeechEngineInstaller &installer = state->speechEngines();
    usePalette(false);

    // The offer as a fresh installation shows it, before anything was tried.
    {
        auto window = open(false);
        window->root()->onboarding()->setStep(3);
        auto *offer = window->root()->onboarding()->findChild<QWidget *>(QStringLiteral("speechEnginesOffer"));
        ASSERT_NE(offer, nullptr);
        EXPECT_TRUE(offer->isVisible());
        EXPECT_EQ(offer->findChild<QLabel *>(QStringLiteral("speechEnginesSize"))->text(), SpeechEngineInstaller::sizeText());
        save(*window, QStringLiteral("onboarding-3-engines"));
    }
    auto window = open(true);
    state->setSelectedSection(AppSection::models);
    QWidget *offer = window->root()->shell()->currentScreen()->findChild<QWidget *>(QStringLiteral("speechEnginesOffer"));
    ASSERT_NE(offer, nullptr);
    EXPECT_TRUE(offer->isVisible());
    save(*window, QStringLiteral("section-models-engines"));
    auto *get = offer->findChild<QPushButton *>(QStringLiteral("getSpeechEngines"));
    auto *cancel = offer->findChild<QPushButton *>(QStringLiteral("cancelSpeechEngines"));
    auto *error = offer->findChild<QLabel *>(QStringLiteral("speechEnginesError"));

    // Under way: its step and Cancel instead of the button.
    get->click();
    ASSERT_TRUE(installer.running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !held.isEmpty(); }, 90000));
    EXPECT_TRUE(cancel->isVisible());
    EXPECT_FALSE(get->isVisible());
    EXPECT_FALSE(error->isVisible());
    EXPECT_TRUE(offer->findChild<QLabel *>(QStringLiteral("speechEnginesStage"))->text().startsWith(
        QStringLiteral("Reading Debian unstable")));
    save(*window, QStringLiteral("section-models-engines-progress"));
    cancel->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !installer.running(); }, 10000));
    EXPECT_TRUE(get->isVisible());
    EXPECT_FALSE(error->isVisible());

    // No network: the installer's reason (its own test checks the wording), and the button to try again.
    {
        ScopedEnv refused("http_proxy", QStringLiteral("http://127.0.0.1:9"));
        get->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !installer.running(); }, 90000));
    }
    EXPECT_TRUE(error->isVisible());
    EXPECT_FALSE(installer.error().isEmpty());
    EXPECT_EQ(error->text(), installer.error());
    EXPECT_EQ(get->text(), QStringLiteral("Try again"));
    save(*window, QStringLiteral("section-models-engines-failed"));
    window.reset();

    // Once this user's folder has an engine, the screens no longer offer it.
    const QString own = ResourceLocator::userEngineFolder() + QStringLiteral("/current/launch/whisper-cli");
    QDir().mkpath(QFileInfo(own).path());
    QFile launcher(own);
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.close();
    launcher.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    window = open(true);
    state->setSelectedSection(AppSection::models);
    EXPECT_FALSE(window->root()->shell()->currentScreen()->findChild<QWidget *>(QStringLiteral("speechEnginesOffer"))->isVisible());
    ResourceLocator::setInstallRoot({});
}
