// Keys, windows and permissions against the real X server and window manager of the session.
#include "platform/x11/AtSpiAccessibility.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Ports.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

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

TEST_F(X11PortsTest, FrontWindowIsOursAndReceivesSynthesisedPaste)
{
    QLineEdit field;
    ASSERT_TRUE(showActive(field, QStringLiteral("paste target")));
    const auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, int64_t(::getpid()));
    EXPECT_EQ(front->windowId, uint64_t(field.winId()));
    EXPECT_FALSE(front->localizedName.isEmpty());
    EXPECT_TRUE(workspace.isCurrentApplication(*front));

    keys.postKey(0, 0); // the A key
    QApplication::clipboard()->setText(QStringLiteral(" pasted"));
    keys.postKey(KeySynthesizer::keyV, KeySynthesizer::commandFlag);
    EXPECT_TRUE(QTest::qWaitFor([&] { return field.text() == QStringLiteral("a pasted"); }, 3000)) << field.text().toStdString();
}

TEST_F(X11PortsTest, ActivationBringsTheRememberedWindowBack)
{
    QLineEdit first, second;
    ASSERT_TRUE(showActive(first, QStringLiteral("first")));
    const auto remembered = workspace.frontmostApplication();
    ASSERT_TRUE(remembered);
    ASSERT_TRUE(showActive(second, QStringLiteral("second")));
    ASSERT_EQ(workspace.frontmostApplication()->windowId, uint64_t(second.winId()));

    workspace.activate(*remembered);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto now = workspace.frontmostApplication();
        return now && now->windowId == uint64_t(first.winId());
    }, 3000));
}

TEST_F(X11PortsTest, NamesFallBackToTheProcessName)
{
    EXPECT_EQ(X11Workspace::applicationName(QStringLiteral("Gedit"), QStringLiteral("gedit"), 1), QStringLiteral("Gedit"));
    EXPECT_EQ(X11Workspace::applicationName({}, QStringLiteral("gedit"), 1), QStringLiteral("gedit"));
    EXPECT_EQ(X11Workspace::applicationName({}, {}, ::getpid()), QStringLiteral("x11_tests"));
    EXPECT_TRUE(X11Workspace::applicationName({}, {}, 0).isEmpty());
}

TEST_F(X11PortsTest, TrustAndScreenCaptureFollowTheDisplay)
{
    X11Accessibility accessibility(x11);
    EXPECT_EQ(accessibility.isProcessTrusted(true), x11.hasXTest());
    EXPECT_EQ(accessibility.focusedElement(), nullptr);
    LinuxPermissions permissions(x11);
    EXPECT_TRUE(permissions.screenCaptureGranted());
    X11Connection nowhere(":99999");
    EXPECT_FALSE(nowhere.isValid());
    EXPECT_FALSE(X11Accessibility(nowhere).isProcessTrusted(false));
    EXPECT_FALSE(LinuxPermissions(nowhere).screenCaptureGranted());
}

namespace {

// A GTK entry in its own process: AT-SPI calls into this process itself would wait on its own bus.
struct GtkField {
    explicit GtkField(const QString &text, bool readOnly = false)
    {
        QStringList args{QStringLiteral(ORVEL_GTK_TEXT_FIELD), text};
        if (readOnly)
            args << QStringLiteral("--read-only");
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"), args);
        ready = process.waitForStarted() && QTest::qWaitFor([&] { return process.canReadLine(); }, 20000) &&
                process.readLine().trimmed() == "ready";
    }
    ~GtkField()
    {
        process.kill();
        process.waitForFinished();
    }
    std::shared_ptr<AccessibleElement> element()
    {
        std::shared_ptr<AccessibleElement> found;
        (void)QTest::qWaitFor([&] { return bool(found = atSpiFocusedElement(process.processId())); }, 10000);
        return found;
    }
    // What the application itself last reported.
    QString shownText()
    {
        QTest::qWait(100);
        while (process.canReadLine()) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("text:"))
                last = QString::fromUtf8(line.mid(5));
        }
        return last;
    }

    QProcess process;
    bool ready = false;
    QString last;
};

} // namespace

TEST(AtSpiEditing, InsertsAtTheCaretAndReplacesRangesCountedInUtf16)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs the test session's bus";
    // The emoji is two UTF-16 units but one character to GTK.
    GtkField field(QStringLiteral("h\u00e9llo \U0001F600 end"));
    ASSERT_TRUE(field.ready);
    const auto element = field.element();
    ASSERT_TRUE(element);
    EXPECT_TRUE(element->insertText(QStringLiteral("!")));
    EXPECT_EQ(field.shownText(), QStringLiteral("h\u00e9llo \U0001F600 end!"));

    EXPECT_TRUE(element->replaceText(TextRange{9, 4}, QStringLiteral("fin")));
    EXPECT_EQ(field.shownText(), QStringLiteral("h\u00e9llo \U0001F600 fin"));
    EXPECT_TRUE(element->setSelectedTextRange(TextRange{0, 1}));
    EXPECT_TRUE(element->insertText(QStringLiteral("H")));
    EXPECT_EQ(element->value(), QStringLiteral("H\u00e9llo \U0001F600 fin"));

    EXPECT_FALSE(element->replaceText(TextRange{10, 10}, QStringLiteral("x"))) << "past the end";
    EXPECT_EQ(element->value(), QStringLiteral("H\u00e9llo \U0001F600 fin"));
}

TEST(AtSpiEditing, ReadOnlyFieldRefusesTheEdit)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs the test session's bus";
    GtkField field(QStringLiteral("fixed"), true);
    ASSERT_TRUE(field.ready);
    const auto element = field.element();
    ASSERT_TRUE(element);
    EXPECT_FALSE(element->insertText(QStringLiteral("more")));
    EXPECT_EQ(element->value(), QStringLiteral("fixed"));
}
