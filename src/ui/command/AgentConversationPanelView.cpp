#include "AgentConversationPanelView.h"

#include "app/AppState.h"
#include "command/AgentConversationStore.h"
#include "ui/overlay/OverlayContent.h"
#include "ui/overlay/SymbolPainter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <qcoro/qcorotask.h>

namespace {

bool isWorking(AgentPhase phase)
{
    return phase == AgentPhase::transcribing || phase == AgentPhase::loadingModel || phase == AgentPhase::generating;
}

QPushButton *symbolButton(const QString &symbol, const QString &tip)
{
    auto *b = new QPushButton;
    b->setIcon(SymbolPainter::icon(symbol, QColor(60, 60, 67)));
    b->setIconSize(QSize(16, 16));
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    b->setFixedSize(32, 32);
    return b;
}

QWidget *chip(const QString &symbol, const QString &text)
{
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("chip"));
    box->setStyleSheet(QStringLiteral("#chip { background: rgba(120,120,128,40); border-radius: 8px; }"));
    auto *icon = new QLabel;
    icon->setPixmap(SymbolPainter::icon(symbol, QColor(99, 99, 102)).pixmap(14, 14));
    auto *label = new QLabel(text);
    label->setObjectName(QStringLiteral("chipText"));
    label->setTextFormat(Qt::PlainText);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(8, 2, 8, 2);
    row->setSpacing(4);
    row->addWidget(icon);
    row->addWidget(label);
    return box;
}

} // namespace

AgentConversationPanelView::AgentConversationPanelView(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    m_pages = new QStackedWidget;

    // The conversation page.
    auto *page = new QWidget;
    m_title = new QLabel;
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setWordWrap(true);
    m_target = new QLabel;
    m_target->setStyleSheet(QStringLiteral("color: palette(mid);"));
    auto *list = new QWidget;
    m_messages = new QVBoxLayout(list);
    m_messages->setSpacing(10);
    m_messages->addStretch(1);
    m_scroll = new QScrollArea;
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(list);
    // The newest text stays in view as it grows.
    connect(m_scroll->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int max) { m_scroll->verticalScrollBar()->setValue(max); });

    m_error = new QLabel;
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #d70015;"));
    m_chip = chip(QStringLiteral("photo"), QStringLiteral("Window screenshot attached"));
    m_followUp = new QPlainTextEdit;
    m_followUp->setPlaceholderText(QStringLiteral("Ask for a refinement…"));
    m_followUp->setTabChangesFocus(true);
    m_followUp->installEventFilter(this);
    // Grows with its text up to four lines.
    const auto fitHeight = [this] {
        const int line = m_followUp->fontMetrics().lineSpacing();
        const int lines = std::clamp(int(m_followUp->document()->size().height()), 1, 4);
        m_followUp->setFixedHeight(lines * line + 2 * int(m_followUp->document()->documentMargin()) + 4);
    };
    connect(m_followUp->document(), &QTextDocument::contentsChanged, this, fitHeight);
    fitHeight();

    m_camera = symbolButton(QStringLiteral("camera"), QStringLiteral("Attach the target application window"));
    m_microphone = symbolButton(QStringLiteral("mic.fill"), QStringLiteral("Speak a follow-up"));
    m_send = symbolButton(QStringLiteral("arrow.up"), QStringLiteral("Send"));
    m_copy = new QPushButton(QStringLiteral("Copy latest"));
    m_paste = new QPushButton(QStringLiteral("Paste"));

    auto *field = new QHBoxLayout;
    field->addWidget(m_followUp, 1);
    field->addWidget(m_camera, 0, Qt::AlignBottom);
    field->addWidget(m_microphone, 0, Qt::AlignBottom);
    field->addWidget(m_send, 0, Qt::AlignBottom);
    auto *actions = new QHBoxLayout;
    actions->addStretch(1);
    actions->addWidget(m_copy);
    actions->addWidget(m_paste);
    auto *column = new QVBoxLayout(page);
    column->addWidget(m_title);
    column->addWidget(m_target);
    column->addWidget(m_scroll, 1);
    column->addWidget(m_error);
    column->addWidget(m_chip, 0, Qt::AlignLeft);
    column->addLayout(field);
    column->addLayout(actions);

    // The page for a conversation that is not (or no longer) there.
    auto *missing = new QWidget;
    auto *icon = new QLabel;
    icon->setPixmap(SymbolPainter::icon(QStringLiteral("text.bubble"), QColor(142, 142, 147)).pixmap(48, 48));
    auto *missingTitle = new QLabel(QStringLiteral("Conversation unavailable"));
    missingTitle->setFont(titleFont);
    auto *missingDetail = new QLabel(QStringLiteral("It may have been deleted."));
    auto *missingColumn = new QVBoxLayout(missing);
    missingColumn->addStretch(1);
    for (QLabel *l : {icon, missingTitle, missingDetail})
        missingColumn->addWidget(l, 0, Qt::AlignHCenter);
    missingColumn->addStretch(1);

    m_pages->addWidget(page);
    m_pages->addWidget(missing);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_pages);

    connect(m_send, &QPushButton::clicked, this, &AgentConversationPanelView::submit);
    connect(m_camera, &QPushButton::clicked, this, &AgentConversationPanelView::attachScreenshot);
    connect(m_microphone, &QPushButton::clicked, this, [this] { m_state.startAgentFollowUpRecording(); });
    connect(m_copy, &QPushButton::clicked, this, [this] { m_state.copyAgentResult(); });
    connect(m_paste, &QPushButton::clicked, this, [this] { m_state.pasteAgentResult(); });

    connect(&m_state.agentConversationStore(), &AgentConversationStore::conversationsChanged, this,
            &AgentConversationPanelView::rebuildMessages);
    connect(&m_state, &AppState::activeAgentConversationIDChanged, this, &AgentConversationPanelView::rebuildMessages);
    connect(&m_state, &AppState::agentPhaseChanged, this, [this] {
        refreshLive();
        refreshComposer();
    });
    connect(&m_state, &AppState::agentStreamedTextChanged, this, &AgentConversationPanelView::refreshLive);
    connect(&m_state, &AppState::agentSettingsChanged, this, &AgentConversationPanelView::refreshComposer);
    rebuildMessages();
    refreshComposer();
}

