#include "window/MainShellView.h"

#include "app/AppState.h"
#include "window/ScreenFactory.h"
#include "window/Sidebar.h"

#include "components/Components.h"
#include "platform/StoreFile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

MainShellView::MainShellView(const WindowContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar = new Sidebar(context, this);
    m_content = new QStackedWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_banner = new QWidget(this);
    m_banner->setObjectName(QStringLiteral("storageBanner"));
    auto *bannerRow = new QHBoxLayout(m_banner);
    bannerRow->setContentsMargins(18, 10, 12, 4);
    m_bannerText = roleLabel(QStringLiteral("error"), {}, m_banner);
    m_bannerText->setWordWrap(true);
    m_bannerText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *dismiss = new QPushButton(tr("Dismiss"), m_banner);
    dismiss->setProperty("role", QStringLiteral("quiet"));
    bannerRow->addWidget(m_bannerText, 1);
    bannerRow->addWidget(dismiss, 0, Qt::AlignTop);
    // A save that still fails posts its message again.
    connect(dismiss, &QPushButton::clicked, this, [] {
        StorageNotices &notices = StorageNotices::instance();
        for (const QString &key : notices.keys())
            notices.clear(key);
    });
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_banner);
    column->addWidget(m_content, 1);
    layout->addWidget(m_sidebar);
    layout->addLayout(column, 1);
    connect(context.state, &AppState::selectedSectionChanged, this, &MainShellView::showSelectedSection);
    connect(&StorageNotices::instance(), &StorageNotices::changed, this, &MainShellView::showStorageNotices);
    showSelectedSection();
    showStorageNotices();
}

QWidget *MainShellView::currentScreen() const { return m_content->currentWidget(); }

void MainShellView::showSelectedSection()
{
    const AppSection section = m_context.state->selectedSection();
    QWidget *screen = m_screens.value(section);
    if (!screen) {
        screen = makeSectionScreen(section, m_context, m_content);
        m_screens.insert(section, screen);
        m_content->addWidget(screen);
    }
    m_content->setCurrentWidget(screen);
}

void MainShellView::showStorageNotices()
{
    const QStringList texts = StorageNotices::instance().texts();
    m_bannerText->setText(texts.join(QLatin1Char('\n')));
    m_banner->setVisible(!texts.isEmpty());
}
