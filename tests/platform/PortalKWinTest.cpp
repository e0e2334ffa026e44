// The portal clients against the real xdg-desktop-portal and its KDE backend in a private KWin
// session: what Plasma really binds, real key presses as Activated/Deactivated, and the remote
// keyboard typing into a native GTK field.
#include "KWinDriver.h"
#include "platform/KeySynthesizer.h"
#include "platform/portal/PortalHotKeyBackend.h"
#include "platform/portal/PortalKeySynthesizer.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Modifiers = HotKeyBackend::Modifiers;
constexpr uint16_t kSpace = 49;

class PortalKWinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto why = KWinDriver::unavailable())
            GTEST_SKIP() << why->toStdString();
        ASSERT_TRUE(driver.start());
    }

    KWinDriver driver;
};

TEST_F(PortalKWinTest, PlasmaBindsWhatItSaysAndRealKeysPressAndRelease)
{
    ASSERT_TRUE(PortalHotKeyBackend::isAvailable());
    PortalHotKeyBackend backend;
    std::vector<std::pair<uint32_t, bool>> events;
    backend.setHandler([&events](uint32_t id, bool pressed) { events.emplace_back(id, pressed); });
    QSignalSpy bound(&backend, &PortalHotKeyBackend::bindingFinished);
    EXPECT_TRUE(backend.registerHotKey(1, kSpace, Modifiers{.option = true}));
    EXPECT_TRUE(backend.registerHotKey(2, kSpace, Modifiers{.option = true, .control = true}));
    EXPECT_TRUE(backend.registerHotKey(4, kSpace, Modifiers{.option = true, .shift = true}));
    EXPECT_FALSE(backend.desktopTrigger(2)) << "known before the desktop answered";
    ASSERT_TRUE(bound.wait(15000));
    ASSERT_TRUE(bound.at(0).at(0).toBool()) << backend.lastError().toStdString();

    // Plasma 5.27 binds only what CreateSession offered; the backend reports what kglobalaccel
    // really gave each shortcut. Where KRunner is installed it holds Alt+Space, and the toggle
    // shortcut then has no key (Plasma's own answer still names Alt+Space).
    const auto keys = KWinDriver::boundKeys();
    ASSERT_FALSE(keys.empty()) << "kglobalaccel has no shortcuts of ours";
    EXPECT_EQ(keys.at(QStringLiteral("orvel-2")), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(keys.at(QStringLiteral("orvel-4")), QStringLiteral("Alt+Shift+Space"));
    for (uint32_t id : {1u, 2u, 4u})
        EXPECT_EQ(backend.desktopTrigger(id), keys.at(PortalHotKeyBackend::shortcutId(id))) << id;

    // Hold-to-talk with the real keys: a press while held, its release when let go.
    ASSERT_TRUE(driver.keys(QStringLiteral("down"), QStringLiteral("Ctrl+Alt+Space")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 5000));
    EXPECT_EQ(events, (std::vector<std::pair<uint32_t, bool>>{{2u, true}}));
    ASSERT_TRUE(driver.keys(QStringLiteral("up"), QStringLiteral("Ctrl+Alt+Space")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 2; }, 5000));
    EXPECT_EQ(events.back(), (std::pair<uint32_t, bool>{2u, false}));
}

TEST_F(PortalKWinTest, RemoteKeyboardTypesIntoTheFocusedGtkField)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("field.txt"));
    QProcess editor;
    editor.setProcessChannelMode(QProcess::ForwardedChannels);
    editor.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ORVEL_GTK_TARGET), out, QStringLiteral("x")});
    ASSERT_TRUE(editor.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return driver.activate(editor.processId()); }, 10000));

    PortalKeySynthesizer keys;
    QSignalSpy started(&keys, &PortalKeySynthesizer::sessionFinished);
    keys.postKey(KeySynthesizer::keyV, 0);
    ASSERT_TRUE(started.wait(10000));
    EXPECT_TRUE(started.at(0).at(0).toBool()) << keys.lastError().toStdString();
    const auto text = [&] {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return text() == QStringLiteral("xv"); }, 5000)) << text().toStdString();
    editor.terminate();
    editor.waitForFinished(5000);
}

} // namespace
