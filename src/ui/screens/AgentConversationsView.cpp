#include "screens/AgentConversationsView.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "command/AgentConversationStore.h"
#include "components/Components.h"
#include "components/Palette.h"
#include "components/Symbols.h"
#include "screens/DictationHistoryView.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int idRole = Qt::UserRole + 1;
constexpr int detailsRole = Qt::UserRole + 2;
constexpr int kPadding = 12;
constexpr int kGap = 6;

// A conversation row: bubble, title, details line and a chevron on a card.
class ConversationRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const QFontMetrics fm(option.font);
        return QSize(option.rect.width(), kPadding * 2 + fm.lineSpacing() * 2 + 4 + kGap);
    }

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const Theme theme = Theme::of(option.widget);
        const QRect card = option.rect.adjusted(0, 0, 0, -kGap);
        const bool current = option.state & (QStyle::State_HasFocus | QStyle::State_Selected);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(QPen(current ? (theme.dark ? theme.accent : theme.text) : theme.cardBorder, current ? 1.5 : 1));
        p->setBrush(option.state & QStyle::State_MouseOver ? theme.card.lighter(theme.dark ? 115 : 102) : theme.card);
        p->drawRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        const QFontMetrics fm(option.font);
        const qreal ratio = p->device() ? p->device()->devicePixelRatioF() : 1.0;
        const int icon = fm.height() + 4;
        p->drawPixmap(card.left() + kPadding, card.top() + (card.height() - icon) / 2,
                      Symbols::pixmap(QStringLiteral("text.bubble.fill"), theme.secondaryText, icon, ratio));
        const int chevron = fm.height();
        p->drawPixmap(card.right() - kPadding - chevron, card.top() + (card.height() - chevron) / 2,
                      Symbols::pixmap(QStringLiteral("chevron.right"), theme.secondaryText, chevron, ratio));
        const int left = card.left() + kPadding * 2 + icon;
        const int width = card.right() - kPadding * 2 - chevron - left;
        QFont bold = option.font;
        bold.setBold(true);
        p->setFont(bold);
        p->setPen(theme.text);
        p->drawText(QRect(left, card.top() + kPadding, width, fm.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetrics(bold).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, width));
        p->setFont(option.font);
        p->setPen(theme.secondaryText);
        p->drawText(QRect(left, card.top() + kPadding + fm.lineSpacing() + 4, width, fm.lineSpacing()),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(index.data(detailsRole).toString(), Qt::ElideRight, width));
        p->restore();
    }
};

// "5 minutes ago", "yesterday", "3 days ago" …
QString relativeTime(const QDateTime &then, const QDateTime &now)
{
    const qint64 seconds = then.secsTo(now);
    if (seconds < 60)
        return QStringLiteral("just now");
    auto unit = [](qint64 n, const char *name) {
        return QString::number(n) + QLatin1Char(' ') + QLatin1String(name) + (n == 1 ? QString() : QStringLiteral("s")) +
               QStringLiteral(" ago");
    };
    if (seconds < 3600)
        return unit(seconds / 60, "minute");
    if (seconds < 86400)
        return unit(seconds / 3600, "hour");
    if (seconds < 86400 * 2)
        return QStringLiteral("yesterday");
    if (seconds < 86400 * 30)
        return unit(seconds / 86400, "day");
    return QLocale().toString(then.toLocalTime().date(), QLocale::ShortFormat);
}

} // namespace

QString AgentConversationsView::rowDetails(const AgentConversation &c, const QDateTime &now)
{
    const QString app = c.targetApplicationName.isEmpty() ? QStringLiteral("Unknown app") : c.targetApplicationName;
    const qsizetype n = c.messages.size();
    return app + QStringLiteral(" · ") + QString::number(n) + (n == 1 ? QStringLiteral(" message · ") : QStringLiteral(" messages · ")) +
           relativeTime(c.updatedAt, now);
}

