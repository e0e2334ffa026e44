#include "TrayIcon.h"

#include "UiTasks.h"
#include "app/AppState.h"
#include "speech/ResourceLocator.h"

#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(AppState &state, QObject *parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>())
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
                                      [s] { onMainThread(s, [](AppState &) { QApplication::quit(); }); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    m_tray = new QSystemTrayIcon(makeStatusIcon(ResourceLocator::file(QStringLiteral("OrvelPlusMenuBarTemplate.png"))),
                                 this);
    m_tray->setToolTip(QStringLiteral("Orvel Raza"));
    m_tray->setContextMenu(m_menu.get());
    // A click opens the same menu, as a menu-bar item would.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
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