QWidget *AgentConversationPanelView::bubble(AgentMessageRole role, const QString &text,
                                            const QList<AgentContextAttachment> &attachments)
{
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("bubble"));
    const bool user = role == AgentMessageRole::user;
    box->setStyleSheet(user ? QStringLiteral("#bubble { background: rgba(120,120,128,28); border-radius: 12px; }")
                            : QStringLiteral("#bubble { background: rgba(223,255,67,40); border-radius: 12px; }"));
    auto *caption = new QLabel(user ? QStringLiteral("YOU") : QStringLiteral("ORVEL"));
    caption->setObjectName(QStringLiteral("caption"));
    QFont small = caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    small.setWeight(QFont::Bold);
    caption->setFont(small);
    auto *body = new QLabel(text);
    body->setObjectName(QStringLiteral("body"));
    body->setTextFormat(Qt::PlainText);
    body->setWordWrap(true);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *column = new QVBoxLayout(box);
    column->addWidget(caption);
    column->addWidget(body);
    for (const AgentContextAttachment &a : attachments)
        column->addWidget(chip(a.kind == AgentAttachmentKind::screenshot ? QStringLiteral("photo")
                                                                           : QStringLiteral("text.quote"),
                               a.displayName),
                          0, Qt::AlignLeft);
    return box;
}

