#include "MainWindow.h"

#include "ApplicationMenus.h"
#include "UiTasks.h"
#include "app/AppState.h"
#include "app/HotKeyManager.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

MainWindow::MainWindow(AppState &state, Activate activate, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_activate(std::move(activate))
{
    setWindowTitle(QStringLiteral("Orvel Raza"));
    setMinimumSize(960, 650);
    m_menus = new ApplicationMenus(state, menuBar());

    // The sections arrive with the screens; until then the window says what the program does.
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(48, 48, 48, 48);
    auto *title = new QLabel(QStringLiteral("Orvel Raza"), content);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    title->setFont(big);
    m_status = new QLabel(content);
    m_status->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(m_status);
    layout->addStretch();
    setCentralWidget(content);

    // The standard quit command works from the window, as Ctrl+Q does from the tray menu.
    auto *quit = new QAction(QStringLiteral("Quit Orvel Raza"), this);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this, [s = &state] { onMainThread(s, [](AppState &) { QApplication::quit(); }); });
    addAction(quit);

    connect(&state, &AppState::statusChanged, this, &MainWindow::updateStatus);
    connect(&state, &AppState::shortcutsChanged, this, &MainWindow::updateStatus);
    updateStatus();
}

MainWindow::~MainWindow() = default;

void MainWindow::updateStatus()
{
    QString line;
    switch (m_state.status().kind) {
    case CaptureStatus::Kind::idle: {
        // Only name the shortcuts the desktop let us have; a window manager may keep one.
        const bool toggle = m_state.hotKey().isRegistered(HotKeyManager::toggle);
        const bool hold = m_state.hotKey().isRegistered(HotKeyManager::pushToTalk);
        const QString toggleName = m_state.toggleShortcut().displayName();
        const QString holdName = m_state.pushToTalkShortcut().displayName();
        if (toggle && hold)
            line = QStringLiteral("Press %1 to dictate, or hold %2 while speaking.").arg(toggleName, holdName);
        else if (hold)
            line = QStringLiteral("Hold %1 while speaking. %2 is taken by another program.").arg(holdName, toggleName);
        else if (toggle)
            line = QStringLiteral("Press %1 to dictate. %2 is taken by another program.").arg(toggleName, holdName);
        else
            line = QStringLiteral("%1 and %2 are taken by other programs; use the Dictation menu.")
                       .arg(toggleName, holdName);
        break;
    }
    case CaptureStatus::Kind::recording:
        line = QStringLiteral("Listening…");
        break;
    case CaptureStatus::Kind::processing:
        line = QStringLiteral("Transcribing…");
        break;
    case CaptureStatus::Kind::success:
        line = m_state.status().text;
        break;
    case CaptureStatus::Kind::error:
        line = m_state.status().text;
        break;
    }
    m_status->setText(line);
}

void MainWindow::bringForward()
{
    // This is the program's one ordinary window; the overlay and the other panels are never
    // brought forward by it.
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    if (m_activate)
        m_activate(this);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing hides; only the quit command ends the program.
    hide();
    event->ignore();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_state.refreshPermissions();
    }
}
