#include "ui/screens/ModelsScreen.h"

#include "ui/screens/AgentModelsView.h"
#include "ui/components/ScreenLayout.h"
#include "ui/screens/SpeechModelsView.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ScreenLayout;

ModelsScreen::ModelsScreen(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    QVBoxLayout *column = page(this);
    column->addWidget(heading(QStringLiteral("Every inference engine"), QStringLiteral("Models"),
                              QStringLiteral("Choose speech-to-text for Dictation and writing models for Command in "
                                             "one place.")));
    // A segmented picker: two joined, exclusive buttons, styled by the window.
    auto *picker = new QHBoxLayout;
    picker->setSpacing(0);
    auto *group = new QButtonGroup(this);
    const int segmentWidth = qMax(130, fontMetrics().horizontalAdvance(QStringLiteral("Dictation")) + 40);
    auto makeChoice = [&](const QString &label, const char *position) {
        auto *b = new QPushButton(label);
        b->setProperty("role", QStringLiteral("segment"));
        b->setProperty("segment", QLatin1String(position));
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setFixedWidth(segmentWidth);
        group->addButton(b);
        picker->addWidget(b);
        return b;
    };
    m_dictationChoice = makeChoice(QStringLiteral("Dictation"), "first");
    m_agentChoice = makeChoice(QStringLiteral("Command"), "last");
    picker->addStretch();
    column->addLayout(picker);
    connect(m_dictationChoice, &QAbstractButton::clicked, this, [this] { setArea(ModelsArea::dictation); });
    connect(m_agentChoice, &QAbstractButton::clicked, this, [this] { setArea(ModelsArea::agent); });

    m_areaColumn = new QVBoxLayout;
    m_speech = new SpeechModelsView(state);
    m_areaColumn->addWidget(m_speech);
    column->addLayout(m_areaColumn);
    column->addStretch();
    setArea(ModelsArea::dictation);
}

void ModelsScreen::setArea(ModelsArea area)
{
    m_area = area;
    m_dictationChoice->setChecked(area == ModelsArea::dictation);
    m_agentChoice->setChecked(area == ModelsArea::agent);
    if (area == ModelsArea::agent && !m_agent) {
        m_agent = new AgentModelsView(m_state);
        m_areaColumn->addWidget(m_agent);
    }
    m_speech->setVisible(area == ModelsArea::dictation);
    if (m_agent)
        m_agent->setVisible(area == ModelsArea::agent);
}
