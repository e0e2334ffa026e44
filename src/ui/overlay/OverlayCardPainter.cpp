#include "OverlayCardPainter.h"

#include "SymbolPainter.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace OverlayCardPainter {

namespace {
constexpr double kMargin = 4;
constexpr double kRadius = 19;

// Sizes are given in device-independent pixels, whatever resolution the device reports.
QFont font(const QPainter &p, double pixels, QFont::Weight weight)
{
    static const QString family = [] {
        const QStringList rounded{QStringLiteral("Nunito"), QStringLiteral("Varela Round"),
                                  QStringLiteral("M PLUS Rounded 1c"), QStringLiteral("Comfortaa")};
        const QStringList installed = QFontDatabase::families();
        for (const QString &f : rounded)
            if (installed.contains(f))
                return f;
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    QFont f(family);
    const int dpi = p.device() ? p.device()->logicalDpiY() : 96;
    f.setPointSizeF(pixels * 72.0 / (dpi > 0 ? dpi : 96));
    f.setWeight(weight);
    return f;
}

struct Painter {
    QPainter &p;
    const OverlayContent &c;
    double t;
    bool dark;
    QRectF card;

    QColor fg(double opacity) const { return foreground(dark, opacity); }

    // One line, cut with an ellipsis to the width; returns the width used.
    double text(const QString &s, const QFont &f, const QColor &color, const QRectF &box,
                Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) const
    {
        p.setFont(f);
        p.setPen(color);
        const QFontMetricsF m(f);
        const QString shown = m.elidedText(s, Qt::ElideRight, box.width());
        p.drawText(box, int(align) | Qt::TextSingleLine, shown);
        return m.horizontalAdvance(shown);
    }

    void titleAndSecondary(const QRectF &box, const QString &title, double titleSize, const QString &secondary,
                           double secondarySize, double secondaryOpacity) const
    {
        const QFont tf = font(p, titleSize, QFont::DemiBold);
        const QFont sf = font(p, secondarySize, QFont::Medium);
        const double th = QFontMetricsF(tf).height();
        const double sh = QFontMetricsF(sf).height();
        const double top = box.center().y() - (th + sh) / 2;
        text(title, tf, fg(1.0), QRectF(box.left(), top, box.width(), th));
        text(secondary, sf, fg(secondaryOpacity), QRectF(box.left(), top + th, box.width(), sh));
    }

    // The key cap's width for the text, capped so a long shortcut never pushes the title out.
    double keyCapWidth(const QString &label) const
    {
        if (label.isEmpty())
            return 0;
        return std::min(QFontMetricsF(font(p, 10.5, QFont::DemiBold)).horizontalAdvance(label) + 16, 96.0);
    }
    void keyCap(const QString &label, double right) const
    {
        if (label.isEmpty())
            return;
        const double w = keyCapWidth(label);
        const QRectF cap(right - w, card.center().y() - 10, w, 20);
        p.setPen(Qt::NoPen);
        p.setBrush(fg(0.075));
        p.drawRoundedRect(cap, 10, 10);
        text(label, font(p, 10.5, QFont::DemiBold), fg(0.64), cap.adjusted(8, 0, -8, 0), Qt::AlignCenter);
    }

    void bars(const QRectF &box, int count, double maxHeight, double width, double spacing, bool agent) const
    {
        const double total = count * width + (count - 1) * spacing;
        double x = box.center().x() - total / 2;
        p.setPen(Qt::NoPen);
        p.setBrush(fg(0.92));
        for (int i = 0; i < count; ++i, x += width + spacing) {
            const double h = agent ? c.agentBarHeight(i, count, maxHeight) : c.barHeight(i, count, maxHeight, t);
            p.drawRoundedRect(QRectF(x, box.center().y() - h / 2, width, h), width / 2, width / 2);
        }
    }

    void spinner(const QRectF &box, const QColor &color) const
    {
        const int ticks = 8;
        const int lead = int(std::floor(t * ticks)) % ticks;
        const QPointF centre = box.center();
        const double outer = box.width() / 2, inner = outer * 0.45;
        for (int i = 0; i < ticks; ++i) {
            QColor tick = color;
            tick.setAlphaF(float(0.25 + 0.75 * ((i - lead + ticks) % ticks) / double(ticks - 1)));
            QPen pen(tick, 1.6, Qt::SolidLine, Qt::RoundCap);
            p.setPen(pen);
            const double a = 2 * M_PI * i / ticks;
            p.drawLine(centre + QPointF(std::cos(a) * inner, std::sin(a) * inner),
                       centre + QPointF(std::cos(a) * outer, std::sin(a) * outer));
        }
    }

    void classic() const
    {
        const QRectF content = card.adjusted(14, 0, -14, 0);
        const QRectF wave(content.left(), card.center().y() - 19, 86, 38);
        bars(wave, 19, 35, 2.0, 2.6, false);
        double right = content.right();
        switch (c.trailing()) {
        case OverlayContent::Trailing::keyCap:
            right -= keyCapWidth(c.cancelShortcutName);
            keyCap(c.cancelShortcutName, content.right());
            break;
        case OverlayContent::Trailing::progress: {
            const QFont f = font(p, 11, QFont::Bold);
            const double w = QFontMetricsF(f).horizontalAdvance(QStringLiteral("~100%"));
            text(c.progressLabel(), f, fg(0.72), QRectF(content.right() - w, card.top(), w, card.height()),
                 Qt::AlignRight | Qt::AlignVCenter);
            right -= w;
            break;
        }
        case OverlayContent::Trailing::checkmark:
        case OverlayContent::Trailing::exclamationmark: {
            const QString icon = c.trailing() == OverlayContent::Trailing::checkmark ? QStringLiteral("checkmark")
                                                                                      : QStringLiteral("exclamationmark");
            SymbolPainter::draw(p, icon, QRectF(content.right() - 14, card.center().y() - 7, 14, 14), fg(0.72));
            right -= 14;
            break;
        }
        }
        const QRectF middle(wave.right() + 12, card.top(), right - 12 - (wave.right() + 12), card.height());
        titleAndSecondary(middle, c.title(), 12.5, c.secondaryLabel(), 9.5, 0.58);
    }

    void mini() const
    {
        const QRectF content = card.adjusted(13, 0, -13, 0);
        const QRectF wave(content.left(), card.center().y() - 14.5, 86, 29);
        bars(wave, 15, 27, 1.8, 2.4, false);
        const QRectF rest(wave.right(), card.top(), content.right() - wave.right(), card.height());
        if (c.status.kind == CaptureStatus::Kind::processing)
            text(c.progressLabel(), font(p, 11, QFont::Bold), fg(0.74), rest, Qt::AlignRight | Qt::AlignVCenter);
        else
            SymbolPainter::draw(p, c.miniStatusIcon(), QRectF(rest.right() - 13, rest.center().y() - 6.5, 13, 13),
                                fg(0.72));
    }

    void agentListening() const
    {
        const QRectF content = card.adjusted(14, 0, -14, 0);
        const QRectF wave(content.left(), card.center().y() - 19, 86, 38);
        bars(wave, 19, 35, 2.0, 2.6, true);
        const double capWidth = keyCapWidth(c.cancelShortcutName);
        keyCap(c.cancelShortcutName, content.right());
        const QRectF middle(wave.right() + 12, card.top(), content.right() - capWidth - 12 - (wave.right() + 12),
                            card.height());
        titleAndSecondary(middle, c.title(), 12.5, c.secondaryLabel(), 9.5, 0.58);
    }

    void agentCompact() const
    {
        const QRectF content = card.adjusted(11, 0, -11, 0);
        const QColor phase = c.agentPhaseColor();
        const QRectF circle(content.left(), card.center().y() - 13.5, 27, 27);
        QColor wash = phase;
        wash.setAlphaF(0.16f);
        p.setPen(Qt::NoPen);
        p.setBrush(wash);
        p.drawEllipse(circle);
        const QString icon = c.agentPhaseIcon();
        if (icon.isEmpty())
            spinner(circle.adjusted(7, 7, -7, -7), phase);
        else
            SymbolPainter::draw(p, icon, circle.adjusted(8, 8, -8, -8), phase);
        double right = content.right();
        if (const auto progress = c.agentProgressLabel()) {
            const QFont f = font(p, 11, QFont::Bold);
            const double w = QFontMetricsF(f).horizontalAdvance(QStringLiteral("~100%"));
            text(*progress, f, fg(0.72), QRectF(right - w, card.top(), w, card.height()),
                 Qt::AlignRight | Qt::AlignVCenter);
            right -= w + 8;
        }
        const QRectF middle(circle.right() + 10, card.top(), right - (circle.right() + 10), card.height());
        titleAndSecondary(middle, c.title(), 11.5, c.secondaryLabel(), 9, 0.55);
    }
};

} // namespace

QColor cardFill(bool dark)
{
    return dark ? QColor::fromRgbF(0, 0, 0, 0.95f) : QColor::fromRgbF(1, 1, 1, 0.98f);
}

QColor foreground(bool dark, double opacity)
{
    return dark ? QColor::fromRgbF(1, 1, 1, float(opacity)) : QColor::fromRgbF(0, 0, 0, float(opacity));
}

QPainterPath cardShape(const OverlayContent &content)
{
    const QSizeF panel = overlayPanelSize(content);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(kMargin, kMargin, panel.width() - 2 * kMargin, panel.height() - 2 * kMargin),
                         kRadius, kRadius);
    return shape;
}

void paint(QPainter &p, const OverlayContent &content, double t)
{
    const bool dark = content.usesDarkAppearance();
    const QPainterPath shape = cardShape(content);
    const QRectF card = shape.boundingRect();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillPath(shape, cardFill(dark));
    p.setPen(QPen(foreground(dark, 0.12), 0.75));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);

    const Painter painter{p, content, t, dark, card};
    switch (content.layout()) {
    case OverlayContent::Layout::classic:
        painter.classic();
        break;
    case OverlayContent::Layout::mini:
        painter.mini();
        break;
    case OverlayContent::Layout::agentListening:
        painter.agentListening();
        break;
    case OverlayContent::Layout::agentCompact:
        painter.agentCompact();
        break;
    }
    p.restore();
}

} // namespace OverlayCardPainter
