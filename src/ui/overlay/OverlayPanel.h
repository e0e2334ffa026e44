#pragma once

#include "OverlayContent.h"

#include <QPoint>
#include <QWidget>

// The floating panel: a frameless tool window that never takes the keyboard focus, stays above
// other windows and paints the card itself. A press and release without moving is a tap; a
// press and move anywhere on it drags it.
class OverlayPanel final : public QWidget {
    Q_OBJECT

public:
    explicit OverlayPanel(QWidget *parent = nullptr);

    void setContent(OverlayContent content, double time);
    const OverlayContent &content() const { return m_content; }

    static bool systemIsDark();
    // Without a compositor the clear corners would paint black: the window is cut to the card.
    void setCutToCard(bool cut);

signals:
    void tapped();
    void moved();
    void appearanceChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateMask();

    OverlayContent m_content;
    double m_time = 0;
    bool m_cutToCard = false;
    QSize m_maskedSize;
    bool m_pressed = false;
    bool m_dragging = false;
    QPoint m_pressGlobal;
    QPoint m_pressTopLeft;
};