void AgentConversationPanelView::rebuildMessages()
{
    const auto id = m_state.activeAgentConversationID();
    const auto conversation = id ? m_state.agentConversationStore().conversation(*id) : std::nullopt;
    m_pages->setCurrentIndex(conversation ? 0 : 1);
    while (m_messages->count() > 1) {
        QLayoutItem *item = m_messages->takeAt(0);
        delete item->widget();
        delete item;
    }
    m_liveBubble = nullptr;
    m_liveText = nullptr;
    m_progressRow = nullptr;
    m_progressTitle = nullptr;
    if (!conversation)
        return;
    m_title->setText(conversation->title);
    m_target->setText(conversation->targetApplicationName);
    // Shown at once, not when the layout gets round to it, so the list is whole in one go.
    for (const AgentMessage &m : conversation->messages) {
        QWidget *b = bubble(m.role, m.text, m.attachments);
        m_messages->insertWidget(m_messages->count() - 1, b);
        b->setVisible(true);
    }

    m_liveBubble = bubble(AgentMessageRole::assistant, {}, {});
    m_liveText = m_liveBubble->findChild<QLabel *>(QStringLiteral("body"));
    m_progressRow = new QWidget;
    auto *row = new QHBoxLayout(m_progressRow);
    auto *spinner = new QLabel;
    spinner->setPixmap(SymbolPainter::icon(QStringLiteral("ellipsis"), QColor(142, 142, 147)).pixmap(18, 18));
    m_progressTitle = new QLabel;
    row->addWidget(spinner);
    row->addWidget(m_progressTitle);
    row->addStretch(1);
    m_messages->insertWidget(m_messages->count() - 1, m_liveBubble);
    m_messages->insertWidget(m_messages->count() - 1, m_progressRow);
    refreshLive();
}

void AgentConversationPanelView::refreshLive()
{
    if (!m_liveBubble)
        return;
    const bool working = isWorking(m_state.agentPhase());
    const QString &streamed = m_state.agentStreamedText();
    m_liveBubble->setVisible(working && !streamed.isEmpty());
    m_liveText->setText(streamed);
    m_progressRow->setVisible(working && streamed.isEmpty());
    OverlayContent phase;
    phase.agentPhase = m_state.agentPhase();
    m_progressTitle->setText(phase.agentPhaseTitle());
}

void AgentConversationPanelView::refreshComposer()
{
    const auto model = m_state.selectedAgentModel();
    m_camera->setVisible(model && model->capabilities.images);
    const bool listening = m_state.agentPhase() == AgentPhase::listening;
    m_microphone->setIcon(SymbolPainter::icon(listening ? QStringLiteral("stop.fill") : QStringLiteral("mic.fill"),
                                              QColor(60, 60, 67)));
    m_error->setVisible(m_attachmentError.has_value());
    m_error->setText(m_attachmentError.value_or(QString()));
    m_chip->setVisible(!m_attachments.isEmpty());
}

void AgentConversationPanelView::submit()
{
    const QString text = m_followUp->toPlainText();
    const QList<AgentContextAttachment> attachments = m_attachments;
    m_followUp->clear();
    m_attachments.clear();
    refreshComposer();
    m_state.submitAgentFollowUp(text, attachments);
}

void AgentConversationPanelView::focusComposer() { m_followUp->setFocus(Qt::ActiveWindowFocusReason); }

// Enter sends, as in chat programs; Shift+Enter starts a new line.
bool AgentConversationPanelView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_followUp && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & Qt::ShiftModifier)) {
            submit();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AgentConversationPanelView::attachScreenshot()
{
    if (m_capturing)
        return;
    m_capturing = true;
    QPointer<AgentConversationPanelView> self(this);
    [](QPointer<AgentConversationPanelView> view) -> QCoro::Task<> {
        auto task = view->m_state.captureAgentScreenshotAttachment();
        const auto result = co_await task;
        if (!view)
            co_return;
        view->m_capturing = false;
        if (result.ok()) {
            view->m_attachments = {result.value()};
            view->m_attachmentError.reset();
        } else {
            view->m_attachmentError = result.error().description();
        }
        view->refreshComposer();
    }(self);
}

QStringList AgentConversationPanelView::shownTexts() const
{
    QStringList out;
    for (int i = 0; i < m_messages->count(); ++i) {
        QWidget *w = m_messages->itemAt(i)->widget();
        if (!w || !w->isVisibleTo(this))
            continue;
        if (w == m_progressRow) {
            out << m_progressTitle->text();
            continue;
        }
        out << w->findChild<QLabel *>(QStringLiteral("caption"))->text() + QStringLiteral(": ") +
                   w->findChild<QLabel *>(QStringLiteral("body"))->text();
    }
    return out;
}

bool AgentConversationPanelView::showsUnavailable() const { return m_pages->currentIndex() == 1; }

bool AgentConversationPanelView::showsScreenshotChip() const { return m_chip->isVisibleTo(this); }
