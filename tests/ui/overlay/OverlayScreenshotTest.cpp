// Every card, light and dark, painted into PNG files (next to the test program, in
// overlay-shots/) and checked for simple facts: the card is there with its clear margin, it
// shows its accent, and nothing runs into the padding or off the card.
#include "ui/overlay/OverlayCardPainter.h"
#include "ui/overlay/OverlayContent.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr double kScale = 2;

QImage render(const OverlayContent &c, double t)
{
    const QSizeF size = overlayPanelSize(c);
    QImage image((size * kScale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kScale);
    image.fill(Qt::transparent);
    QPainter p(&image);
    OverlayCardPainter::paint(p, c, t);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// In panel coordinates, whatever the scale.
QColor at(const QImage &image, double x, double y) { return image.pixelColor(int(x * kScale), int(y * kScale)); }

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

int count(const QImage &image, const QRectF &box, const std::function<bool(const QColor &)> &test)
{
    int n = 0;
    for (int y = int(box.top() * kScale); y < int(box.bottom() * kScale); ++y)
        for (int x = int(box.left() * kScale); x < int(box.right() * kScale); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

struct Shot {
    const char *name;
    OverlayContent content;
    QRectF textColumn; // where the title and secondary label sit, in panel coordinates
    std::function<bool(const QColor &)> accent;
};

bool isSignal(const QColor &c) { return c.red() > 190 && c.green() > 220 && c.blue() < 130; }
bool isGreen(const QColor &c) { return c.green() > 140 && c.red() < 120 && c.blue() < 140; }
bool isRed(const QColor &c) { return c.red() > 200 && c.green() < 120 && c.blue() < 120; }

QList<Shot> shots()
{
    const auto base = [](CaptureStatus status, OverlaySize size = OverlaySize::classic) {
        OverlayContent c;
        c.status = std::move(status);
        c.overlaySize = size;
        c.cancelShortcutName = QStringLiteral("Esc");
        c.targetApplicationName = QStringLiteral("Text Editor");
        c.selectedModel = SpeechModel::withID(QStringLiteral("pocket"));
        c.transcriptionProgress = 0.57;
        for (int i = 0; i < 20; ++i)
            c.samples << 0.3 + 0.6 * std::abs(std::sin(i * 0.7));
        return c;
    };
    const auto agent = [&base](AgentPhase phase) {
        OverlayContent c = base(CaptureStatus::idle());
        c.agentPhase = phase;
        c.agentPhaseDetail = QStringLiteral("Rewriting the selection in Text Editor");
        c.agentProgress = 0.46;
        return c;
    };
    const QRectF classicText(116, 8, 150, 48), compactText(53, 6, 120, 36);
    return {
        {"idle", base(CaptureStatus::idle()), classicText, {}},
        {"recording", base(CaptureStatus::recording()), classicText, {}},
        {"processing", base(CaptureStatus::processing()), classicText, {}},
        {"success", base(CaptureStatus::success(QStringLiteral("Hello"))), classicText, {}},
        {"error",
         base(CaptureStatus::error(QStringLiteral("Microphone and Accessibility access are required, and this sentence is long."))),
         classicText, {}},
        {"mini-recording", base(CaptureStatus::recording(), OverlaySize::mini), {}, {}},
        {"mini-processing", base(CaptureStatus::processing(), OverlaySize::mini), {}, {}},
        {"command-listening", agent(AgentPhase::listening), classicText, {}},
        {"command-generating", agent(AgentPhase::generating), compactText, isSignal},
        {"command-completed", agent(AgentPhase::completed), compactText, isGreen},
        {"command-cancelled", agent(AgentPhase::cancelled), compactText, {}},
        {"command-error", agent(AgentPhase::error), compactText, isRed},
    };
}

} // namespace

TEST(OverlayScreenshotTest, EveryCardLightAndDark)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/overlay-shots");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (Shot shot : shots()) {
        for (bool dark : {false, true}) {
            SCOPED_TRACE(std::string(shot.name) + (dark ? " dark" : " light"));
            shot.content.overlayAppearance = dark ? OverlayAppearance::dark : OverlayAppearance::light;
            const QImage image = render(shot.content, 0.35);
            ASSERT_TRUE(image.save(folder + QStringLiteral("/%1-%2.png").arg(QLatin1String(shot.name), dark ? "dark" : "light")));
            const QSizeF size = overlayPanelSize(shot.content);
            const QRectF card(4, 4, size.width() - 8, size.height() - 8);
            const QColor fill = OverlayCardPainter::cardFill(dark).toRgb();

            // The clear margin and the card's own fill just inside its left edge.
            EXPECT_EQ(at(image, 1, 1).alpha(), 0);
            EXPECT_EQ(at(image, size.width() - 1.5, size.height() / 2).alpha(), 0);
            EXPECT_TRUE(near(at(image, card.left() + 3, card.center().y()), fill, 12));

            const auto ink = [&fill](const QColor &c) { return !near(c, fill, 60); };
            // Something is drawn in the waveform or badge area at the left.
            EXPECT_GT(count(image, QRectF(card.left() + 10, card.top() + 4, 40, card.height() - 8), ink), 10);
            // Nothing reaches into the padding at the right (rows clear of the rounded corners), so
            // no text ran past its room.
            EXPECT_EQ(count(image, QRectF(card.right() - 9, card.top() + 12, 6, card.height() - 24), ink), 0);
            if (!shot.textColumn.isEmpty()) {
                const QRectF column = shot.textColumn.intersected(card);
                EXPECT_GT(count(image, column, ink), 40) << "no text";
                // A line cut off at the top or bottom would leave ink on the column's edges.
                EXPECT_EQ(count(image, QRectF(column.left(), card.top() + 0.5, column.width(), 1.5), ink), 0);
                EXPECT_EQ(count(image, QRectF(column.left(), card.bottom() - 2, column.width(), 1.5), ink), 0);
            }
            if (shot.accent) {
                EXPECT_GT(count(image, card, shot.accent), 8) << "accent colour missing";
            }
        }
    }
}
