// The four onboarding pages and the first model download against the stand-in model host.
#include "FakeModelHost.h"
#include "WindowFixture.h"
#include "components/Components.h"
#include "window/OnboardingModelCard.h"
#include "window/OnboardingView.h"

#include <QLabel>
#include <QTest>

namespace {

// The speech catalog reads the host once, so it is set before any test touches the catalog.
FakeModelHost *g_host = nullptr;

class HostEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_host = new FakeModelHost;
        ASSERT_TRUE(g_host->listen());
        qputenv("ORVEL_MODEL_HOST", g_host->baseUrl().toUtf8());
    }
    void TearDown() override
    {
        delete g_host;
        g_host = nullptr;
    }
};
const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new HostEnvironment);

bool waitUntil(const std::function<bool()> &condition) { return QTest::qWaitFor(condition, 10000); }

OnboardingModelCard *card(const OnboardingView &view, const QString &id)
{
    for (OnboardingModelCard *c : view.modelCards())
        if (c->model().id == id)
            return c;
    return nullptr;
}

} // namespace

using OnboardingTest = WindowTest;

TEST_F(OnboardingTest, StepsGoInOrderAndPermissionPagesAskAndThenSayReady)
{
    permissions.microphone = false;
    permissions.grantOnRequest = true;
    accessibility.trusted = false;
    state->refreshPermissions();
    OnboardingView view(context);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_FALSE(view.backButton()->isVisible());
    QTest::mouseClick(view.continueButton(), Qt::LeftButton);
    ASSERT_EQ(view.step(), 1);
    EXPECT_TRUE(view.permissionButton(1)->isVisible());
    EXPECT_FALSE(view.permissionReady(1)->isVisible());
    // This desktop has nothing to grant: the button looks for an audio input again.
    EXPECT_EQ(view.permissionButton(1)->text(), QStringLiteral("Look for a microphone"));
    QTest::mouseClick(view.permissionButton(1), Qt::LeftButton);
    QTest::qWait(0);
    EXPECT_TRUE(state->microphoneGranted());
    EXPECT_FALSE(view.permissionButton(1)->isVisible());
    EXPECT_TRUE(view.permissionReady(1)->isVisible());

    QTest::mouseClick(view.continueButton(), Qt::LeftButton);
    ASSERT_EQ(view.step(), 2);
    QTest::mouseClick(view.permissionButton(2), Qt::LeftButton);
    EXPECT_GE(accessibility.prompts, 1);
    EXPECT_TRUE(view.permissionButton(2)->isVisible()); // still not available
    accessibility.trusted = true;
    state->refreshPermissions();
    EXPECT_TRUE(view.permissionReady(2)->isVisible());

    // The models page finishes with its own button.
    QTest::mouseClick(view.continueButton(), Qt::LeftButton);
    EXPECT_EQ(view.step(), 3);
    EXPECT_FALSE(view.continueButton()->isVisible());
    EXPECT_TRUE(view.finishButton()->isVisible());
    QTest::mouseClick(view.backButton(), Qt::LeftButton);
    EXPECT_EQ(view.step(), 2);
    // Enter continues, from the keyboard alone.
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(view.step(), 3);
    EXPECT_FALSE(state->onboardingComplete());
}

TEST_F(OnboardingTest, OnlyAKnownChoiceFinishesAndOtherModelsDownloadFirst)
{
    OnboardingView view(context);
    view.setStep(3);
    // A choice the catalog no longer has names no model and cannot finish.
    view.setChosenModelID(QStringLiteral("retired"));
    EXPECT_FALSE(view.canFinish());
    view.finishOrDownload();
    EXPECT_FALSE(state->onboardingComplete());

    EXPECT_FALSE(card(view, QStringLiteral("swift"))->isVisibleTo(&view));
    view.setShowsMoreModels(true);
    EXPECT_TRUE(card(view, QStringLiteral("swift"))->isVisibleTo(&view));

    const SpeechModel velocity = *SpeechModel::withID(QStringLiteral("velocity"));
    QTest::mouseClick(card(view, velocity.id), Qt::LeftButton);
    EXPECT_EQ(view.chosenModelID(), velocity.id);
    EXPECT_TRUE(card(view, velocity.id)->chosen());
    EXPECT_FALSE(card(view, QStringLiteral("pocket"))->chosen());

    // A failed download says why and leaves everything as it was.
    g_host->route(velocity.url.path(), {404, "missing", true, -1, -1, {}, 16384});
    QTest::mouseClick(view.finishButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view.downloadError().has_value(); }));
    EXPECT_TRUE(view.downloadError()->contains(QStringLiteral("404")));
    EXPECT_FALSE(state->onboardingComplete());
    EXPECT_EQ(state->selectedModelID(), QStringLiteral("pocket"));

    // Pressing again downloads, shows progress on the card, and finishes with Velocity.
    FakeModelHost::Route ok;
    ok.body = QByteArray(200000, 'v');
    ok.holdAt = 100000;
    g_host->route(velocity.url.path(), ok);
    QTest::mouseClick(view.finishButton(), Qt::LeftButton);
    EXPECT_FALSE(view.downloadError().has_value());
    ASSERT_TRUE(waitUntil([&] { return g_host->holdingCount() > 0 && card(view, velocity.id)->stateText().endsWith('%'); }));
    EXPECT_FALSE(view.finishButton()->isEnabled());
    EXPECT_FALSE(state->onboardingComplete());
    g_host->release();
    ASSERT_TRUE(waitUntil([&] { return state->onboardingComplete(); }));
    EXPECT_EQ(state->selectedModelID(), velocity.id);
    EXPECT_EQ(state->selectedSection(), AppSection::home);
    EXPECT_TRUE(ModelStore::isInstalled(velocity));
}
