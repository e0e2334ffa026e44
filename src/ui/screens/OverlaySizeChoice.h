#pragma once

#include "app/PreferenceTypes.h"

#include <QAbstractButton>

// One of the overlay sizes as a small drawing of that overlay (waveform, label and, for Classic,
// an Esc key cap) in the chosen appearance, with a mark when it is the chosen size.
class OverlaySizeChoice final : public QAbstractButton {
    Q_OBJECT

public:
    OverlaySizeChoice(OverlaySize size, QWidget *parent = nullptr);

    OverlaySize size() const { return m_size; }
    void setAppearance(OverlayAppearance appearance);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool drawsDark() const;

    OverlaySize m_size;
    OverlayAppearance m_appearance = OverlayAppearance::automatic;
};