AgentConversationsView::AgentConversationsView(const WindowContext &context, QWidget *parent)
    : QWidget(parent), m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    auto *head = new QHBoxLayout;
    head->addWidget(new SectionHeading(
                        QStringLiteral("Local threads"), QStringLiteral("Conversations"),
                        PlatformWording::adapt(QStringLiteral(
                            "Completed drafts and their follow-up refinements stay on this Mac until you delete them.")),
                        this),
                    1);
    auto *clear = new QuietButton(QStringLiteral("Clear history…"), QStringLiteral("trash"), [this] { confirmAndClear(); }, this);
    head->addWidget(clear, 0, Qt::AlignBottom);
    layout->addLayout(head);

    m_stack = new QStackedWidget(this);
    m_list = new QListWidget(m_stack);
    m_list->setAccessibleName(QStringLiteral("Command conversations"));
    m_list->setItemDelegate(new ConversationRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setMouseTracking(true);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        m_context.state->openAgentConversation(item->data(idRole).toUuid());
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QListWidgetItem *item = m_list->itemAt(at);
        if (!item)
            return;
        QMenu menu(this);
        QAction *remove = menu.addAction(QStringLiteral("Delete"));
        if (menu.exec(m_list->viewport()->mapToGlobal(at)) == remove)
            m_context.state->agentConversationStore().deleteConversation(item->data(idRole).toUuid());
    });
    // Enter opens and Delete removes the current row, as a click and the row's menu do.
    m_list->installEventFilter(this);
    m_stack->addWidget(m_list);

    m_empty = makeEmptyState(m_stack, &m_emptyIcon, &m_emptyTitle, &m_emptyText);
    m_emptyIcon->setSymbol(QStringLiteral("wand.and.stars"));
    m_emptyTitle->setText(QStringLiteral("No Command conversations yet"));
    m_startHint = roleLabel(QStringLiteral("keyHint"), QString(), m_empty);
    m_startHint->setAlignment(Qt::AlignCenter);
    static_cast<QVBoxLayout *>(m_empty->layout())->insertWidget(4, m_startHint, 0, Qt::AlignHCenter);
    m_stack->addWidget(m_empty);
    layout->addWidget(m_stack, 1);

    connect(m_context.state, &AppState::shortcutsChanged, this, &AgentConversationsView::refresh);
    connect(&m_context.state->agentConversationStore(), &AgentConversationStore::conversationsChanged, this,
            &AgentConversationsView::refresh);
    refresh();
}

void AgentConversationsView::refresh()
{
    const QString shortcut = m_context.state->agentShortcut().displayName();
    m_emptyText->setText(QStringLiteral("Select text in another app, press ") + shortcut +
                         QStringLiteral(", and speak the result you want."));
    m_startHint->setText(QStringLiteral("Start Command · ") + shortcut);

    const QList<AgentConversation> &all = m_context.state->agentConversationStore().conversations();
    m_list->clear();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const AgentConversation &c : all) {
        auto *item = new QListWidgetItem(c.title);
        item->setData(detailsRole, rowDetails(c, now));
        item->setData(Qt::AccessibleTextRole, c.title + QStringLiteral(", ") + rowDetails(c, now));
        item->setData(idRole, c.id);
        item->setToolTip(c.title);
        m_list->addItem(item);
    }
    m_stack->setCurrentWidget(all.isEmpty() ? m_empty : static_cast<QWidget *>(m_list));
}

QString AgentConversationsView::emptyTitle() const
{
    return m_stack->currentWidget() == m_empty ? m_emptyTitle->text() : QString();
}

bool AgentConversationsView::confirmAndClear()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Clear all Command history?"),
                    QStringLiteral("Clear all Command history?"), QMessageBox::NoButton, this);
    box.setInformativeText(
        QStringLiteral("This removes local conversations and their attachments. Writing models stay installed."));
    QPushButton *confirm = box.addButton(QStringLiteral("Delete Command history"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    // Enter must never destroy data by accident; Esc cancels.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() != confirm)
        return false;
    m_context.state->clearAgentConversations();
    return true;
}

bool AgentConversationsView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        QListWidgetItem *item = m_list->currentItem();
        if (item && key->matches(QKeySequence::Delete)) {
            m_context.state->agentConversationStore().deleteConversation(item->data(idRole).toUuid());
            return true;
        }
        if (item && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            m_context.state->openAgentConversation(item->data(idRole).toUuid());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
