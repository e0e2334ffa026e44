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

TEST(OverlayContentTest, DictationTextsFollowTheStatus)
{
    OverlayContent c = with(CaptureStatus::recording());
    EXPECT_EQ(c.title(), QStringLiteral("Listening"));
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Esc to cancel"));
    c.targetApplicationName = QStringLiteral("Editor");
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Into Editor"));
    EXPECT_EQ(c.miniStatusIcon(), QStringLiteral("circle.fill"));

    c = with(CaptureStatus::processing());
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("On-device model"));
    c.selectedModel = SpeechModel::withID(QStringLiteral("pocket"));
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Pocket · OpenAI"));
    EXPECT_EQ(c.trailing(), OverlayContent::Trailing::progress);

    c = with(CaptureStatus::success(QStringLiteral("hi")));
    EXPECT_EQ(c.title(), QStringLiteral("Pasted"));
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Copied and inserted"));
    c.automaticPaste = false;
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Copied to clipboard"));

    c = with(CaptureStatus::error(QStringLiteral("Microphone access is required.")));
    EXPECT_EQ(c.title(), QStringLiteral("Needs attention"));
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Microphone access is required."));
    EXPECT_EQ(c.trailing(), OverlayContent::Trailing::exclamationmark);

    // The idle card tells the Linux fact, not the macOS one.
    EXPECT_EQ(with(CaptureStatus::idle()).secondaryLabel(), QStringLiteral("Your voice stays on this computer"));
}

TEST(OverlayContentTest, ProgressIsApproximateOnlyForParakeet)
{
    OverlayContent c = with(CaptureStatus::processing());
    c.transcriptionProgress = 0.416;
    c.selectedModel = SpeechModel::withID(QStringLiteral("velocity"));
    ASSERT_TRUE(c.selectedModel);
    EXPECT_EQ(c.progressLabel(), QStringLiteral("~42%"));
    c.selectedModel = SpeechModel::withID(QStringLiteral("pocket"));
    EXPECT_EQ(c.progressLabel(), QStringLiteral("42%"));
}

TEST(OverlayContentTest, BarsShowLevelsNewestAtTheRightAndStillShapesOtherwise)
{
    OverlayContent c = with(CaptureStatus::recording());
    for (int i = 0; i < 19; ++i)
        EXPECT_DOUBLE_EQ(c.barHeight(i, 19, 35, 0), (35 - 1.5) * 0.015 + 1.5);

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

    c = with(CaptureStatus::error(QStringLiteral("x")));
    EXPECT_EQ(c.barHeight(3, 19, 35, 0), 7.0);
    EXPECT_EQ(c.barHeight(4, 19, 35, 0), 2.5);
    EXPECT_FALSE(c.isAnimated());
}

TEST(OverlayContentTest, CommandCardTakesOverOnlyWhileDictationIsIdle)
{
    OverlayContent c = with(CaptureStatus::idle());
    c.agentPhase = AgentPhase::listening;
    c.agentPhaseDetail = QStringLiteral("Into Editor");
    EXPECT_EQ(c.layout(), OverlayContent::Layout::agentListening);
    EXPECT_EQ(c.title(), QStringLiteral("Command listening"));
    EXPECT_EQ(overlayPanelSize(c), QSizeF(318, 64));

    c.agentPhase = AgentPhase::generating;
    c.agentProgress = 0.333;
    EXPECT_EQ(c.layout(), OverlayContent::Layout::agentCompact);
    EXPECT_EQ(overlayPanelSize(c), QSizeF(232, 48));
    EXPECT_EQ(c.title(), QStringLiteral("Writing"));
    EXPECT_EQ(c.agentDetail(), QStringLiteral("Local model"));
    EXPECT_EQ(c.agentProgressLabel(), QStringLiteral("~33%"));
    EXPECT_TRUE(c.agentPhaseIcon().isEmpty()) << "a spinner turns while writing";
    EXPECT_TRUE(c.isAnimated());

    c.agentPhase = AgentPhase::completed;
    EXPECT_EQ(c.agentProgressLabel(), QStringLiteral("100%"));
    EXPECT_EQ(c.agentPhaseIcon(), QStringLiteral("checkmark"));
    EXPECT_FALSE(c.isAnimated());
    c.agentPhase = AgentPhase::cancelled;
    EXPECT_EQ(c.agentProgressLabel(), std::nullopt);

    c.status = CaptureStatus::recording();
    EXPECT_EQ(c.layout(), OverlayContent::Layout::classic);
    c.overlaySize = OverlaySize::mini;
    EXPECT_EQ(overlayPanelSize(c), QSizeF(160, 44));
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
    // Straddling both equally: the earlier screen wins; nothing overlapped: none.
    EXPECT_EQ(bestScreen(QRectF(1340, 100, 200, 50), screens), 0);
    EXPECT_EQ(bestScreen(QRectF(1400, 100, 200, 50), screens), 1);
    EXPECT_EQ(bestScreen(QRectF(5000, 100, 200, 50), screens), std::nullopt);
    EXPECT_EQ(bestScreen(QRectF(0, 0, 10, 10), {}), std::nullopt);

    const QRectF visible(0, 25, 1440, 875);
    EXPECT_EQ(constrainedOrigin(QRectF(5000, 300, 318, 64), visible), QPointF(1440 - 318, 300));
    EXPECT_EQ(constrainedOrigin(QRectF(-40, -40, 318, 64), visible), QPointF(0, 25));
    EXPECT_EQ(constrainedOrigin(QRectF(10, 300, 2000, 64), visible), QPointF(720 - 1000, 300)) << "too wide: centred";

    // The saved origin is the bottom-left corner measured up from the main screen's bottom.
    const QRectF main(0, 0, 1440, 900);
    EXPECT_EQ(savedOriginConversion(QPointF(100, 800), 64, main), QPointF(100, 36));
    EXPECT_EQ(savedOriginConversion(savedOriginConversion(QPointF(100, 800), 64, main), 64, main), QPointF(100, 800));
    EXPECT_EQ(defaultOrigin(QSizeF(318, 64), visible), QPointF(720 - 159, 900 - 72 - 64));
    EXPECT_EQ(resizedKeepingCentreAndBottom(QRectF(100, 100, 318, 64), QSizeF(232, 48)), QRectF(143, 116, 232, 48));
}
