// Keys and windows against the real X server and window manager of the session.
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Ports.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <xcb/xtest.h>

#include <unistd.h>

namespace {

class X11PortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.ewmh() || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server with a window manager";
    }
    // Shows a text field and waits until the window manager has made it the active window.
    bool showActive(QLineEdit &field, const QString &title)
    {
        field.setWindowTitle(title);
        field.resize(300, 40);
        field.show();
        field.activateWindow();
        // The window manager may still be starting; it announces the active window when ready.
        return QTest::qWaitForWindowActive(&field, 3000) && QTest::qWaitFor([&] {
                   const auto front = workspace.frontmostApplication();
                   if (front && front->windowId == uint64_t(field.winId()))
                       return true;
                   field.activateWindow();
                   return false;
               }, 5000);
    }

    X11Connection x11;
    X11Workspace workspace{x11};
    X11KeySynthesizer keys{x11};
};

} // namespace

TEST_F(X11PortsTest, FrontWindowIsOursTakesASynthesisedPasteAndComesBackWhenActivated)
{
    QLineEdit field;
    ASSERT_TRUE(showActive(field, QStringLiteral("paste target")));
    const auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, int64_t(::getpid()));
    EXPECT_EQ(front->windowId, uint64_t(field.winId()));
    EXPECT_FALSE(front->localizedName.isEmpty());
    EXPECT_TRUE(workspace.isCurrentApplication(*front));
    // Asking our own busy main thread over the accessibility bus would hang.
    EXPECT_EQ(X11Accessibility(x11).focusedElement(), nullptr);

    keys.postKey(0, 0); // the A key
    QApplication::clipboard()->setText(QStringLiteral(" pasted"));
    // The user still holds the shortcut's Alt and Shift: the paste must be a plain Ctrl+V all the same.
    const auto fake = [&](uint8_t type, uint32_t keysym) {
        xcb_test_fake_input(x11.connection(), type, x11.keycodeForKeysym(keysym), XCB_CURRENT_TIME, x11.root(), 0, 0, 0);
        free(xcb_get_input_focus_reply(x11.connection(), xcb_get_input_focus(x11.connection()), nullptr));
    };
    for (uint32_t keysym : {0xffe9u, 0xffe1u})
        fake(XCB_KEY_PRESS, keysym);
    EXPECT_FALSE(keys.keyHeld()); // modifiers alone do not hold the keyboard
    fake(XCB_KEY_PRESS, 0xffbe); // and the shortcut's own key (F1, which types nothing)
    EXPECT_TRUE(keys.keyHeld());
    fake(XCB_KEY_RELEASE, 0xffbe);
    EXPECT_FALSE(keys.keyHeld());
    keys.postKey(KeySynthesizer::keyV, KeySynthesizer::commandFlag);
    EXPECT_TRUE(QTest::qWaitFor([&] { return field.text() == QStringLiteral("a pasted"); }, 3000)) << field.text().toStdString();
    for (uint32_t keysym : {0xffe1u, 0xffe9u})
        fake(XCB_KEY_RELEASE, keysym);

    // Activation brings the remembered window back from behind another.
    QLineEdit second;
    ASSERT_TRUE(showActive(second, QStringLiteral("second")));
    workspace.activate(*front);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto now = workspace.frontmostApplication();
        return now && now->windowId == uint64_t(field.winId());
    }, 3000));
}
