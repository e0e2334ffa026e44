// The overlay and the result card on KWin's layer shell, in a real Wayland session: with another
// window active, showing, clicking and dragging them leave that window active; a click on the
// card's button reaches the button; the compositor shows what the widgets paint, where they are.
#include "../overlay/OverlayFixture.h"
#include "FakeAgent.h"
#include "KWinSession.h"

#include "platform/wayland/LayerShellPanelHints.h"
#include "ui/command/AgentResultPanelController.h"
#include "ui/command/AgentResultToast.h"

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>

namespace {

const QString kTarget = QStringLiteral("Orvel Layer Target");

class LayerShellTest : public OverlayTest {
protected:
    LayerShellTest() { agentRuntime = &runtime; }
    void SetUp() override
    {
        layers = LayerShellPanelHints::open();
        if (!layers)
            GTEST_SKIP() << "no Wayland compositor with a layer shell";
        panelHints = layers.get();
        OverlayTest::SetUp();
        results = std::make_unique<AgentResultPanelController>(*state, scheduler, layers.get());
    }
    void TearDown() override
    {
        results.reset();
        OverlayTest::TearDown();
    }

    bool targetIsActive() { return kwin.activeWindow().startsWith(kTarget); }

    void click(const QPointF &at)
    {
        pointer.moveTo(at);
        pointer.press();
        pointer.release();
        settle(200);
    }

    // The card's own fill where the screenshot shows the panel.
    static bool showsCard(const QImage &shot, const QPoint &at, bool dark)
    {
        const QColor c = shot.pixelColor(at);
        return dark ? c.lightness() < 30 : c.lightness() > 235;
    }

    // Dark and light, the compositor shows the panel's fill at `inside` and, for the overlay, not
    // just outside its top-left corner. Pictures where ORVEL_LAYER_SHOTS names a folder.
    void expectPainted(const QWidget &panel, QPoint inside, const QString &name, bool checkOutside)
    {
        for (const bool dark : {true, false}) {
            state->setOverlayAppearance(dark ? OverlayAppearance::dark : OverlayAppearance::light);
            settle(300);
            const QImage shot = KWinScripts::screenshot();
            ASSERT_FALSE(shot.isNull());
            EXPECT_TRUE(showsCard(shot, panel.geometry().topLeft() + inside, dark)) << name.toStdString();
            if (checkOutside) {
                EXPECT_FALSE(showsCard(shot, panel.geometry().topLeft() - QPoint(6, 6), dark)) << "reaches past its place";
            }
            if (const QString dir = qEnvironmentVariable("ORVEL_LAYER_SHOTS"); !dir.isEmpty())
                shot.save(QDir(dir).filePath(name + (dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png"))));
        }
    }

    FakeAgentRuntime runtime;
    std::unique_ptr<LayerShellPanelHints> layers;
    std::unique_ptr<AgentResultPanelController> results;
    KWinScripts kwin;
    FakePointer pointer;
};

} // namespace

TEST_F(LayerShellTest, PanelsLeaveTheTargetActiveAndTakeThePointer)
{
    ASSERT_TRUE(pointer.isValid()) << "KWin offers no fake input (KWIN_WAYLAND_NO_PERMISSION_CHECKS=1?)";
    // A grey target behind the panels, so the card's own fill stands out in the screenshots.
    QWidget target;
    target.setWindowTitle(kTarget);
    target.setStyleSheet(QStringLiteral("background: #808080;"));
    target.resize(1600, 1000);
    target.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return targetIsActive(); }, 10000)) << qPrintable(kwin.activeWindow());

    QSignalSpy taps(&panel(), &OverlayPanel::tapped);
    forward.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return layers->isPresented(panel()); }, 5000));
    settle(300);
    EXPECT_TRUE(targetIsActive()) << "showing the overlay took the focus: " << qPrintable(kwin.activeWindow());
    EXPECT_TRUE(target.isActiveWindow());

    // Placed and painted as the widget says.
    const QRect frame = panel().geometry();
    expectPainted(panel(), QPoint(frame.width() / 2, 8), QStringLiteral("overlay"), true);

    // A tap and a drag through the compositor's own pointer.
    click(QPointF(frame.center()));
    EXPECT_EQ(taps.count(), 1);
    const QPoint start = panel().pos();
    pointer.moveTo(QPointF(frame.center()));
    pointer.press();
    for (int step = 1; step <= 4; ++step)
        pointer.moveTo(QPointF(frame.center() + QPoint(15 * step, -10 * step)));
    pointer.release();
    settle(300);
    EXPECT_EQ(panel().pos(), start + QPoint(60, -40));
    EXPECT_EQ(savedOrigin().x(), start.x() + 60);
    EXPECT_EQ(taps.count(), 1) << "a drag is no tap";
    const QImage moved = KWinScripts::screenshot();
    EXPECT_TRUE(showsCard(moved, panel().geometry().topLeft() + QPoint(panel().width() / 2, 8), false))
        << "the surface did not follow the drag";
    EXPECT_TRUE(targetIsActive()) << "clicking the overlay took the focus: " << qPrintable(kwin.activeWindow());

    // The result card; its Dismiss button, clicked for real, hides it.
    results->showResult();
    AgentResultToast &card = *results->resultPanel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return layers->isPresented(card); }, 5000));
    settle(300);
    EXPECT_TRUE(targetIsActive()) << "showing the card took the focus: " << qPrintable(kwin.activeWindow());
    expectPainted(card, QPoint(card.width() / 2, 10), QStringLiteral("card"), false);
    QSignalSpy dismissed(card.dismissButton(), &QPushButton::clicked);
    click(QPointF(card.pos() + card.dismissButton()->mapTo(&card, card.dismissButton()->rect().center())));
    EXPECT_EQ(dismissed.count(), 1);
    EXPECT_FALSE(card.isVisible());
    EXPECT_TRUE(targetIsActive()) << "clicking the card took the focus: " << qPrintable(kwin.activeWindow());
    EXPECT_TRUE(target.isActiveWindow()) << "the target lost the keyboard";
}
