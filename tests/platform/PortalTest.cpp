// The portal clients against the stand-in portal on the test session's bus, for what the real
// one in the KWin session (PortalKWinTest) cannot show: the portal's final interface, where
// BindShortcuts binds (Plasma 6, GNOME 48), refusals, and the remote keyboard's restore token.
#include "platform/KeySynthesizer.h"
#include "platform/portal/PortalHotKeyBackend.h"
#include "platform/portal/PortalKeySynthesizer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Modifiers = HotKeyBackend::Modifiers;
constexpr uint16_t kSpace = 49, kK = 40, kEscape = 53;

class PortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "needs the test session's bus";
        portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Debian's own python3, where the D-Bus and GLib bindings are installed.
        portal.start(QStringLiteral(ORVEL_FAKE_PORTAL), {});
        ASSERT_TRUE(portal.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return portal.canReadLine() || portal.state() == QProcess::NotRunning; }, 20000));
        ASSERT_EQ(portal.readLine().trimmed(), "ready");
    }

    void TearDown() override
    {
        portal.terminate();
        if (!portal.waitForFinished(5000))
            portal.kill();
    }

    // The stand-in's control object: presses, refusals, what it was asked.
    static QDBusMessage control(const char *method, const QVariantList &arguments = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/orvelraza/TestPortal"),
            QStringLiteral("org.orvelraza.TestPortal"), QString::fromLatin1(method));
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call);
    }

    QJsonArray json(const char *method)
    {
        const QDBusMessage reply = control(method);
        return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array();
    }

    QList<QJsonObject> calls(const QString &method)
    {
        QList<QJsonObject> out;
        for (const auto &entry : json("Log"))
            if (entry.toObject().value(QStringLiteral("method")).toString().endsWith(method))
                out.append(entry.toObject());
        return out;
    }

    // Presses and releases arrive over the bus; waits until the handler saw `count` of them.
    void waitForEvents(size_t count) { (void)QTest::qWaitFor([&] { return events.size() >= count; }, 5000); }

    QProcess portal;
    std::vector<std::pair<uint32_t, bool>> events;
};

TEST_F(PortalTest, ShortcutsAreBoundOnceAndActivationsBecomePressAndRelease)
{
    ASSERT_TRUE(PortalHotKeyBackend::isAvailable());
    PortalHotKeyBackend backend;
    backend.setHandler([this](uint32_t id, bool pressed) { events.emplace_back(id, pressed); });
    QSignalSpy bound(&backend, &PortalHotKeyBackend::bindingFinished);

    // Start-up registers the shortcuts one by one: the desktop is asked once for all of them.
    EXPECT_TRUE(backend.registerHotKey(1, kSpace, Modifiers{.option = true}));
    EXPECT_TRUE(backend.registerHotKey(2, kSpace, Modifiers{.option = true, .control = true}));
    // The desktop would take a bare Esc from every application for as long as we run.
    EXPECT_FALSE(backend.registerHotKey(3, kEscape, {}));
    ASSERT_TRUE(bound.wait(5000));
    EXPECT_TRUE(bound.at(0).at(0).toBool());
    EXPECT_TRUE(backend.isBound());
    const auto creates = calls(QStringLiteral("GlobalShortcuts.CreateSession"));
    ASSERT_EQ(creates.size(), 1);
    // Offered in CreateSession too, for desktops that implement the portal's earlier draft.
    EXPECT_EQ(creates[0].value(QStringLiteral("options")).toObject().value(QStringLiteral("shortcuts")).toArray().size(), 2);
    const auto binds = calls(QStringLiteral("BindShortcuts"));
    ASSERT_EQ(binds.size(), 1);
    const QJsonArray shortcuts = binds[0].value(QStringLiteral("shortcuts")).toArray();
    ASSERT_EQ(shortcuts.size(), 2);
    EXPECT_EQ(shortcuts[0].toArray()[0].toString(), QStringLiteral("orvel-1"));
    EXPECT_EQ(shortcuts[0].toArray()[1].toObject().value(QStringLiteral("preferred_trigger")).toString(), "ALT+space");
    EXPECT_EQ(shortcuts[1].toArray()[1].toObject().value(QStringLiteral("preferred_trigger")).toString(),
              "CTRL+ALT+space");
    EXPECT_EQ(backend.desktopTrigger(2), QStringLiteral("Ctrl+Alt+space"));

    // Hold-to-talk with real keys is walked in the KWin session. An unregistered shortcut stays
    // bound but is ignored; registering it again asks nothing.
    backend.unregisterHotKey(1);
    control("Press", {QStringLiteral("orvel-1")});
    control("Release", {QStringLiteral("orvel-1")});
    QTest::qWait(200); // the signals arrive while it is unregistered
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(backend.registerHotKey(1, kSpace, Modifiers{.option = true}));
    control("Press", {QStringLiteral("orvel-1")});
    waitForEvents(1);
    EXPECT_EQ(events, (std::vector<std::pair<uint32_t, bool>>{{1u, true}}));
    QTest::qWait(100);
    EXPECT_EQ(calls(QStringLiteral("BindShortcuts")).size(), 1);

    // A changed combination: a new session with the new preference, the old one closed.
    events.clear();
    EXPECT_TRUE(backend.registerHotKey(2, kK, Modifiers{.command = true, .shift = true}));
    ASSERT_TRUE(bound.wait(5000));
    const auto rebinds = calls(QStringLiteral("BindShortcuts"));
    ASSERT_EQ(rebinds.size(), 2);
    EXPECT_EQ(rebinds[1].value(QStringLiteral("shortcuts")).toArray()[1].toArray()[1].toObject().value(
                  QStringLiteral("preferred_trigger")).toString(),
              "SHIFT+LOGO+k");
    EXPECT_EQ(calls(QStringLiteral("Session.Close")).size(), 1);
    // The press of orvel-1 from before the change is still released, from the new session.
    control("Release", {QStringLiteral("orvel-1")});
    waitForEvents(1);
    EXPECT_EQ(events, (std::vector<std::pair<uint32_t, bool>>{{1u, false}}));
}

