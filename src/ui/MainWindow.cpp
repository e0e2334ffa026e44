#include "MainWindow.h"

#include "ApplicationMenus.h"
#include "UiTasks.h"
#include "app/AppState.h"
#include "components/Palette.h"
#include "components/StyleSheets.h"
#include "window/RootView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>

MainWindow::MainWindow(const WindowContext &context, Activate activate, QWidget *parent)
    : QMainWindow(parent), m_context(context), m_activate(std::move(activate))
{
    setWindowTitle(QStringLiteral("Orvel Raza"));
    // Room for the sidebar and a screen at the desktop's font size.
    const int line = fontMetrics().height();
    setMinimumSize(qMax(960, line * 56), qMax(650, line * 38));
    // The style sheet goes on before the children exist: set afterwards, it would polish every
    // one of them a second time before the first picture.
    applyAppearance();
    m_menus = new ApplicationMenus(*context.state, menuBar());
    m_root = new RootView(context, this);
    setCentralWidget(m_root);

    // The standard quit command works from the window, as Ctrl+Q does from the tray menu.
    auto *quit = new QAction(QStringLiteral("Quit Orvel Raza"), this);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this,
            [s = context.state] { onMainThread(s, [](AppState &) { QApplication::exit(0); }); });
    addAction(quit);
}

MainWindow::~MainWindow() = default;

void MainWindow::applyAppearance()
{
    if (m_applyingAppearance)
        return;
    m_applyingAppearance = true;
    const Theme theme = Theme::from(QApplication::palette());
    setProperty(Theme::appearanceProperty, theme.dark);
    setPalette(theme.palette());
    setStyleSheet(StyleSheets::mainWindow(theme, QApplication::font()));
    m_applyingAppearance = false;
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ApplicationFontChange)
        applyAppearance();
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
        m_context.state->refreshPermissions();
    }
}
