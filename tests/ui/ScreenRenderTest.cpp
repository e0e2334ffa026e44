// Renders every screen of the window, light and dark, to PNG files for a person to look at
// ($ORVEL_SNAPSHOT_DIR, else screen-snapshots/ in the working folder). Checks only that each
// picture was made.
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
#include "ui/MainWindow.h"
#include "window/MainShellView.h"
#include "window/OnboardingView.h"
#include "window/RootView.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollArea>
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
