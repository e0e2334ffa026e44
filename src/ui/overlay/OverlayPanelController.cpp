#include "OverlayPanelController.h"

#include "OverlayPanel.h"

#include "app/AppState.h"
#include "platform/FloatingPanelHints.h"
#include "platform/Scheduler.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

OverlayPanelController::OverlayPanelController(AppState &state, QSettings &store, Scheduler &scheduler,
                                               FloatingPanelHints *hints, SampleSource samples, QObject *parent)
    : QObject(parent), m_state(state), m_store(store), m_scheduler(scheduler), m_hints(hints),
      m_samples(std::move(samples)), m_panel(std::make_unique<OverlayPanel>())
{
    m_panel->setContent(OverlayContent::read(m_state, {}, OverlayPanel::systemIsDark()), 0);
    m_panel->resize(overlayPanelSize(m_panel->content()).toSize());

    connect(m_panel.get(), &OverlayPanel::tapped, this, [this] { m_state.handleOverlayTap(); });
    connect(m_panel.get(), &OverlayPanel::moved, this, &OverlayPanelController::windowDidMove);
    connect(m_panel.get(), &OverlayPanel::appearanceChanged, this, &OverlayPanelController::refresh);

    for (auto signal : {&AppState::statusChanged, &AppState::agentPhaseChanged, &AppState::agentProgressChanged,
                        &AppState::transcriptionProgressChanged, &AppState::targetApplicationNameChanged,
                        &AppState::preferencesChanged, &AppState::shortcutsChanged, &AppState::selectedModelIDChanged})
        connect(&m_state, signal, this, &OverlayPanelController::refresh);

    // Queued: while a screen is being removed the system's list may still hold it.
    const auto screensChanged = [this] {
        QMetaObject::invokeMethod(this, &OverlayPanelController::screenParametersDidChange, Qt::QueuedConnection);
    };
    const auto watch = [this, screensChanged](QScreen *screen) {
        connect(screen, &QScreen::availableGeometryChanged, this, screensChanged);
        connect(screen, &QScreen::geometryChanged, this, screensChanged);
    };
    for (QScreen *screen : QGuiApplication::screens())
        watch(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [watch, screensChanged](QScreen *screen) {
        watch(screen);
        screensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, screensChanged);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, screensChanged);
}

OverlayPanelController::~OverlayPanelController() = default;

QList<OverlayGeometry::Screen> OverlayPanelController::systemScreens()
{
    QList<OverlayGeometry::Screen> out;
    QScreen *main = QGuiApplication::primaryScreen();
    if (main)
        out.append({QRectF(main->geometry()), QRectF(main->availableGeometry())});
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != main)
            out.append({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    return out;
}

void OverlayPanelController::show()
{
    readContent();
    resizeForCurrentState();
    restorePositionOrUseDefault();
    if (!m_panel->isVisible()) {
        m_panel->setCutToCard(m_hints && !m_hints->translucencyWorks());
        if (m_hints)
            m_hints->show(*m_panel);
        else
            m_panel->show();
    }
    m_panel->raise();
    updateFrameTimer();
}

void OverlayPanelController::hide()
{
    m_panel->hide();
    updateFrameTimer();
}

void OverlayPanelController::readContent()
{
    m_panel->setContent(OverlayContent::read(m_state, m_samples ? m_samples() : QList<double>{},
                                             OverlayPanel::systemIsDark()),
                        m_scheduler.now());
}

void OverlayPanelController::refresh()
{
    // Hidden, the card is read afresh at the next show; nothing is done meanwhile.
    if (!m_panel->isVisible())
        return;
    readContent();
    resizeForCurrentState();
    updateFrameTimer();
}

void OverlayPanelController::updateFrameTimer()
{
    const bool wanted = m_panel->isVisible() && m_panel->content().isAnimated();
    if (!wanted) {
        m_frameTimer.reset();
        return;
    }
    if (m_frameTimer)
        return;
    m_frameTimer = m_scheduler.every(frameInterval, [this] {
        OverlayContent content = m_panel->content();
        if (m_samples)
            content.samples = m_samples();
        m_panel->setContent(std::move(content), m_scheduler.now());
    });
}

void OverlayPanelController::resizeForCurrentState()
{
    const QSize target = overlayPanelSize(m_panel->content()).toSize();
    if (m_panel->size() == target)
        return;
    const QRectF frame = OverlayGeometry::resizedKeepingCentreAndBottom(QRectF(m_panel->geometry()), QSizeF(target));
    m_isRestoringPosition = true;
    m_panel->setGeometry(frame.toRect());
    m_isRestoringPosition = false;
    m_panel->update();
}

QRectF OverlayPanelController::mainScreenGeometry() const
{
    const auto screens = m_screens();
    if (!screens.isEmpty())
        m_lastMainScreen = screens.first().geometry;
    return m_lastMainScreen;
}

void OverlayPanelController::restorePositionOrUseDefault()
{
    bool okX = false, okY = false;
    const double x = m_store.value(originXKey).toDouble(&okX);
    const double y = m_store.value(originYKey).toDouble(&okY);
    if (!okX || !okY) {
        setDefaultPosition();
        return;
    }
    const QSizeF size(m_panel->size());
    const QPointF topLeft = OverlayGeometry::savedOriginConversion(QPointF(x, y), size.height(), mainScreenGeometry());
    const QRectF candidate(topLeft, size);
    const auto screens = m_screens();
    const auto best = OverlayGeometry::bestScreen(candidate, screens);
    if (!best) {
        setDefaultPosition();
        return;
    }
    moveProgrammatically(OverlayGeometry::constrainedOrigin(candidate, screens[*best].visibleFrame));
    savePosition();
}

void OverlayPanelController::setDefaultPosition()
{
    const auto screens = m_screens();
    if (screens.isEmpty())
        return;
    moveProgrammatically(OverlayGeometry::defaultOrigin(QSizeF(m_panel->size()), screens.first().visibleFrame));
    savePosition();
}

void OverlayPanelController::savePosition()
{
    const QRectF frame(m_panel->geometry());
    const QPointF origin = OverlayGeometry::savedOriginConversion(frame.topLeft(), frame.height(), mainScreenGeometry());
    m_store.setValue(originXKey, origin.x());
    m_store.setValue(originYKey, origin.y());
    m_store.sync();
}

void OverlayPanelController::windowDidMove()
{
    if (!m_isRestoringPosition)
        savePosition();
}

void OverlayPanelController::screenParametersDidChange()
{
    const QRectF frame(m_panel->geometry());
    const auto screens = m_screens();
    const auto best = OverlayGeometry::bestScreen(frame, screens);
    if (!best) {
        setDefaultPosition();
        return;
    }
    moveProgrammatically(OverlayGeometry::constrainedOrigin(frame, screens[*best].visibleFrame));
    savePosition();
}

void OverlayPanelController::moveProgrammatically(const QPointF &topLeft)
{
    m_isRestoringPosition = true;
    m_panel->move(topLeft.toPoint());
    m_isRestoringPosition = false;
}
