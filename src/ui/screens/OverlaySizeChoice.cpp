#include "ui/screens/OverlaySizeChoice.h"

#include "ui/components/ScreenLayout.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <cmath>

OverlaySizeChoice::OverlaySizeChoice(OverlaySize size, QWidget *parent) : QAbstractButton(parent), m_size(size)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setText(rawValue(size));
    setAccessibleName(rawValue(size));
    setCursor(Qt::PointingHandCursor);
}

void OverlaySizeChoice::setAppearance(OverlayAppearance appearance)
{
    m_appearance = appearance;
    update();
}

QSize OverlaySizeChoice::sizeHint() const
{
    const int e = fontMetrics().height();
    return {e * 12, e * 6};
}

bool OverlaySizeChoice::drawsDark() const
{
    switch (m_appearance) {
    case OverlayAppearance::light:
        return false;
    case OverlayAppearance::dark:
        return true;
    case OverlayAppearance::automatic:
        break;
    }
    return palette().color(QPalette::Window).lightness() < 128;
}

void OverlaySizeChoice::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int e = fontMetrics().height();
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);

    // The frame of the choice, accented when chosen.
    const QColor accent = palette().color(QPalette::Highlight);
    p.setPen(QPen(isChecked() ? accent : palette().color(QPalette::Mid), isChecked() ? 2 : 1));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRoundedRect(area, e * 0.6, e * 0.6);

    // The overlay itself, in the appearance it will have.
    const bool dark = drawsDark();
    const QColor card = dark ? QColor(0x1f, 0x21, 0x24) : QColor(0xfa, 0xfa, 0xf7);
    const QColor ink = dark ? QColor(0xf2, 0xf2, 0xee) : QColor(0x22, 0x24, 0x28);
    const bool classic = m_size == OverlaySize::classic;
    const QSizeF pill = classic ? QSizeF(e * 10.0, e * 2.0) : QSizeF(e * 6.4, e * 1.5);
    const QRectF overlay(QPointF(area.center().x() - pill.width() / 2, area.top() + e * 1.2), pill);
    p.setPen(QPen(dark ? QColor(255, 255, 255, 40) : QColor(0, 0, 0, 40), 1));
    p.setBrush(card);
    p.drawRoundedRect(overlay, pill.height() / 2, pill.height() / 2);

    // Waveform bars.
    const int bars = classic ? 7 : 5;
    const double barWidth = e * 0.16;
    double x = overlay.left() + pill.height() * 0.45;
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    for (int i = 0; i < bars; ++i) {
        const double h = pill.height() * (0.25 + 0.45 * std::fabs(std::sin(i * 1.3 + 0.6)));
        p.drawRoundedRect(QRectF(x, overlay.center().y() - h / 2, barWidth, h), barWidth / 2, barWidth / 2);
        x += barWidth * 2;
    }
    // The label, and for Classic the Esc key cap.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * (classic ? 0.8 : 0.7));
    p.setFont(small);
    p.setPen(ink);
    const double labelLeft = x + e * 0.3;
    const double capWidth = classic ? e * 1.6 : 0;
    const QRectF label(labelLeft, overlay.top(), overlay.right() - labelLeft - capWidth - pill.height() * 0.35,
                       overlay.height());
    p.drawText(label, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Listening"));
    if (classic) {
        const QRectF cap(overlay.right() - pill.height() * 0.3 - capWidth, overlay.center().y() - e * 0.45,
                         capWidth, e * 0.9);
        p.setPen(QPen(dark ? QColor(255, 255, 255, 90) : QColor(0, 0, 0, 90), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(cap, e * 0.2, e * 0.2);
        small.setPointSizeF(small.pointSizeF() * 0.85);
        p.setFont(small);
        p.drawText(cap, Qt::AlignCenter, QStringLiteral("Esc"));
    }

    // The mark and the name under the drawing.
    const int mark = e;
    const QRectF nameRow(area.left(), area.bottom() - e * 1.8, area.width(), e * 1.4);
    const QString markSymbol = isChecked() ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle");
    const QIcon icon = ScreenLayout::symbol(markSymbol);
    p.setFont(font());
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const double left = nameRow.center().x() - (mark + e * 0.4 + textWidth) / 2;
    const QRectF markRect(left, nameRow.center().y() - mark / 2.0, mark, mark);
    if (!icon.isNull() && isChecked()) {
        icon.paint(&p, markRect.toRect());
    } else {
        p.setPen(QPen(isChecked() ? accent : palette().color(QPalette::Mid), 1.5));
        p.setBrush(isChecked() ? QBrush(accent) : QBrush(Qt::NoBrush));
        p.drawEllipse(markRect.adjusted(1, 1, -1, -1));
    }
    p.setPen(palette().color(QPalette::Text));
    p.drawText(QRectF(markRect.right() + e * 0.4, nameRow.top(), textWidth + 2, nameRow.height()),
               Qt::AlignVCenter | Qt::AlignLeft, text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}
