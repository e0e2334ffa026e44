// The root switch, the sidebar, the lazily made screens, Home and the shared components.
#include "WindowFixture.h"
#include "components/Components.h"
#include "components/Symbols.h"
#include "screens/HistoryScreen.h"
#include "screens/HomeScreen.h"
#include "ui/MainWindow.h"
#include "window/MainShellView.h"
#include "window/OnboardingView.h"
#include "window/RootView.h"
#include "window/Sidebar.h"

#include <QPushButton>
#include <QTest>

using ShellTest = WindowTest;

TEST_F(ShellTest, FirstRunShowsOnboardingAndFinishingSwitchesTheSameWindow)
{
    {
        MainWindow window(context);
        RootView *root = window.root();
        ASSERT_NE(root->onboarding(), nullptr);
        EXPECT_EQ(root->currentWidget(), root->onboarding());
        EXPECT_EQ(root->shell(), nullptr);

        state->setSelectedSection(AppSection::models);
        root->onboarding()->setStep(3);
        root->onboarding()->finishOrDownload(); // Pocket is installed: finishes at once
        EXPECT_TRUE(state->onboardingComplete());
        EXPECT_EQ(state->selectedSection(), AppSection::home);
        ASSERT_NE(root->shell(), nullptr);
        EXPECT_EQ(root->currentWidget(), root->shell());
        EXPECT_EQ(root->onboarding(), nullptr);
    }

    // The next start goes straight to the shell.
    state.reset();
    state = makeState();
    context.state = state.get();
    EXPECT_TRUE(state->onboardingComplete());
    MainWindow again(context);
    EXPECT_EQ(again.root()->onboarding(), nullptr);
    EXPECT_EQ(again.root()->currentWidget(), again.root()->shell());
}

TEST_F(ShellTest, SidebarRowsSelectSectionsAndScreensAreMadeOnFirstShow)
{
    state->setOnboardingComplete(true);
    MainShellView shell(context);
    Sidebar *sidebar = shell.sidebar();
    // Only Home exists before anything else has been shown.
    EXPECT_NE(shell.screen(AppSection::home), nullptr);
    EXPECT_EQ(shell.screen(AppSection::history), nullptr);
    EXPECT_TRUE(sidebar->row(AppSection::home)->isChecked());

    QTest::mouseClick(sidebar->row(AppSection::history), Qt::LeftButton);
    EXPECT_EQ(state->selectedSection(), AppSection::history);
    EXPECT_TRUE(qobject_cast<HistoryScreen *>(shell.currentScreen()));
    EXPECT_FALSE(sidebar->row(AppSection::home)->isChecked());

    // Another part of the program switching sections moves the highlight and the keyboard focus
    // too; screens are kept.
    shell.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell));
    sidebar->row(AppSection::history)->setFocus(Qt::TabFocusReason);
    QWidget *history = shell.screen(AppSection::history);
    for (AppSection s : {AppSection::agent, AppSection::models, AppSection::vocabulary, AppSection::settings}) {
        state->setSelectedSection(s);
        EXPECT_TRUE(sidebar->row(s)->isChecked());
        EXPECT_TRUE(sidebar->row(s)->hasFocus());
        EXPECT_EQ(shell.currentScreen(), shell.screen(s));
    }
    state->setSelectedSection(AppSection::history);
    EXPECT_EQ(shell.currentScreen(), history);
}

TEST_F(ShellTest, SidebarHintsFollowTheShortcutsTheDesktopGrantedAndTheFooterTheModel)
{
    FakeHotKeyBackend backend;
    // The window manager keeps Alt+Space for its window menu.
    backend.refusedCombinations = {{uint16_t(KeyboardShortcutSetting::spaceKeyCode), HotKeyBackend::Modifiers{.option = true}}};
    hotKeyBackend = &backend;
    state.reset();
    state = makeState();
    context.state = state.get();
    {
        Sidebar sidebar(context);
        EXPECT_EQ(sidebar.hints().value(0), QStringLiteral("Alt+Space · Toggle (taken by another program)"));
        state->setAgentShortcut({.keyCode = 40, .keyLabel = QStringLiteral("K"), .command = true, .control = true});
        EXPECT_EQ(sidebar.hints().value(2), QStringLiteral("Ctrl+Super+K · Command"));
        EXPECT_TRUE(sidebar.footerActive());
        state->setSelectedModelID(QStringLiteral("velocity")); // not downloaded
        EXPECT_FALSE(sidebar.footerActive());
    }
    state.reset(); // before the backend goes
}

TEST_F(ShellTest, HomeCountsTranscriptsTogglesRecordingAndShowsTheModelState)
{
    HomeScreen home(context);
    addTranscript(QStringLiteral("one"));
    EXPECT_EQ(home.savedText(), QStringLiteral("1 transcript"));
    for (int i = 2; i <= 10; ++i)
        addTranscript(QString::number(i));
    EXPECT_EQ(home.savedText(), QStringLiteral("10 transcripts"));
    EXPECT_EQ(home.recentTexts(), (QStringList{"10", "9", "8"}));

    // The button toggles recording and names the next step.
    QTest::mouseClick(home.dictationButton(), Qt::LeftButton);
    EXPECT_EQ(kind(), CaptureStatus::Kind::recording);
    EXPECT_EQ(home.dictationButton()->text(), QStringLiteral("Finish dictation"));
    QTest::mouseClick(home.dictationButton(), Qt::LeftButton);
    EXPECT_EQ(kind(), CaptureStatus::Kind::processing);
    EXPECT_EQ(home.dictationButton()->text(), QStringLiteral("Start dictation"));
    runner.finish(QStringLiteral("done"));
    drain();

    state->setSelectedModelID(QStringLiteral("velocity"));
    state->setSelectedModelID(QStringLiteral("retired-model"));
    EXPECT_EQ(home.activeModelText(), QStringLiteral("None"));

    // "View all" opens History.
    for (auto *b : home.findChildren<QPushButton *>())
        if (b->text() == QLatin1String("View all"))
            QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(state->selectedSection(), AppSection::history);
}

TEST(SymbolsTest, EverySymbolHasAPictureHere)
{
    // A misspelt theme name or a missing shipped file shows as a blank button.
    for (const Symbols::Entry &e : Symbols::table()) {
        const QString symbol = QLatin1String(e.symbol);
        EXPECT_FALSE(Symbols::sourceFile(symbol).isEmpty()) << e.symbol;
        EXPECT_FALSE(Symbols::pixmap(symbol, Qt::red, 16, 2.0).isNull()) << e.symbol;
    }
    // Shipped pictures come first, tinted.
    EXPECT_TRUE(Symbols::sourceFile(QStringLiteral("waveform")).endsWith(QLatin1String("/symbols/waveform.png")));
    const QPixmap tinted = Symbols::pixmap(QStringLiteral("waveform"), QColor(255, 0, 0), 32, 1.0);
    const QImage image = tinted.toImage();
    EXPECT_EQ(image.pixelColor(13, 16).red(), 255);
    EXPECT_EQ(image.pixelColor(13, 16).green(), 0);
}
