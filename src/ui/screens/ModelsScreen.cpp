#include "ui/screens/ModelsScreen.h"

#include "ui/screens/AgentModelsView.h"
#include "ui/components/ScreenLayout.h"
#include "ui/screens/SpeechModelsView.h"

#include <QButtonGroup>
#include <QEvent>
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
    // A segmented picker: two joined, exclusive buttons.
    auto *picker = new QHBoxLayout;
    picker->setSpacing(0);
    auto *group = new QButtonGroup(this);
    auto makeChoice = [&](const QString &label) {
        auto *b = new QPushButton(label);
        b->setCheckable(true);
        b->setAutoDefault(false);
        group->addButton(b);
        picker->addWidget(b);
        return b;
    };
    m_dictationChoice = makeChoice(QStringLiteral("Dictation"));
    m_agentChoice = makeChoice(QStringLiteral("Command"));
    styleSegments();
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

void ModelsScreen::styleSegments()
{
    // Two joined halves; the chosen one reads as chosen in light and dark alike. Style sheets
    // resolve palette() once, so a theme change sets them again.
    const QString segment = QStringLiteral(
        "QPushButton { border: 1px solid palette(mid); background: palette(button); color: palette(button-text);"
        " padding: 4px 14px; border-%1-radius: 5px; border-%2-radius: 5px; }"
        " QPushButton:checked { background: palette(highlight); color: palette(highlighted-text);"
        " border-color: palette(highlight); }"
        " QPushButton:focus { border-color: palette(highlight); }");
    m_dictationChoice->setStyleSheet(segment.arg(QStringLiteral("top-left"), QStringLiteral("bottom-left")));
    m_agentChoice->setStyleSheet(segment.arg(QStringLiteral("top-right"), QStringLiteral("bottom-right")));
}

void ModelsScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        styleSegments();
}
