#include "ScreenTestSupport.h"
#include "app/HotKeyManager.h"
#include "app/LoginStart.h"
#include "app/Preferences.h"
#include "ui/screens/OverlaySizeChoice.h"
#include "ui/screens/SettingsScreen.h"
#include "ui/screens/ShortcutRecorderWidget.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

namespace {

class SettingsScreenTest : public ScreenTest {
protected:
    // The row's control carries the row's title as its accessible name.
    static ShortcutRecorderWidget *recorder(SettingsScreen &screen, const QString &title)
    {
        return control<ShortcutRecorderWidget>(&screen, title);
    }
};

} // namespace

TEST_F(SettingsScreenTest, RecordingAShortcutSuspendsTheGlobalShortcutsAndStoresTheCombination)
{
    SettingsScreen screen(*state);
    screen.show();
    int quits = 0;
    auto *quit = new QAction(&screen);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(quit, &QAction::triggered, [&] { ++quits; });
    screen.addAction(quit);
    ASSERT_EQ(backend.registered.size(), 4u);
    ShortcutRecorderWidget *toggle = recorder(screen, QStringLiteral("Global shortcut"));
    ASSERT_TRUE(toggle);
    QTest::mouseClick(toggle->button(), Qt::LeftButton);
    EXPECT_TRUE(toggle->isCapturing());
    EXPECT_TRUE(state->hotKeysSuspended());
    EXPECT_TRUE(backend.registered.empty());

    // A bare key is refused where a modifier is required, in this desktop's key names.
    QTest::keyClick(toggle->button(), Qt::Key_K);
    EXPECT_TRUE(toggle->isCapturing());
    EXPECT_EQ(toggle->message(), QStringLiteral("Add Ctrl, Alt, Shift, or Super"));
    EXPECT_EQ(state->toggleShortcut(), KeyboardShortcutSetting::defaultToggle());

    // A lone modifier is the start of a combination; the combination is what counts.
    QTest::keyClick(toggle->button(), Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(toggle->isCapturing());
    QTest::keyClick(toggle->button(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(toggle->isCapturing());
    EXPECT_FALSE(state->hotKeysSuspended());
    EXPECT_EQ(state->toggleShortcut().keyLabel, QStringLiteral("K"));
    EXPECT_TRUE(state->toggleShortcut().control && state->toggleShortcut().option);
    EXPECT_FALSE(state->toggleShortcut().shift || state->toggleShortcut().command);
    ASSERT_EQ(backend.registered.size(), 4u);
    EXPECT_EQ(backend.registered.at(HotKeyManager::toggle).first, state->toggleShortcut().keyCode);

    // Leaving the recorder ends the capture and gives the shortcuts back; so does closing the screen.
    QTest::mouseClick(toggle->button(), Qt::LeftButton);
    EXPECT_TRUE(backend.registered.empty());
    toggle->stopCapturing();
    EXPECT_EQ(backend.registered.size(), 4u);

    // The cancel key needs no modifier; a window shortcut stays quiet while a combination is recorded.
    ShortcutRecorderWidget *cancel = recorder(screen, QStringLiteral("Cancel recording"));
    QTest::mouseClick(cancel->button(), Qt::LeftButton);
    QTest::keyClick(cancel->button(), Qt::Key_X);
    EXPECT_EQ(state->cancelShortcut().keyLabel, QStringLiteral("X"));
    EXPECT_FALSE(state->cancelShortcut().hasModifier());
    ShortcutRecorderWidget *agent = recorder(screen, QStringLiteral("Command"));
    QTest::mouseClick(agent->button(), Qt::LeftButton);
    QTest::keyClick(agent->button(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(state->agentShortcut().keyLabel, QStringLiteral("Q"));
    EXPECT_TRUE(state->agentShortcut().control);
    {
        SettingsScreen other(*state);
        QTest::mouseClick(recorder(other, QStringLiteral("Command"))->button(), Qt::LeftButton);
        EXPECT_TRUE(state->hotKeysSuspended());
    }
    EXPECT_FALSE(state->hotKeysSuspended());
    EXPECT_EQ(backend.registered.size(), 4u);
}

TEST_F(SettingsScreenTest, ConflictsAndRefusedCombinationsAreShownUntilAnotherIsRecorded)
{
    // A window manager holds Alt+Space, the default Dictation shortcut.
    backend.refusedCombinations.append(
        {uint16_t(KeyboardShortcutSetting::spaceKeyCode), HotKeyBackend::Modifiers{.option = true}});
    state->refreshHotKeys();
    SettingsScreen screen(*state);
    screen.show();
    ShortcutRecorderWidget *toggle = recorder(screen, QStringLiteral("Global shortcut"));
    EXPECT_TRUE(toggle->isTaken());
    EXPECT_FALSE(recorder(screen, QStringLiteral("Push to talk"))->isTaken());
    // The cancel key is held only during a recording, so it never reads as taken.
    EXPECT_FALSE(recorder(screen, QStringLiteral("Cancel recording"))->isTaken());
    // The desktop's own settings can still bind the exact command.
    auto *copy = screen.findChild<QPushButton *>(QStringLiteral("copy-toggle-dictation"));
    ASSERT_TRUE(copy);
    copy->click();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith(QStringLiteral(" --toggle-dictation")));

    QWidget *conflict = screen.findChild<QWidget *>(QStringLiteral("shortcutConflict"));
    EXPECT_FALSE(shown(conflict, &screen));
    // The Command shortcut set to the push-to-talk combination.
    QAbstractButton *command = recorder(screen, QStringLiteral("Command"))->button();
    QTest::mouseClick(command, Qt::LeftButton);
    QTest::keyClick(command, Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(state->agentShortcut(), state->pushToTalkShortcut());
    EXPECT_TRUE(shown(conflict, &screen));

    QTest::mouseClick(toggle->button(), Qt::LeftButton);
    QTest::keyClick(toggle->button(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    settle();
    EXPECT_FALSE(toggle->isTaken());
    EXPECT_TRUE(toggle->message().isEmpty());
    EXPECT_TRUE(state->hotKey().isRegistered(HotKeyManager::toggle));
    state->setAgentShortcut(KeyboardShortcutSetting::defaultAgent());
    EXPECT_FALSE(shown(conflict, &screen));
    // Every shortcut registered: the commands go away from the open screen too.
    EXPECT_FALSE(screen.findChild<QPushButton *>(QStringLiteral("copy-toggle-dictation")));

    // Where the desktop binds the keys (the portal), its answer is what the screen shows: KRunner
    // holds Alt+Space, so the toggle got no key although it was accepted for asking.
    backend.answer({{HotKeyManager::toggle, QString()}, {HotKeyManager::pushToTalk, QStringLiteral("Ctrl+Alt+Space")}});
    auto *toggleKey = screen.findChild<QLabel *>(QStringLiteral("desktop-trigger-1"));
    auto *holdKey = screen.findChild<QLabel *>(QStringLiteral("desktop-trigger-2"));
    ASSERT_TRUE(toggleKey && holdKey);
    EXPECT_TRUE(toggleKey->text().contains(QStringLiteral("not bound")));
    EXPECT_TRUE(holdKey->text().endsWith(QStringLiteral("Ctrl+Alt+Space")));
    EXPECT_FALSE(state->hotKey().isRegistered(HotKeyManager::toggle));
    EXPECT_TRUE(screen.findChild<QPushButton *>(QStringLiteral("copy-toggle-dictation")));
}

// The preview plays the sound just chosen; the two sizes are one choice; Reset forgets the place.
TEST_F(SettingsScreenTest, SoundPreviewOverlaySizeAndPositionReset)
{
    SettingsScreen screen(*state);
    auto *sound = screen.findChild<QComboBox *>(QStringLiteral("completionSound"));
    sound->activated(1);
    EXPECT_EQ(state->completionSound(), CompletionSound::glassChime);
    control(&screen, QStringLiteral("Preview"))->click();
    ASSERT_FALSE(sounds.played.empty());
    EXPECT_EQ(sounds.played.back().first, QStringLiteral("Glass"));

    auto sizes = screen.findChildren<OverlaySizeChoice *>();
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_TRUE(sizes[0]->isChecked());
    sizes[1]->click();
    EXPECT_EQ(state->overlaySize(), OverlaySize::mini);
    EXPECT_FALSE(sizes[0]->isChecked());

    {
        auto defaults = Preferences::openDefaultStore();
        defaults->setValue(PreferenceKeys::overlayOriginX, 40.0);
        defaults->setValue(PreferenceKeys::overlayOriginY, 50.0);
        defaults->sync();
    }
    control(&screen, QStringLiteral("Reset"))->click();
    EXPECT_EQ(overlay.defaultPositions, 1);
    auto reread = Preferences::openDefaultStore();
    EXPECT_FALSE(reread->contains(PreferenceKeys::overlayOriginX));
    EXPECT_FALSE(reread->contains(PreferenceKeys::overlayOriginY));
}

// Off until turned on; on, the user's autostart folder has an entry that starts this very program in
// the tray, which desktops accept; a folder that cannot be written is said so and stays off.
TEST_F(SettingsScreenTest, StartAtLoginPutsTheAutostartEntryInPlace)
{
    const QString entry = LoginStart::entryPath();
    ASSERT_TRUE(entry.startsWith(home.path()));
    {
        SettingsScreen screen(*state);
        auto *login = screen.findChild<QCheckBox *>(QStringLiteral("startAtLogin"));
        ASSERT_TRUE(login);
        EXPECT_FALSE(login->isChecked());
        login->click();
        EXPECT_TRUE(login->isChecked());
    }
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QString program = QCoreApplication::applicationFilePath();
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=") + program + QStringLiteral(" --hidden\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nTryExec=") + program + QStringLiteral("\n")));
    if (!QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty()) {
        EXPECT_EQ(QProcess::execute(QStringLiteral("desktop-file-validate"), {entry}), 0);
    }

    SettingsScreen screen(*state);
    auto *login = screen.findChild<QCheckBox *>(QStringLiteral("startAtLogin"));
    EXPECT_TRUE(login->isChecked());
    login->click();
    EXPECT_FALSE(QFileInfo::exists(entry));

    // A file where the folder should be.
    QFile blocker(QFileInfo(entry).path());
    ASSERT_TRUE(QFileInfo(entry).dir().removeRecursively());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    login->click();
    EXPECT_FALSE(login->isChecked());
    auto *error = screen.findChild<QLabel *>(QStringLiteral("startAtLoginError"));
    EXPECT_FALSE(error->isHidden());
    EXPECT_EQ(error->text(), QStringLiteral("Could not write %1.").arg(entry));
}

TEST_F(SettingsScreenTest, APermissionRequestHighlightsThePermissionsOnceForEachRequest)
{
    SettingsScreen screen(*state);
    screen.resize(700, 400);
    screen.show();
    EXPECT_FALSE(screen.highlightedPermissions());
    // A failed start that needs the microphone, then a tap on the overlay.
    permissions.microphone = false;
    state->toggleRecording();
    state->handleOverlayTap();
    EXPECT_EQ(screen.handledPermissionAttentionRequest(), 1);
    EXPECT_TRUE(screen.highlightedPermissions());
    EXPECT_TRUE(screen.permissionHighlightTask().isActive());
    // Showing the screen again does not repeat a handled request.
    screen.hide();
    screen.show();
    EXPECT_EQ(screen.handledPermissionAttentionRequest(), 1);
    QMetaObject::invokeMethod(&screen.permissionHighlightTask(), "timeout");
    EXPECT_FALSE(screen.highlightedPermissions());

    state->toggleRecording();
    state->handleOverlayTap();
    EXPECT_EQ(screen.handledPermissionAttentionRequest(), 2);
    EXPECT_TRUE(screen.highlightedPermissions());
    QTest::qWait(400);
    // Scrolled so the section is in view.
    QWidget *section = screen.permissionsSection();
    const QRect inView(section->mapTo(&screen, QPoint(0, 0)), section->size());
    EXPECT_TRUE(screen.rect().intersects(inView));

    // Allow asks for the missing permission only, and the row shows the answer.
    permissions.grantOnRequest = true;
    EXPECT_FALSE(shown(control(&screen, QStringLiteral("Allow Screen Recording")), &screen));
    QAbstractButton *allow = control(&screen, QStringLiteral("Allow Microphone"));
    allow->click();
    settle();
    EXPECT_TRUE(state->microphoneGranted());
    EXPECT_FALSE(shown(allow, &screen));
}