TEST_F(PortalTest, RemoteKeyboardPostsTheChordAndKeepsTheRestoreToken)
{
    ASSERT_TRUE(PortalKeySynthesizer::isAvailable());
    QString stored;
    {
        PortalKeySynthesizer keys;
        keys.storeRestoreToken = [&stored](const QString &token) { stored = token; };
        QSignalSpy started(&keys, &PortalKeySynthesizer::sessionFinished);
        keys.postKey(KeySynthesizer::keyV, KeySynthesizer::commandFlag);
        ASSERT_TRUE(started.wait(5000));
        ASSERT_TRUE(keys.isStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return json("Keys").size() >= 4; }, 5000));
        const QJsonArray sent = json("Keys");
        const QJsonArray expected = QJsonDocument::fromJson("[[65507,1],[118,1],[118,0],[65507,0]]").array();
        EXPECT_EQ(sent, expected) << QJsonDocument(sent).toJson().toStdString();
        EXPECT_EQ(stored, QStringLiteral("restore-1"));
    }
    // The next start hands the token back, so the user is not asked again.
    PortalKeySynthesizer again;
    again.loadRestoreToken = [&stored] { return stored; };
    QSignalSpy started(&again, &PortalKeySynthesizer::sessionFinished);
    again.postKey(KeySynthesizer::keyV, KeySynthesizer::commandFlag | KeySynthesizer::shiftFlag);
    ASSERT_TRUE(started.wait(5000));
    const auto selects = calls(QStringLiteral("SelectDevices"));
    ASSERT_EQ(selects.size(), 2);
    EXPECT_FALSE(selects[0].value(QStringLiteral("options")).toObject().contains(QStringLiteral("restore_token")));
    const QJsonObject options = selects[1].value(QStringLiteral("options")).toObject();
    EXPECT_EQ(options.value(QStringLiteral("restore_token")).toString(), QStringLiteral("restore-1"));
    EXPECT_EQ(options.value(QStringLiteral("types")).toInt(), 1);
    EXPECT_EQ(options.value(QStringLiteral("persist_mode")).toInt(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return json("Keys").size() >= 10; }, 5000));
    // Ctrl+Shift+V, the terminal chord.
    EXPECT_EQ(json("Keys")[5], QJsonDocument::fromJson("[65505,1]").array());
}

TEST_F(PortalTest, RefusalsAreReportedAndBindOrTypeNothing)
{
    control("Refuse", {QStringLiteral("Start")});
    PortalKeySynthesizer keys;
    QSignalSpy finished(&keys, &PortalKeySynthesizer::sessionFinished);
    keys.postKey(KeySynthesizer::keyV, KeySynthesizer::commandFlag);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(keys.lastError().isEmpty());
    QTest::qWait(100);
    EXPECT_TRUE(json("Keys").isEmpty());

    control("Refuse", {QStringLiteral("CreateSession")});
    PortalHotKeyBackend backend;
    QSignalSpy bound(&backend, &PortalHotKeyBackend::bindingFinished);
    backend.registerHotKey(1, kSpace, Modifiers{.option = true});
    ASSERT_TRUE(bound.wait(5000));
    EXPECT_FALSE(bound.at(0).at(0).toBool());
    EXPECT_FALSE(backend.isBound());
    EXPECT_FALSE(backend.lastError().isEmpty());
    // Shown to the user as not bound, not as the key asked for.
    EXPECT_EQ(backend.desktopTrigger(1), QString());
    EXPECT_TRUE(calls(QStringLiteral("BindShortcuts")).isEmpty());
}

} // namespace
