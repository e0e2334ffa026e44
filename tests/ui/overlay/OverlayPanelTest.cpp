#include "OverlayFixture.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
QRectF mainAvailable() { return QRectF(QGuiApplication::primaryScreen()->availableGeometry()); }
QRectF mainGeometry() { return QRectF(QGuiApplication::primaryScreen()->geometry()); }
} // namespace

TEST_F(OverlayTest, FollowsTheDictationRunAndStopsAnimatingWhenStillOrHidden)
{
    state->toggleRecording();
    ASSERT_TRUE(panel().isVisible());
    EXPECT_TRUE(controller->isAnimating());

    // The waveform picks up the recorder's levels on the next frame.
    samples = {0.2, 0.9};
    scheduler.advance(OverlayPanelController::frameInterval);
    EXPECT_EQ(panel().content().samples, samples);

    state->toggleRecording();
    EXPECT_TRUE(controller->isAnimating());
    runner.finish(QStringLiteral("hello"));
    drain();
    EXPECT_TRUE(panel().isVisible());
    EXPECT_FALSE(controller->isAnimating()) << "a still card needs no frames";

    scheduler.advance(2);
    EXPECT_FALSE(panel().isVisible());
    const int timers = scheduler.activeCount();
    state->setOverlaySize(OverlaySize::mini); // hidden: nothing redraws, nothing is scheduled
    EXPECT_EQ(scheduler.activeCount(), timers);

    // A permission problem shows, and a tap on the card opens the settings.
    permissions.microphone = false;
    state->toggleRecording();
    ASSERT_TRUE(panel().isVisible());
    QTest::mouseClick(&panel(), Qt::LeftButton, {}, QPoint(40, 20));
    EXPECT_EQ(mainWindow.raises, 1);
    EXPECT_EQ(state->selectedSection(), AppSection::settings);
    EXPECT_FALSE(panel().isVisible());
}

TEST_F(OverlayTest, SizeFollowsTheLayoutAroundTheSameCentreAndBottom)
{
    forward.show();
    const QRect classic = panel().geometry();
    // Already visible: the phase change alone resizes the card.
    state->setAgentPhase(AgentPhase::generating);
    EXPECT_EQ(panel().size(), overlayPanelSize(panel().content()).toSize());
    EXPECT_NE(panel().size(), classic.size());
    EXPECT_EQ(panel().geometry().center().x(), classic.center().x());
    EXPECT_EQ(panel().geometry().bottom(), classic.bottom());

    forward.hide();
    state->setAgentPhase(AgentPhase::idle);
    state->setOverlaySize(OverlaySize::mini);
    forward.show();
    EXPECT_EQ(panel().size(), overlayPanelSize(panel().content()).toSize());
    EXPECT_EQ(panel().geometry().bottom(), classic.bottom());
}

TEST_F(OverlayTest, ADroppedPlaceSurvivesARestartAndAnUnreachableOneIsCorrected)
{
    // The first show writes both keys of the default place.
    ASSERT_FALSE(store->contains(OverlayPanelController::originXKey));
    forward.show();
    settle();
    EXPECT_NEAR(QRectF(panel().geometry()).center().x(), mainAvailable().center().x(), 1);
    EXPECT_TRUE(store->contains(OverlayPanelController::originXKey) && store->contains(OverlayPanelController::originYKey));
    panel().move(120, 240); // what a drag does
    settle();
    EXPECT_EQ(savedOrigin(), QPointF(120, mainGeometry().height() - 240 - 64));
    forward.hide();
    makeController();
    forward.show();
    settle();
    EXPECT_EQ(panel().pos(), QPoint(120, 240));

    forward.hide();
    // Partly off the screen: pulled inside; entirely off it: the default place.
    store->setValue(OverlayPanelController::originXKey, mainAvailable().left() + mainAvailable().width() - 100);
    forward.show();
    settle();
    const double rightEdge = mainAvailable().left() + mainAvailable().width();
    EXPECT_EQ(panel().geometry().right() + 1, int(rightEdge));
    EXPECT_EQ(savedOrigin().x(), rightEdge - 318);
    forward.hide();
    store->setValue(OverlayPanelController::originXKey, 5000.0);
    forward.show();
    settle();
    EXPECT_NEAR(QRectF(panel().geometry()).center().x(), mainAvailable().center().x(), 1);

    // Half a position is no position.
    forward.hide();
    store->setValue(OverlayPanelController::originXKey, 120.0);
    store->remove(OverlayPanelController::originYKey);
    forward.show();
    settle();
    EXPECT_NEAR(QRectF(panel().geometry()).center().x(), mainAvailable().center().x(), 1);
}

TEST_F(OverlayTest, ScreensGoingAwayBringThePanelBack)
{
    // Two side-by-side displays, then the right one unplugged. The panel stays hidden so no
    // window manager weighs in on where a window may go.
    const OverlayGeometry::Screen left{QRectF(0, 0, 1600, 1000), QRectF(0, 0, 1600, 960)};
    const OverlayGeometry::Screen right{QRectF(1600, 0, 1280, 800), QRectF(1600, 0, 1280, 800)};
    QList<OverlayGeometry::Screen> screens{left, right};
    controller->setScreenSource([&screens] { return screens; });

    store->setValue(OverlayPanelController::originXKey, 2000.0);
    store->setValue(OverlayPanelController::originYKey, 500.0);
    controller->restorePositionOrUseDefault();
    EXPECT_EQ(panel().pos(), QPoint(2000, 1000 - 500 - 64));

    screens = {left};
    controller->screenParametersDidChange();
    EXPECT_EQ(panel().pos(), QPoint(800 - 159, 960 - 72 - 64)) << "no overlap left: the default place";
    EXPECT_EQ(savedOrigin(), QPointF(800 - 159, 1000 - (960 - 72)));

    // Overlapping the remaining screen in part: pulled inside it.
    screens = {left, right};
    store->setValue(OverlayPanelController::originXKey, 1500.0);
    controller->restorePositionOrUseDefault();
    screens = {left};
    controller->screenParametersDidChange();
    EXPECT_EQ(panel().pos().x(), 1600 - 318);

    // No screen at all: the panel keeps its place.
    const QPoint before = panel().pos();
    screens = {};
    controller->setDefaultPosition();
    EXPECT_EQ(panel().pos(), before);
}
