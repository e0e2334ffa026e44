#include "screens/HistoryScreen.h"

#include "app/PlatformWording.h"
#include "components/Components.h"
#include "screens/AgentConversationsView.h"
#include "screens/DictationHistoryView.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

HistoryScreen::HistoryScreen(const WindowContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("screen"));
    setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(this);
    const int margin = qMax(28, fontMetrics().height() * 2);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(16);
    layout->addWidget(new SectionHeading(
        PlatformWording::adapt(QStringLiteral("Stored on this Mac")), QStringLiteral("History"),
        QStringLiteral("Find Dictation transcripts and Command conversations without mixing the two."), this));

    auto *controls = new QHBoxLayout;
    controls->setSpacing(0);
    auto *group = new QButtonGroup(this);
    m_dictationButton = new QPushButton(QStringLiteral("Dictation"), this);
    m_agentButton = new QPushButton(QStringLiteral("Command"), this);
    m_dictationButton->setProperty("segment", QStringLiteral("first"));
    m_agentButton->setProperty("segment", QStringLiteral("last"));
    for (QPushButton *b : {m_dictationButton, m_agentButton}) {
        b->setProperty("role", QStringLiteral("segment"));
        b->setCheckable(true);
        b->setAutoDefault(false);
        group->addButton(b);
        // The picker is 260 wide at the common font size.
        b->setFixedWidth(qMax(130, fontMetrics().horizontalAdvance(QStringLiteral("Dictation")) + 40));
        controls->addWidget(b);
    }
    m_dictationButton->setChecked(true);
    controls->addStretch();
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search transcripts"));
    m_search->setClearButtonEnabled(true);
    m_search->setFixedSize(qMax(220, fontMetrics().averageCharWidth() * 30), qMax(38, fontMetrics().height() + 18));
    controls->addWidget(m_search);
    layout->addLayout(controls);

    m_areas = new QStackedWidget(this);
    m_dictation = new DictationHistoryView(context, m_areas);
    m_areas->addWidget(m_dictation);
    layout->addWidget(m_areas, 1);

    connect(m_search, &QLineEdit::textChanged, m_dictation, &DictationHistoryView::setSearch);
    connect(m_dictationButton, &QPushButton::clicked, this, [this] { setArea(HistoryArea::dictation); });
    connect(m_agentButton, &QPushButton::clicked, this, [this] { setArea(HistoryArea::agent); });
    setTabOrder(m_dictationButton, m_agentButton);
    setTabOrder(m_agentButton, m_search);
    setTabOrder(m_search, m_dictation->list());
}

QPushButton *HistoryScreen::areaButton(HistoryArea area) const
{
    return area == HistoryArea::dictation ? m_dictationButton : m_agentButton;
}

void HistoryScreen::setArea(HistoryArea area)
{
    m_area = area;
    areaButton(area)->setChecked(true);
    // The search belongs to the Dictation area only.
    m_search->setVisible(area == HistoryArea::dictation);
    if (area == HistoryArea::agent && !m_conversations) {
        m_conversations = new AgentConversationsView(m_context, m_areas);
        m_areas->addWidget(m_conversations);
    }
    m_areas->setCurrentWidget(area == HistoryArea::dictation ? static_cast<QWidget *>(m_dictation) : m_conversations);
}
