#include "window/OnboardingModelCard.h"

#include "components/Components.h"
#include "components/ModelViews.h"
#include "components/Palette.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

OnboardingModelCard::OnboardingModelCard(const SpeechModel &model, QWidget *parent) : QFrame(parent), m_model(model)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(model.name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(14);
    layout->addWidget(new ModelGlyph(model, qMax(40, fontMetrics().height() * 2 + 6), this), 0, Qt::AlignTop);

    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(roleLabel(QStringLiteral("heading"), model.name, this));
    QLabel *detail = roleLabel(QStringLiteral("secondary"), model.detail, this);
    detail->setWordWrap(true);
    text->addWidget(detail);
    auto *ratings = new QHBoxLayout;
    ratings->setSpacing(14);
    ratings->addWidget(new ModelRating(QStringLiteral("Speed"), model.speedRating(), true, this));
    ratings->addWidget(new ModelRating(QStringLiteral("Quality"), model.qualityRating(), true, this));
    ratings->addStretch();
    text->addLayout(ratings);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->hide();
    text->addWidget(m_progress);
    layout->addLayout(text, 1);

    auto *side = new QVBoxLayout;
    m_radio = new SymbolLabel(QStringLiteral("circle"), 20, SymbolLabel::Tone::secondary, this);
    side->addWidget(m_radio, 0, Qt::AlignRight);
    side->addStretch();
    m_state = roleLabel(QStringLiteral("badge"), QString(), this);
    side->addWidget(m_state, 0, Qt::AlignRight);
    layout->addLayout(side);
}

void OnboardingModelCard::setChosen(bool chosen)
{
    m_chosen = chosen;
    m_radio->setSymbol(chosen ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"));
    m_radio->setTone(chosen ? SymbolLabel::Tone::accent : SymbolLabel::Tone::secondary);
    update();
}

void OnboardingModelCard::setInstallState(bool installed, std::optional<double> progress)
{
    if (installed) {
        m_state->setText(QStringLiteral("Ready"));
        m_progress->hide();
    } else if (progress) {
        m_state->setText(QString::number(qRound(*progress * 100)) + QLatin1Char('%'));
        m_progress->setValue(qRound(*progress * 1000));
        m_progress->show();
    } else {
        m_state->setText(QStringLiteral("Download"));
        m_progress->hide();
    }
}

QString OnboardingModelCard::stateText() const { return m_state->text(); }

void OnboardingModelCard::paintEvent(QPaintEvent *)
{
    const Theme theme = Theme::of(this);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor edge = m_chosen ? (theme.dark ? theme.accent : theme.text) : theme.cardBorder;
    p.setPen(QPen(edge, m_chosen || hasFocus() ? 2 : 1));
    p.setBrush(theme.card);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 12, 12);
}

void OnboardingModelCard::mouseReleaseEvent(QMouseEvent *event)
{
    QFrame::mouseReleaseEvent(event);
    emit chosenByUser(m_model.id);
}

void OnboardingModelCard::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit chosenByUser(m_model.id);
        return;
    }
    QFrame::keyPressEvent(event);
}
