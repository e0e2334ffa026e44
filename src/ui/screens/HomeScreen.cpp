#include "screens/HomeScreen.h"

#include "app/AppState.h"
#include "components/Components.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *statCard(QWidget *parent, QHBoxLayout *row, const QString &symbol, const QString &title)
{
    auto *card = new CardBackground(parent);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(18, 16, 18, 16);
    layout->setSpacing(6);
    layout->addWidget(new SymbolLabel(symbol, 20, SymbolLabel::Tone::accent, card));
    layout->addWidget(roleLabel(QStringLiteral("secondary"), title, card));
    QLabel *value = roleLabel(QStringLiteral("statValue"), QString(), card);
    value->setWordWrap(true);
    layout->addWidget(value);
    row->addWidget(card, 1);
    return value;
}

} // namespace

QString HomeScreen::transcriptCount(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" transcript") : QStringLiteral(" transcripts"));
}

HomeScreen::HomeScreen(const WindowContext &context, QWidget *parent) : ScreenColumn(parent), m_context(context)
{
    QWidget *inner = widget();

    auto *hero = new CardBackground(inner);
    auto *heroLayout = new QVBoxLayout(hero);
    heroLayout->setContentsMargins(28, 26, 28, 26);
    heroLayout->setSpacing(12);
    m_badge = roleLabel(QStringLiteral("badge"), QString(), hero);
    heroLayout->addWidget(m_badge, 0, Qt::AlignLeft);
    heroLayout->addWidget(roleLabel(QStringLiteral("hero"), QStringLiteral("Say it.\nIt lands."), hero));
    QLabel *pitch = roleLabel(QStringLiteral("subtitle"),
                              QStringLiteral("Dictate into any app without sending a syllable away."), hero);
    pitch->setWordWrap(true);
    heroLayout->addWidget(pitch);
    AppState *state = m_context.state;
    m_dictate = new PrimaryButton(QString(), QString(), [state] { state->toggleRecording(); }, hero);
    heroLayout->addWidget(m_dictate, 0, Qt::AlignLeft);
    column()->addWidget(hero);

    auto *stats = new QHBoxLayout;
    stats->setSpacing(14);
    m_activeModel = statCard(inner, stats, QStringLiteral("cpu"), QStringLiteral("Active model"));
    m_saved = statCard(inner, stats, QStringLiteral("clock"), QStringLiteral("Saved locally"));
    statCard(inner, stats, QStringLiteral("lock.shield"), QStringLiteral("Cloud uploads"))->setText(QStringLiteral("Zero"));
    column()->addLayout(stats);

    auto *recentHead = new QHBoxLayout;
    recentHead->addWidget(roleLabel(QStringLiteral("heading"), QStringLiteral("Recent words"), inner));
    recentHead->addStretch();
    recentHead->addWidget(new QuietButton(QStringLiteral("View all"), {},
                                          [state] { state->setSelectedSection(AppSection::history); }, inner));
    column()->addLayout(recentHead);
    m_recent = new CardBackground(inner);
    m_recentRows = new QVBoxLayout(m_recent);
    m_recentRows->setContentsMargins(18, 12, 18, 12);
    m_recentRows->setSpacing(10);
    column()->addWidget(m_recent);
    column()->addStretch();

    connect(state, &AppState::statusChanged, this, &HomeScreen::refreshStatus);
    connect(state, &AppState::selectedModelIDChanged, this, &HomeScreen::refreshModel);
    connect(&m_context.state->modelStore(), &ModelStore::revisionChanged, this, &HomeScreen::refreshModel);
    if (m_context.history)
        connect(m_context.history, &HistoryStore::itemsChanged, this, &HomeScreen::refreshHistory);
    refreshStatus();
    refreshModel();
    refreshHistory();
}

void HomeScreen::refreshStatus()
{
    const bool recording = m_context.state->status().kind == CaptureStatus::Kind::recording;
    m_dictate->setContent(recording ? QStringLiteral("Finish dictation") : QStringLiteral("Start dictation"),
                          recording ? QStringLiteral("stop.fill") : QStringLiteral("waveform"));
}

void HomeScreen::refreshModel()
{
    m_badge->setText(m_context.state->canDictate() ? QStringLiteral("LOCAL ENGINE READY") : QStringLiteral("CHOOSE A MODEL"));
    const auto model = m_context.state->selectedModel();
    m_activeModel->setText(model ? model->name : QStringLiteral("None"));
}

void HomeScreen::refreshHistory()
{
    const QList<HistoryItem> empty;
    const QList<HistoryItem> &items = m_context.history ? m_context.history->items() : empty;
    m_saved->setText(transcriptCount(items.size()));

    // Rebuilt whole: at most three rows.
    delete m_recentBody;
    m_recentBody = new QWidget(m_recent);
    auto *rows = new QVBoxLayout(m_recentBody);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(10);
    m_recentRows->addWidget(m_recentBody);
    if (items.isEmpty()) {
        rows->addWidget(roleLabel(QStringLiteral("statValue"), QStringLiteral("Your first transcript will appear here."), m_recentBody));
        rows->addWidget(roleLabel(
            QStringLiteral("secondary"),
            QStringLiteral("Press ") + KeyboardShortcutSetting::defaultToggle().displayName() +
                QStringLiteral(" from any app when you are ready."),
            m_recentBody));
        return;
    }
    for (qsizetype i = 0; i < qMin<qsizetype>(3, items.size()); ++i) {
        auto *row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new SymbolLabel(QStringLiteral("quote.bubble"), 16, SymbolLabel::Tone::secondary, m_recentBody), 0,
                       Qt::AlignTop);
        QLabel *text = roleLabel(QStringLiteral("recent"), items[i].text, m_recentBody);
        text->setWordWrap(true);
        row->addWidget(text, 1);
        rows->addLayout(row);
    }
}

QString HomeScreen::badgeText() const { return m_badge->text(); }
QString HomeScreen::activeModelText() const { return m_activeModel->text(); }
QString HomeScreen::savedText() const { return m_saved->text(); }

QStringList HomeScreen::recentTexts() const
{
    QStringList out;
    for (QLabel *l : m_recentBody->findChildren<QLabel *>())
        if (!qobject_cast<SymbolLabel *>(l))
            out << l->text();
    return out;
}
