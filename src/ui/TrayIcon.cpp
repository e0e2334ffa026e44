#include "TrayIcon.h"

#include "UiTasks.h"
#include "app/AppState.h"
#include "overlay/OverlayContent.h"
#include "overlay/SymbolPainter.h"
#include "speech/ResourceLocator.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(AppState &state, QObject *parent)
    : QObject(parent), m_state(state), m_menu(std::make_unique<QMenu>())
{
    AppState *s = &state;
    m_menu->addAction(QStringLiteral("Start or stop dictation"), this,
                      [s] { onMainThread(s, [](AppState &a) { a.toggleRecording(); }); });
    m_menu->addAction(QStringLiteral("Start or stop Command"), this,
                      [s] { onMainThread(s, [](AppState &a) { a.toggleAgentRecording(false); }); });
    m_menu->addAction(QStringLiteral("Open Orvel Raza"), this,
                      [s] { onMainThread(s, [](AppState &a) { a.bringMainWindowForward(); }); });
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(QStringLiteral("Quit Orvel Raza"), this,
                                      [s] { onMainThread(s, [](AppState &) { QApplication::exit(0); }); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    m_plain = makeStatusIcon(ResourceLocator::file(QStringLiteral("OrvelPlusMenuBarTemplate.png")));
    m_tray = new QSystemTrayIcon(m_plain, this);
    m_tray->setToolTip(QStringLiteral("Orvel Raza"));
    m_tray->setContextMenu(m_menu.get());
    // A click opens the same menu, as a menu-bar item would.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    connect(&state, &AppState::statusChanged, this, &TrayIcon::showActivity);
    connect(&state, &AppState::agentPhaseChanged, this, &TrayIcon::showActivity);
    m_tray->show();
}

// The icon goes before the menu it shows.
TrayIcon::~TrayIcon() { delete m_tray; }

QIcon TrayIcon::makeStatusIcon(const std::optional<QString> &imagePath)
{
    if (imagePath) {
        QPixmap image(*imagePath);
        if (!image.isNull())
            return QIcon(image.scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    const QIcon symbol = QIcon::fromTheme(QStringLiteral("audio-input-microphone"));
    if (!symbol.isNull())
        return symbol;
    QPixmap empty(18, 18);
    empty.fill(Qt::transparent);
    return QIcon(empty);
}

TrayIcon::Activity TrayIcon::activity(const AppState &state)
{
    switch (state.status().kind) {
    case CaptureStatus::Kind::recording:
        return Activity::recording;
    case CaptureStatus::Kind::processing:
        return Activity::working;
    case CaptureStatus::Kind::error:
        return Activity::error;
    default:
        break;
    }
    switch (state.agentPhase()) {
    case AgentPhase::listening:
        return Activity::recording;
    case AgentPhase::transcribing:
    case AgentPhase::loadingModel:
    case AgentPhase::generating:
        return Activity::working;
    case AgentPhase::error:
        return Activity::error;
    default:
        return Activity::idle;
    }
}

QIcon TrayIcon::badgedIcon(const QIcon &plain, Activity activity)
{
    if (activity == Activity::idle)
        return plain;
    QString symbol = QStringLiteral("circle.fill");
    QColor colour = OverlayColors::failure();
    if (activity == Activity::working) {
        symbol = QStringLiteral("ellipsis");
        colour = QColor(255, 159, 10);
    } else if (activity == Activity::error) {
        symbol = QStringLiteral("exclamationmark");
    }
    QIcon out;
    for (int size : {16, 18, 22, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        plain.paint(&p, QRect(0, 0, size, size));
        // A filled disc with the symbol on it stays legible on light and dark panels alike.
        const double badge = size * 0.62;
        const QRectF disc(size - badge, size - badge, badge, badge);
        p.setPen(QPen(Qt::white, std::max(1.0, size / 18.0)));
        p.setBrush(colour);
        p.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
        if (activity != Activity::recording)
            SymbolPainter::draw(p, symbol, disc.adjusted(badge * 0.2, badge * 0.2, -badge * 0.2, -badge * 0.2),
                                Qt::white);
        p.end();
        out.addPixmap(pixmap);
    }
    return out;
}

void TrayIcon::showActivity()
{
    const Activity now = activity(m_state);
    if (now == m_shown)
        return;
    m_shown = now;
    m_tray->setIcon(badgedIcon(m_plain, now));
    static const char *const tips[] = {"Orvel Raza", "Orvel Raza \u2014 Listening", "Orvel Raza \u2014 Working",
                                       "Orvel Raza \u2014 Needs attention"};
    m_tray->setToolTip(QString::fromUtf8(tips[int(now)]));
}
