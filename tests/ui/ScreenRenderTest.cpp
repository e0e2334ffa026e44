// Renders every screen of the window, light and dark, to PNG files for a person to look at:
// $ORVEL_SCREENS_DIR, else screens/ in the build folder. Checks only that each picture was made.
#include "WindowFixture.h"
#include "components/Palette.h"
#include "screens/AgentConversationsView.h"
#include "screens/HistoryScreen.h"
#include "ui/MainWindow.h"
#include "window/MainShellView.h"
#include "window/OnboardingView.h"
#include "window/RootView.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <iostream>

namespace {

class SampleConversations final : public AgentConversationSource {
public:
    QList<AgentConversation> conversations() const override { return list; }
    void deleteConversation(const QUuid &) override {}
    void clearAll() override {}
    void open(const QUuid &) override {}
    QList<AgentConversation> list;
};

QString outputFolder()
{
    const QString dir = qEnvironmentVariableIsSet("ORVEL_SCREENS_DIR")
                            ? qEnvironmentVariable("ORVEL_SCREENS_DIR")
                            : QCoreApplication::applicationDirPath() + QStringLiteral("/../screens");
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

} // namespace

using ScreenRenderTest = WindowTest;

TEST_F(ScreenRenderTest, EveryScreenInLightAndDark)
{
    const QString folder = outputFolder();
    addTranscript(QStringLiteral("Send the draft to Mara before lunch and ask whether the figures on page three still hold."));
    addTranscript(QStringLiteral("Café notes: the résumé goes out on Friday."), QStringLiteral("velocity"));
    addTranscript(QStringLiteral("Short one."));
    SampleConversations conversations;
    AgentConversation c = AgentConversation::create(QStringLiteral("Make this reply warmer"), QStringLiteral("Thunderbird"), {});
    c.updatedAt = QDateTime::currentDateTimeUtc().addSecs(-3 * 3600);
    conversations.list = {c, AgentConversation::create(QStringLiteral("Tighten the abstract"), QString(), {})};
    context.conversations = &conversations;
    const QPalette desktop = QApplication::palette();

    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? Theme::darkTheme().palette() : Theme::light().palette());
        const QString suffix = dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png");
        auto save = [&](QWidget &w, const QString &name) {
            QTest::qWait(20);
            const QString path = folder + QLatin1Char('/') + name + suffix;
            EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
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
        state->setSelectedSection(AppSection::history);
        auto *history = qobject_cast<HistoryScreen *>(window.root()->shell()->currentScreen());
        ASSERT_NE(history, nullptr);
        history->setArea(HistoryScreen::HistoryArea::agent);
        save(window, QStringLiteral("section-history-command"));
        history->setArea(HistoryScreen::HistoryArea::dictation);
        history->findChild<QLineEdit *>()->setText(QStringLiteral("nothing like this"));
        save(window, QStringLiteral("section-history-nomatch"));
        history->findChild<QLineEdit *>()->clear();
        state->setSelectedSection(AppSection::home);
    }
    QApplication::setPalette(desktop);
    std::cout << "screens written to " << folder.toStdString() << std::endl;
}
