#include "AgentResultToast.h"

#include "app/AppState.h"
#include "ui/overlay/OverlayCardPainter.h"
#include "ui/overlay/OverlayPanel.h"
#include "ui/overlay/SymbolPainter.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString buttonStyle(bool dark, bool primary)
{
    const QString text = dark ? QStringLiteral("white") : QStringLiteral("black");
    const QString fill = primary ? QStringLiteral("rgba(223, 255, 67, 230)")
                                 : (dark ? QStringLiteral("rgba(255,255,255,30)") : QStringLiteral("rgba(0,0,0,18)"));
    return QStringLiteral("QPushButton { border: none; border-radius: 11px; padding: 3px 12px; color: %1;"
                          " background: %2; font-weight: 600; }"
                          "QPushButton:pressed { background: rgba(128,128,128,90); }")
        .arg(primary ? QStringLiteral("black") : text, fill);
}

} // namespace

AgentResultToast::AgentResultToast(AppState &state, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_state(state)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Command finished"));
    setFixedSize(panelWidth, panelHeight);

    m_title = new QLabel(QStringLiteral("Command finished"));
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_result = new QLabel;
    m_result->setTextFormat(Qt::PlainText);
    m_close = new QPushButton;
    m_close->setFixedSize(22, 22);
    m_close->setToolTip(QStringLiteral("Dismiss"));
    m_open = new QPushButton(QStringLiteral("Open"));
    m_dismiss = new QPushButton(QStringLiteral("Dismiss"));
    m_paste = new QPushButton(QStringLiteral("Paste"));
    for (QPushButton *b : {m_close, m_open, m_dismiss, m_paste})
        b->setFocusPolicy(Qt::NoFocus);

    auto *badge = new QLabel;
    badge->setFixedSize(28, 28);
    badge->setObjectName(QStringLiteral("badge"));

    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(m_title);
    texts->addWidget(m_result);
    auto *top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(badge, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    top->addWidget(m_close, 0, Qt::AlignTop);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_open);
    buttons->addWidget(m_dismiss);
    buttons->addWidget(m_paste);
    buttons->addStretch(1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(4 + 14, 4 + 12, 4 + 14, 4 + 12);
    column->addLayout(top);
    column->addStretch(1);
    column->addLayout(buttons);

    connect(m_open, &QPushButton::clicked, this, [this] {
        if (const auto id = m_state.activeAgentConversationID())
            m_state.openAgentConversation(*id);
    });
    connect(m_dismiss, &QPushButton::clicked, this, &AgentResultToast::dismissRequested);
    connect(m_close, &QPushButton::clicked, this, &AgentResultToast::dismissRequested);
    connect(m_paste, &QPushButton::clicked, this, [this] { m_state.pasteAgentResult(); });
    for (auto signal : {&AppState::agentResultTextChanged, &AppState::agentResultNeedsPasteChanged,
                        &AppState::preferencesChanged})
        connect(&m_state, signal, this, &AgentResultToast::refresh);
    refresh();
}

QString AgentResultToast::shownResult() const { return m_result->text(); }

bool AgentResultToast::dark() const
{
    switch (m_state.overlayAppearance()) {
    case OverlayAppearance::light:
        return false;
    case OverlayAppearance::dark:
        return true;
    case OverlayAppearance::automatic:
        break;
    }
    return OverlayPanel::systemIsDark();
}

void AgentResultToast::refresh()
{
    const bool isDark = dark();
    const QColor fg = OverlayCardPainter::foreground(isDark, 1.0);
    m_title->setStyleSheet(QStringLiteral("color: %1;").arg(fg.name()));
    m_result->setStyleSheet(QStringLiteral("color: %1;").arg(OverlayCardPainter::foreground(isDark, 0.62).name(QColor::HexArgb)));
    // One line, cut with an ellipsis.
    const QString firstLine = m_state.agentResultText().simplified();
    const int room = panelWidth - 8 - 28 - 22 - 2 * 14 - 2 * 10;
    m_result->setText(m_result->fontMetrics().elidedText(firstLine, Qt::ElideRight, room));
    m_open->setStyleSheet(buttonStyle(isDark, true));
    m_dismiss->setStyleSheet(buttonStyle(isDark, false));
    m_paste->setStyleSheet(buttonStyle(isDark, false));
    m_close->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: 11px; background: %1; }")
                               .arg(isDark ? QStringLiteral("rgba(255,255,255,30)") : QStringLiteral("rgba(0,0,0,18)")));
    m_close->setIcon(SymbolPainter::icon(QStringLiteral("xmark"), fg));
    m_close->setIconSize(QSize(10, 10));
    m_paste->setVisible(m_state.agentResultNeedsPaste());
    update();
}

QPainterPath AgentResultToast::cardShape() const
{
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 19, 19);
    return shape;
}

void AgentResultToast::setCutToCard(bool cut)
{
    if (cut)
        setMask(QRegion(cardShape().toFillPolygon().toPolygon()));
    else
        clearMask();
}

void AgentResultToast::paintEvent(QPaintEvent *)
{
    const bool isDark = dark();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = cardShape();
    p.fillPath(shape, OverlayCardPainter::cardFill(isDark));
    p.setPen(QPen(OverlayCardPainter::foreground(isDark, 0.12), 0.75));
    p.drawPath(shape);
    // The checkmark badge behind the label that holds its place in the layout.
    if (const QWidget *badge = findChild<QWidget *>(QStringLiteral("badge"))) {
        const QRectF circle(badge->geometry());
        QColor wash = OverlayColors::success();
        wash.setAlphaF(0.18f);
        p.setPen(Qt::NoPen);
        p.setBrush(wash);
        p.drawEllipse(circle);
        SymbolPainter::draw(p, QStringLiteral("checkmark"), circle.adjusted(8, 8, -8, -8), OverlayColors::success());
    }
}

void AgentResultToast::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange)
        refresh();
}
