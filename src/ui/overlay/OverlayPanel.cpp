#include "OverlayPanel.h"

#include "OverlayCardPainter.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStyleHints>

OverlayPanel::OverlayPanel(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Orvel Raza"));
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, this, &OverlayPanel::appearanceChanged);
#endif
}

bool OverlayPanel::systemIsDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const Qt::ColorScheme scheme = QGuiApplication::styleHints()->colorScheme();
    if (scheme != Qt::ColorScheme::Unknown)
        return scheme == Qt::ColorScheme::Dark;
#endif
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

void OverlayPanel::setContent(OverlayContent content, double time)
{
    m_content = std::move(content);
    m_time = time;
    updateMask();
    update();
}

void OverlayPanel::setCutToCard(bool cut)
{
    if (cut == m_cutToCard)
        return;
    m_cutToCard = cut;
    m_maskedSize = {};
    updateMask();
}

void OverlayPanel::updateMask()
{
    if (!m_cutToCard) {
        if (!mask().isEmpty())
            clearMask();
        return;
    }
    // Only a new layout changes the outline; the frames in between keep the mask.
    const QSize size = overlayPanelSize(m_content).toSize();
    if (size == m_maskedSize)
        return;
    m_maskedSize = size;
    setMask(QRegion(OverlayCardPainter::cardShape(m_content).toFillPolygon().toPolygon()));
}

void OverlayPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    OverlayCardPainter::paint(p, m_content, m_time);
}

void OverlayPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_dragging = false;
    m_pressGlobal = event->globalPosition().toPoint();
    m_pressTopLeft = pos();
}

void OverlayPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed)
        return;
    const QPoint delta = event->globalPosition().toPoint() - m_pressGlobal;
    if (!m_dragging && delta.manhattanLength() < QApplication::startDragDistance())
        return;
    m_dragging = true;
    move(m_pressTopLeft + delta);
}

void OverlayPanel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (!m_dragging)
        emit tapped();
    m_dragging = false;
}

void OverlayPanel::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    emit moved();
}

void OverlayPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        emit appearanceChanged();
}
