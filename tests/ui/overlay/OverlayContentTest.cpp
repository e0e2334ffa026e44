#include "ui/overlay/OverlayContent.h"
#include "ui/overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

namespace {

OverlayContent with(CaptureStatus status)
{
    OverlayContent c;
    c.status = std::move(status);
    c.cancelShortcutName = QStringLiteral("Esc");
    return c;
}

} // namespace

TEST(OverlayContentTest, TextsSayWhatHappened)
{
    OverlayContent c = with(CaptureStatus::recording());
    c.targetApplicationName = QStringLiteral("Editor");
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Into Editor"));
    // Without automatic paste nothing was inserted, and the card must not say so.
    c = with(CaptureStatus::success(QStringLiteral("hi")));
    c.automaticPaste = false;
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Copied to clipboard"));
    c = with(CaptureStatus::error(QStringLiteral("Microphone access is required.")));
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Microphone access is required."));
    EXPECT_EQ(c.trailing(), OverlayContent::Trailing::exclamationmark);
    // Parakeet's progress is an estimate.
    c = with(CaptureStatus::processing());
    c.transcriptionProgress = 0.416;
    c.selectedModel = SpeechModel::withID(QStringLiteral("velocity"));
    EXPECT_EQ(c.progressLabel(), QStringLiteral("~42%"));
    c.selectedModel = SpeechModel::withID(QStringLiteral("pocket"));
    EXPECT_EQ(c.progressLabel(), QStringLiteral("42%"));
    // The idle card tells the Linux fact, not the macOS one.
    EXPECT_EQ(with(CaptureStatus::idle()).secondaryLabel(), QStringLiteral("Your voice stays on this computer"));
}

TEST(OverlayContentTest, BarsShowLevelsNewestAtTheRightAndStillShapesOtherwise)
{
    OverlayContent c = with(CaptureStatus::recording());
    for (int i = 0; i < 20; ++i)
        c.samples << 0.05 * (i + 1); // oldest 0.05 … newest 1.0
    EXPECT_DOUBLE_EQ(c.barHeight(18, 19, 35, 0), 35.0);
    EXPECT_DOUBLE_EQ(c.barHeight(0, 19, 35, 0), (35 - 1.5) * 0.1 + 1.5);
    c.samples = {0.5};
    EXPECT_DOUBLE_EQ(c.barHeight(10, 19, 35, 0), (35 - 1.5) * 0.5 + 1.5) << "few samples repeat the newest";

    c = with(CaptureStatus::processing());
    EXPECT_NE(c.barHeight(3, 19, 35, 0), c.barHeight(3, 19, 35, 0.5)) << "the wave travels";
    EXPECT_LE(c.barHeight(3, 19, 35, 0.5), 35 * 0.82 + 1.5);

    c = with(CaptureStatus::success({}));
    EXPECT_DOUBLE_EQ(c.barHeight(9, 19, 35, 0), 35.0);
    EXPECT_LT(c.barHeight(0, 19, 35, 0), c.barHeight(5, 19, 35, 0));
    EXPECT_EQ(c.barHeight(0, 19, 35, 7), c.barHeight(0, 19, 35, 0)) << "the bell stands still";

    EXPECT_FALSE(with(CaptureStatus::error(QStringLiteral("x"))).isAnimated());
}

TEST(OverlayContentTest, CommandCardTakesOverOnlyWhileDictationIsIdle)
{
    OverlayContent c = with(CaptureStatus::idle());
    c.agentPhase = AgentPhase::listening;
    EXPECT_EQ(c.layout(), OverlayContent::Layout::agentListening);
    c.agentPhase = AgentPhase::generating;
    c.agentProgress = 0.333;
    EXPECT_EQ(c.layout(), OverlayContent::Layout::agentCompact);
    EXPECT_EQ(c.agentProgressLabel(), QStringLiteral("~33%"));
    EXPECT_TRUE(c.isAnimated());
    c.agentPhase = AgentPhase::completed;
    EXPECT_EQ(c.agentProgressLabel(), QStringLiteral("100%"));
    EXPECT_FALSE(c.isAnimated());
    c.agentPhase = AgentPhase::cancelled;
    EXPECT_EQ(c.agentProgressLabel(), std::nullopt);
    c.status = CaptureStatus::recording();
    EXPECT_EQ(c.layout(), OverlayContent::Layout::classic);
}

TEST(OverlayContentTest, AppearanceForcesOrFollowsTheSystem)
{
    OverlayContent c;
    c.systemIsDark = true;
    EXPECT_TRUE(c.usesDarkAppearance());
    c.overlayAppearance = OverlayAppearance::light;
    EXPECT_FALSE(c.usesDarkAppearance());
    c.overlayAppearance = OverlayAppearance::dark;
    c.systemIsDark = false;
    EXPECT_TRUE(c.usesDarkAppearance());
}

TEST(OverlayGeometryTest, PlacementRules)
{
    using namespace OverlayGeometry;
    const QList<Screen> screens{{QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)},
                                {QRectF(1440, 0, 1440, 900), QRectF(1440, 0, 1440, 900)}};
    // Straddling both equally: the earlier screen wins. The controller tests walk the rest.
    EXPECT_EQ(bestScreen(QRectF(1340, 100, 200, 50), screens), 0);
    EXPECT_EQ(bestScreen(QRectF(5000, 100, 200, 50), screens), std::nullopt);

    const QRectF visible(0, 25, 1440, 875);
    EXPECT_EQ(constrainedOrigin(QRectF(-40, -40, 318, 64), visible), QPointF(0, 25));
    EXPECT_EQ(constrainedOrigin(QRectF(10, 300, 2000, 64), visible), QPointF(720 - 1000, 300)) << "too wide: centred";

    // The saved origin is the bottom-left corner measured up from the main screen's bottom.
    const QRectF main(0, 0, 1440, 900);
    EXPECT_EQ(savedOriginConversion(savedOriginConversion(QPointF(100, 800), 64, main), 64, main), QPointF(100, 800));
    EXPECT_EQ(resizedKeepingCentreAndBottom(QRectF(100, 100, 318, 64), QSizeF(232, 48)), QRectF(143, 116, 232, 48));
}
