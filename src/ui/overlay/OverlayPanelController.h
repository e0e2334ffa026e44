#pragma once

#include "OverlayGeometry.h"

#include "app/AppServices.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class AppState;
class FloatingPanelHints;
class OverlayPanel;
class QSettings;
class Scheduler;
class ScheduledTask;

// Shows the one floating panel for the state: sized for what it shows, at the place the user
// last dragged it to, kept on a visible screen. Costs nothing while hidden.
class OverlayPanelController final : public QObject, public OverlayPresenter {
    Q_OBJECT

public:
    // The recorder's last levels, oldest first.
    using SampleSource = std::function<QList<double>()>;
    // The screens in the system's order, main screen first.
    using ScreenSource = std::function<QList<OverlayGeometry::Screen>()>;

    static inline const QString originXKey = QStringLiteral("overlayOriginX");
    static inline const QString originYKey = QStringLiteral("overlayOriginY");
    static constexpr double frameInterval = 0.1;

    // Nothing is owned; hints may be null (no window-system hints beyond the toolkit's flags).
    OverlayPanelController(AppState &state, QSettings &store, Scheduler &scheduler, FloatingPanelHints *hints,
                           SampleSource samples, QObject *parent = nullptr);
    ~OverlayPanelController() override;

    void show() override;
    void hide() override;

    void resizeForCurrentState();
    void restorePositionOrUseDefault();
    void setDefaultPosition();
    void savePosition();
    void windowDidMove();
    void screenParametersDidChange();

    OverlayPanel *panel() const { return m_panel.get(); }
    bool isAnimating() const { return m_frameTimer != nullptr; }
    void setScreenSource(ScreenSource screens) { m_screens = std::move(screens); }
    static QList<OverlayGeometry::Screen> systemScreens();

private:
    void readContent();
    void refresh();
    void updateFrameTimer();
    void moveProgrammatically(const QPointF &topLeft);
    QRectF mainScreenGeometry() const;

    AppState &m_state;
    QSettings &m_store;
    Scheduler &m_scheduler;
    FloatingPanelHints *m_hints;
    SampleSource m_samples;
    ScreenSource m_screens = systemScreens;
    std::unique_ptr<OverlayPanel> m_panel;
    std::unique_ptr<ScheduledTask> m_frameTimer;
    bool m_isRestoringPosition = false;
    mutable QRectF m_lastMainScreen;
};
