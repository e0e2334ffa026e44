// Renders every screen of the window, light and dark, to PNG files for a person to look at
// ($ORVEL_SNAPSHOT_DIR, else screen-snapshots/ in the working folder). Checks only that each
// picture was made.
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
#include "screens/SettingsScreen.h"
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
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <iostream>

using ScreenRenderTest = WindowTest;

namespace {
QString folder()
{
    const QString dir = qEnvironmentVariableIsSet("ORVEL_SNAPSHOT_DIR") ? qEnvironmentVariable("ORVEL_SNAPSHOT_DIR")
                                                                        : QDir::current().filePath(QStringLiteral("screen-snapshots"));
    QDir().mkpath(dir);
    return dir;
}
} // namespace

TEST_F(ScreenRenderTest, EveryScreenInLightAndDark)
{
    addTranscript(QStringLiteral("Send the draft to Mara before lunch and ask whether the figures on page three still hold."));
    addTranscript(QStringLiteral("Café notes: the résumé goes out on Friday."), QStringLiteral("velocity"));
    addTranscript(QStringLiteral("Short one."));
    state->agentConversationStore().createConversation(QUuid::createUuid(), QStringLiteral("Tighten the abstract"),
                                                       QString(), {});
    state->agentConversationStore().createConversation(QUuid::createUuid(), QStringLiteral("Make this reply warmer"),
                                                       QStringLiteral("Thunderbird"), {});
    state->addVocabulary(QStringLiteral("Orvel Raza"));
    state->addVocabulary(QStringLiteral("whisper.cpp"));
    permissions.microphone = false;
    // The user's own servers: one on this computer, one on another machine.
    ModelServer ollama;
    ollama.name = QStringLiteral("Ollama");
    ollama.baseURL = QStringLiteral("http://localhost:11434/v1");
    ollama.model = QStringLiteral("llama3.2:3b");
    ModelServer team;
    team.name = QStringLiteral("Team GPU");
    team.baseURL = QStringLiteral("http://gpu-box.lan:8000/v1");
    team.model = QStringLiteral("Qwen/Qwen3-32B");
    team.images = true;
    team.hasKey = true;
    ASSERT_TRUE(state->agentModels().addServer(ollama) && state->agentModels().addServer(team));
    const QPalette desktop = QApplication::palette();
    QStringList written;

    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? Theme::darkTheme().palette() : Theme::light().palette());
        auto save = [&](MainWindow &window, const QString &name) {
            QTest::qWait(20);
            QWidget *screen = window.root()->shell() && window.root()->currentWidget() == window.root()->shell()
                                  ? window.root()->shell()->currentScreen()
                                  : window.root()->currentWidget();
            auto *scrolling = qobject_cast<QScrollArea *>(screen);
            if (!scrolling && screen)
                scrolling = screen->findChild<QScrollArea *>();
            // A scrolling screen is also saved whole, as NAME-full.
            const QString base = folder() + QLatin1Char('/') + name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light"));
            window.grab().save(base + QStringLiteral(".png"));
            written << base + QStringLiteral(".png");
            if (scrolling && scrolling->widget() && scrolling->widget()->height() > scrolling->viewport()->height())
                scrolling->widget()->grab().save(base + QStringLiteral("-full.png"));
            // Every symbol a screen names has a picture on this desktop.
            QStringList symbols;
            for (const SymbolLabel *label : window.findChildren<SymbolLabel *>())
                symbols << label->symbol();
            for (const SymbolButton *button : window.findChildren<SymbolButton *>())
                symbols << button->symbol();
            for (const QString &symbol : symbols) {
                if (!symbol.isEmpty()) {
                    EXPECT_FALSE(Symbols::sourceFile(symbol).isEmpty()) << symbol.toStdString();
                }
            }
        };

        state->setOnboardingComplete(false);
        {
            MainWindow window(context);
            window.resize(1100, 720);
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            OnboardingView *onboarding = window.root()->onboarding();
            for (int step = 0; step < OnboardingView::steps; ++step) {
                onboarding->setStep(step);
                save(window, QStringLiteral("onboarding-%1").arg(step));
            }
            onboarding->setShowsMoreModels(true);
            onboarding->setChosenModelID(QStringLiteral("velocity"));
            save(window, QStringLiteral("onboarding-3-more"));
        }

        state->setOnboardingComplete(true);
        MainWindow window(context);
        window.resize(1100, 720);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (AppSection section : {AppSection::home, AppSection::agent, AppSection::history, AppSection::models,
                                   AppSection::vocabulary, AppSection::settings}) {
            state->setSelectedSection(section);
            save(window, QStringLiteral("section-") + appSectionTitle(section).toLower());
        }
        state->setSelectedSection(AppSection::models);
        auto *models = qobject_cast<ModelsScreen *>(window.root()->shell()->currentScreen());
        ASSERT_NE(models, nullptr);
        models->speechModels()->setShowsAllModels(true);
        save(window, QStringLiteral("section-models-all"));
        models->setArea(ModelsArea::agent);
        save(window, QStringLiteral("section-models-command"));
        models->setArea(ModelsArea::dictation);

        // The permissions as a failed start leads the user to them.
        state->toggleRecording();
        state->handleOverlayTap();
        QTest::qWait(400);
        save(window, QStringLiteral("section-settings-permissions"));

        state->setSelectedSection(AppSection::history);
        auto *history = qobject_cast<HistoryScreen *>(window.root()->shell()->currentScreen());
        ASSERT_NE(history, nullptr);
        history->setArea(HistoryScreen::HistoryArea::agent);
        save(window, QStringLiteral("section-history-command"));
        history->setArea(HistoryScreen::HistoryArea::dictation);
        history->findChild<QLineEdit *>()->setText(QStringLiteral("nothing like this"));
        save(window, QStringLiteral("section-history-nomatch"));
        history->findChild<QLineEdit *>()->clear();

        // The empty states.
        const QStringList terms = state->vocabulary();
        state->setVocabulary({});
        state->agentConversationStore().clear();
        state->setSelectedSection(AppSection::vocabulary);
        save(window, QStringLiteral("section-vocabulary-empty"));
        state->setSelectedSection(AppSection::history);
        history->setArea(HistoryScreen::HistoryArea::agent);
        save(window, QStringLiteral("section-history-command-empty"));
        history->setArea(HistoryScreen::HistoryArea::dictation);
        state->setVocabulary(terms);
        state->setSelectedSection(AppSection::home);
    }
    QApplication::setPalette(desktop);
    for (const QString &path : written)
        EXPECT_TRUE(QFileInfo(path).size() > 0) << path.toStdString();
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
    const QPalette desktop = QApplication::palette();

    SpeechEngineInstaller &installer = state->speechEngines();
    auto offerOf = [](MainWindow &window) {
        return window.root()->shell()->currentScreen()->findChild<QWidget *>(QStringLiteral("speechEnginesOffer"));
    };
    // The offer as a fresh installation shows it, before anything was tried.
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? Theme::darkTheme().palette() : Theme::light().palette());
        const QString suffix = dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png");
        state->setOnboardingComplete(false);
        {
            MainWindow window(context);
            window.resize(1100, 720);
            window.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            window.root()->onboarding()->setStep(3);
            auto *offer = window.root()->onboarding()->findChild<QWidget *>(QStringLiteral("speechEnginesOffer"));
            ASSERT_NE(offer, nullptr);
            EXPECT_TRUE(offer->isVisible());
            EXPECT_EQ(offer->findChild<QLabel *>(QStringLiteral("speechEnginesSize"))->text(),
                      SpeechEngineInstaller::sizeText());
            QTest::qWait(20);
            window.grab().save(folder() + QStringLiteral("/onboarding-3-engines") + suffix);
        }
        state->setOnboardingComplete(true);
        MainWindow window(context);
        window.resize(1100, 720);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        state->setSelectedSection(AppSection::models);
        ASSERT_NE(offerOf(window), nullptr);
        EXPECT_TRUE(offerOf(window)->isVisible());
        QTest::qWait(20);
        window.grab().save(folder() + QStringLiteral("/section-models-engines") + suffix);
    }
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? Theme::darkTheme().palette() : Theme::light().palette());
        const QString suffix = dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png");
        MainWindow window(context);
        window.resize(1100, 720);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        state->setSelectedSection(AppSection::models);
        QWidget *offer = offerOf(window);
        auto *get = offer->findChild<QPushButton *>(QStringLiteral("getSpeechEngines"));
        auto *cancel = offer->findChild<QPushButton *>(QStringLiteral("cancelSpeechEngines"));
        auto *error = offer->findChild<QLabel *>(QStringLiteral("speechEnginesError"));

        // Under way: its step and Cancel instead of the button.
        const int connections = held.size();
        get->click();
        ASSERT_TRUE(installer.running());
        ASSERT_TRUE(QTest::qWaitFor([&] { return held.size() > connections; }, 90000));
        EXPECT_TRUE(cancel->isVisible());
        EXPECT_FALSE(get->isVisible());
        EXPECT_FALSE(error->isVisible());
        EXPECT_TRUE(offer->findChild<QLabel *>(QStringLiteral("speechEnginesStage"))->text().startsWith(
            QStringLiteral("Reading Debian unstable")));
        window.grab().save(folder() + QStringLiteral("/section-models-engines-progress") + suffix);
        cancel->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !installer.running(); }, 10000));
        EXPECT_TRUE(get->isVisible());
        EXPECT_FALSE(error->isVisible());

        // No network: the reason, and the button to try again.
        {
            ScopedEnv refused("http_proxy", QStringLiteral("http://127.0.0.1:9"));
            get->click();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !installer.running(); }, 90000));
        }
        EXPECT_TRUE(error->isVisible());
        EXPECT_TRUE(error->text().startsWith(QStringLiteral("Could not get the speech engines: cannot read")))
            << error->text().toStdString();
        EXPECT_EQ(get->text(), QStringLiteral("Try again"));
        window.grab().save(folder() + QStringLiteral("/section-models-engines-failed") + suffix);
    }
    QApplication::setPalette(desktop);

    // Once this user's folder has an engine, the screens no longer offer it.
    const QString own = ResourceLocator::userEngineFolder() + QStringLiteral("/current/launch/whisper-cli");
    QDir().mkpath(QFileInfo(own).path());
    QFile launcher(own);
    ASSERT_TRUE(launcher.open(QIODevice::WriteOnly));
    launcher.close();
    launcher.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    MainWindow window(context);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    state->setSelectedSection(AppSection::models);
    EXPECT_FALSE(offerOf(window)->isVisible());
    ResourceLocator::setInstallRoot({});
}
