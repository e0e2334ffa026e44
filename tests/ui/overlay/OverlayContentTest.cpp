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
    // Without automatic paste nothing was inserted, and the card must not say so.
    OverlayContent c = with(CaptureStatus::success(QStringLiteral("hi")));
    c.automaticPaste = false;
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("Copied to clipboard"));
    // Delivery that found no way in is not a success the user can trust.
    c = with(CaptureStatus::needingPaste(QStringLiteral("hi")));
    c.automaticPaste = true;
    EXPECT_EQ(c.title(), QStringLiteral("Needs paste"));
    EXPECT_EQ(c.secondaryLabel(), QStringLiteral("On the clipboard · press Ctrl+V"));
    // Parakeet's progress is an estimate.
    c = with(CaptureStatus::processing());
    c.transcriptionProgress = 0.416;
    c.selectedModel = SpeechModel::withID(QStringLiteral("velocity"));
    EXPECT_EQ(c.progressLabel(), QStringLiteral("~42%"));
    c.selectedModel = SpeechModel::withID(QStringLiteral("pocket"));
    EXPECT_EQ(c.progressLabel(), QStringLiteral("42%"));
    // A cancel key the desktop refused is not offered.
    EXPECT_EQ(with(CaptureStatus::recording()).secondaryLabel(), QStringLiteral("Esc to cancel"));
    c = with(CaptureStatus::recording());
    c.cancelShortcutName.clear();
    EXPECT_TRUE(c.secondaryLabel().isEmpty());
    // The idle card tells the Linux fact, not the macOS one.
    EXPECT_EQ(with(CaptureStatus::idle()).secondaryLabel(), QStringLiteral("Your voice stays on this computer"));
}

TEST(OverlayContentTest, BarsShowLevelsNewestAtTheRight)
{
    OverlayContent c = with(CaptureStatus::recording());
    for (int i = 0; i < 20; ++i)
        c.samples << 0.05 * (i + 1); // oldest 0.05 … newest 1.0
    EXPECT_DOUBLE_EQ(c.barHeight(18, 19, 35, 0), 35.0);
    EXPECT_DOUBLE_EQ(c.barHeight(0, 19, 35, 0), (35 - 1.5) * 0.1 + 1.5);
    c.samples = {0.5};
    EXPECT_DOUBLE_EQ(c.barHeight(10, 19, 35, 0), (35 - 1.5) * 0.5 + 1.5) << "few samples repeat the newest";
    EXPECT_FALSE(with(CaptureStatus::error(QStringLiteral("x"))).isAnimated());
}

TEST(OverlayContentTest, CommandCardTakesOverOnlyWhileDictationIsIdle)
{
    OverlayContent c = with(CaptureStatus::idle());
    c.agentPhase = AgentPhase::listening;
    EXPECT_EQ(c.layout(), OverlayContent::Layout::agentListening);
    c.agentPhase = AgentPhase::generating;
    EXPECT_EQ(c.layout(), OverlayContent::Layout::agentCompact);
    EXPECT_TRUE(c.isAnimated());
    c.agentPhase = AgentPhase::completed;
    EXPECT_FALSE(c.isAnimated()) << "a finished card needs no frames";
    c.status = CaptureStatus::recording();
    EXPECT_EQ(c.layout(), OverlayContent::Layout::classic);
}

TEST(OverlayGeometryTest, PlacementRules)
{
    using namespace OverlayGeometry;
    const QList<Screen> screens{{QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)},
                                {QRectF(1440, 0, 1440, 900), QRectF(1440, 0, 1440, 900)}};
    // Straddling both equally: the earlier screen wins. The controller tests walk the rest.
    EXPECT_EQ(bestScreen(QRectF(1340, 100, 200, 50), screens), 0);
    const QRectF visible(0, 25, 1440, 875);
    EXPECT_EQ(constrainedOrigin(QRectF(10, 300, 2000, 64), visible), QPointF(720 - 1000, 300)) << "too wide: centred";
}
