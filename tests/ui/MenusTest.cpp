#include "../app/AppStateFixture.h"
#include "ui/ApplicationMenus.h"
#include "ui/MainWindow.h"
#include "ui/TrayIcon.h"

#include <QSystemTrayIcon>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

QList<bool> enabled(const QMenu *menu)
{
    QList<bool> out;
    for (const QAction *a : menu->actions())
        out << a->isEnabled();
    return out;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

using MenusTest = AppStateTest;

TEST_F(MenusTest, TrayMenuReachesTheStateAndTheBadgeFollowsIt)
{
    TrayIcon tray(*state);
    const auto actions = tray.menu()->actions();
    EXPECT_FALSE(tray.trayIcon()->icon().isNull());
    // No image and perhaps no icon theme: still an icon of tray size.
    EXPECT_FALSE(TrayIcon::makeStatusIcon(home.path() + QStringLiteral("/missing.png")).pixmap(18, 18).isNull());
    EXPECT_EQ(tray.shownActivity(), TrayIcon::Activity::idle);

    // The actions reach the state as tasks on the main thread.
    actions[0]->trigger();
    EXPECT_EQ(kind(), CaptureStatus::Kind::idle);
    settle();
    EXPECT_EQ(kind(), CaptureStatus::Kind::recording);
    EXPECT_EQ(tray.shownActivity(), TrayIcon::Activity::recording);
    actions[2]->trigger();
    settle();
    EXPECT_EQ(mainWindow.raises, 1);

    state->toggleRecording();
    EXPECT_EQ(tray.shownActivity(), TrayIcon::Activity::working);
    runner.finish(Result<QString, OrvelError>::failure(OrvelError::transcriptionFailed(QStringLiteral("x"))));
    drain();
    EXPECT_EQ(tray.shownActivity(), TrayIcon::Activity::error);
    scheduler.advance(5);
    state->setAgentPhase(AgentPhase::generating);
    EXPECT_EQ(tray.shownActivity(), TrayIcon::Activity::working);
    state->setAgentPhase(AgentPhase::completed);
    EXPECT_EQ(tray.shownActivity(), TrayIcon::Activity::idle);

    // Each badge draws something of its own over the plain icon.
    const QIcon plain = TrayIcon::makeStatusIcon(std::nullopt);
    QList<QImage> seen{plain.pixmap(22, 22).toImage()};
    for (auto a : {TrayIcon::Activity::recording, TrayIcon::Activity::working, TrayIcon::Activity::error}) {
        const QImage img = TrayIcon::badgedIcon(plain, a).pixmap(22, 22).toImage();
        EXPECT_FALSE(seen.contains(img));
        seen << img;
    }
}

TEST_F(MenusTest, DictationMenuFollowsTheStatusAndTheShortcuts)
{
    QMenuBar bar;
    ApplicationMenus menus(*state, &bar);
    EXPECT_EQ(enabled(menus.dictationMenu()), (QList<bool>{true, false, false}));

    menus.dictationMenu()->actions()[0]->trigger();
    settle();
    ASSERT_EQ(kind(), CaptureStatus::Kind::recording);
    EXPECT_EQ(enabled(menus.dictationMenu()), (QList<bool>{true, true, true}));

    const KeyboardShortcutSetting f5{.keyCode = 96, .keyLabel = QStringLiteral("F5"), .control = true};
    state->setToggleShortcut(f5);
    state->setCancelShortcut(f5);
    EXPECT_EQ(menus.dictationMenu()->actions()[0]->text(), QStringLiteral("Finish Dictation (Ctrl+F5)"));
    EXPECT_EQ(menus.dictationMenu()->actions()[1]->text(), QStringLiteral("Cancel Dictation (Ctrl+F5)"));

    menus.dictationMenu()->actions()[2]->trigger();
    settle();
    EXPECT_EQ(kind(), CaptureStatus::Kind::idle);
    EXPECT_EQ(enabled(menus.dictationMenu()), (QList<bool>{true, false, false}));

    // Processing is not recording: nothing to cancel.
    state->toggleRecording();
    state->toggleRecording();
    ASSERT_EQ(kind(), CaptureStatus::Kind::processing);
    EXPECT_EQ(enabled(menus.dictationMenu()), (QList<bool>{true, false, false}));
    EXPECT_EQ(menus.dictationMenu()->actions()[0]->text(), QStringLiteral("Start Dictation (Ctrl+F5)"));
}

TEST_F(MenusTest, CommandMenuFollowsThePhaseModelAndConversation)
{
    bool images = false, conversation = false;
    int opened = 0;
    QMenuBar bar;
    ApplicationMenus menus(*state, &bar,
                           {[&] { return images; }, [&] { return conversation; }, [&] { ++opened; }});
    EXPECT_EQ(enabled(menus.commandMenu()), (QList<bool>{true, false, false}));

    images = conversation = true;
    menus.refresh();
    EXPECT_EQ(enabled(menus.commandMenu()), (QList<bool>{true, true, true}));
    menus.commandMenu()->actions()[2]->trigger();
    EXPECT_EQ(opened, 1);

    // Without hooks the state answers: a text-only local model and no conversation yet.
    AgentSettings settings = state->agentSettings();
    settings.writingProvider = AgentWritingProvider::local;
    settings.selectedModelID = QStringLiteral("apple-system");
    state->setAgentSettings(settings);
    QMenuBar other;
    ApplicationMenus bare(*state, &other);
    EXPECT_EQ(enabled(bare.commandMenu()), (QList<bool>{true, false, false}));
}

TEST_F(MenusTest, ClosingTheMainWindowHidesItAndOpenBringsItBack)
{
    int activations = 0;
    MainWindow window(WindowContext{state.get()}, [&](QWidget *w) {
        EXPECT_EQ(w, &window);
        ++activations;
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // A floating panel is never what comes forward.
    QWidget panel(nullptr, Qt::Tool);
    panel.setAttribute(Qt::WA_ShowWithoutActivating);
    panel.show();

    EXPECT_TRUE(window.close() || !window.isVisible());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(QCoreApplication::closingDown());

    window.bringForward();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(activations, 1);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window, 3000));
    }
}
