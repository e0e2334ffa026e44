#include "screens/DictationHistoryView.h"

#include "app/AppState.h"
#include "components/Components.h"
#include "components/Palette.h"
#include "components/Symbols.h"
#include "platform/Pasteboard.h"
#include "screens/DictationHistoryModel.h"
#include "speech/HistoryStore.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QToolTip>
#include <QVBoxLayout>

namespace {
constexpr int kPadding = 14;
constexpr int kGap = 8;
} // namespace

HistoryRowDelegate::HistoryRowDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QRect HistoryRowDelegate::buttonRect(const QRect &row, Button button, const QFontMetrics &metrics)
{
    const int size = qMax(26, metrics.height() + 8);
    const int right = row.right() - kPadding - (button == Button::remove ? 0 : size + 4);
    return QRect(right - size + 1, row.top() + (row.height() - size) / 2, size, size);
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    // Every row is as tall as two text lines and the details line, so long lists lay out at once.
    const QFontMetrics fm(option.font);
    return QSize(option.rect.width(), kPadding * 2 + fm.lineSpacing() * 3 + 4 + kGap);
}

void HistoryRowDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const Theme theme = Theme::of(option.widget);
    const QRect card = option.rect.adjusted(0, 0, 0, -kGap);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const bool current = option.state & QStyle::State_HasFocus || option.state & QStyle::State_Selected;
    p->setPen(QPen(current ? (theme.dark ? theme.accent : theme.text) : theme.cardBorder, current ? 1.5 : 1));
    p->setBrush(theme.card);
    p->drawRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);

    const QFontMetrics fm(option.font);
    const QRect copy = buttonRect(card, Button::copy, fm);
    const QRect text(card.left() + kPadding, card.top() + kPadding, copy.left() - kGap - card.left() - kPadding,
                     fm.lineSpacing() * 2);
    p->setFont(option.font);
    p->setPen(theme.text);
    // Two lines at most; the whole text is in the tooltip.
    QString body = index.data(DictationHistoryModel::textRole).toString();
    // Two lines never need more than a few hundred characters.
    body = body.left(400).replace(QLatin1Char('\n'), QLatin1Char(' '));
    int cut = body.size();
    while (cut > 0 && fm.horizontalAdvance(body.left(cut)) > text.width()) {
        const int space = body.lastIndexOf(QLatin1Char(' '), cut - 1);
        cut = space > 0 ? space : cut - 1;
    }
    const QString line1 = body.left(cut);
    const QString line2 = fm.elidedText(body.mid(cut).trimmed(), Qt::ElideRight, text.width());
    p->drawText(QRect(text.topLeft(), QSize(text.width(), fm.lineSpacing())), Qt::AlignLeft | Qt::AlignVCenter, line1);
    p->drawText(QRect(text.left(), text.top() + fm.lineSpacing(), text.width(), fm.lineSpacing()),
                Qt::AlignLeft | Qt::AlignVCenter, line2);
    p->setPen(theme.secondaryText);
    const QRect details(text.left(), text.bottom() + 5, text.width(), fm.lineSpacing());
    p->drawText(details, Qt::AlignLeft | Qt::AlignVCenter,
                fm.elidedText(index.data(DictationHistoryModel::detailsRole).toString(), Qt::ElideRight, text.width()));

    const qreal ratio = p->device() ? p->device()->devicePixelRatioF() : 1.0;
    for (auto [button, symbol] : {std::pair{Button::copy, "doc.on.doc"}, std::pair{Button::remove, "trash"}}) {
        const QRect r = buttonRect(card, button, fm);
        const int icon = r.width() - 10;
        p->drawPixmap(r.left() + 5, r.top() + 5, Symbols::pixmap(QLatin1String(symbol), theme.secondaryText, icon, ratio));
    }
    p->restore();
}

bool HistoryRowDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                     const QModelIndex &index)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QRect card = option.rect.adjusted(0, 0, 0, -kGap);
        const QFontMetrics fm(option.font);
        for (Button b : {Button::copy, Button::remove})
            if (buttonRect(card, b, fm).contains(mouse->position().toPoint())) {
                emit buttonClicked(index.row(), b);
                return true;
            }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool HistoryRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    const QRect card = option.rect.adjusted(0, 0, 0, -kGap);
    const QFontMetrics fm(option.font);
    if (buttonRect(card, Button::copy, fm).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), QStringLiteral("Copy transcript"), view);
        return true;
    }
    if (buttonRect(card, Button::remove, fm).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), QStringLiteral("Delete transcript"), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

QWidget *makeEmptyState(QWidget *parent, SymbolLabel **icon, QLabel **title, QLabel **text)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->addStretch();
    *icon = new SymbolLabel(QString(), 34, SymbolLabel::Tone::secondary, box);
    layout->addWidget(*icon, 0, Qt::AlignHCenter);
    *title = roleLabel(QStringLiteral("heading"), QString(), box);
    (*title)->setAlignment(Qt::AlignCenter);
    layout->addWidget(*title);
    *text = roleLabel(QStringLiteral("secondary"), QString(), box);
    (*text)->setAlignment(Qt::AlignCenter);
    (*text)->setWordWrap(true);
    layout->addWidget(*text);
    layout->addStretch(2);
    return box;
}

DictationHistoryView::DictationHistoryView(const WindowContext &context, QWidget *parent)
    : QWidget(parent), m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);

    m_model = new DictationHistoryModel(context.history, this);
    m_list = new QListView(m_stack);
    m_list->setModel(m_model);
    m_list->setUniformItemSizes(true);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(QStringLiteral("Dictation transcripts"));
    m_list->setMouseTracking(true);
    auto *delegate = new HistoryRowDelegate(m_list);
    m_list->setItemDelegate(delegate);
    connect(delegate, &HistoryRowDelegate::buttonClicked, this, [this](int row, HistoryRowDelegate::Button b) {
        if (b == HistoryRowDelegate::Button::copy)
            copyRow(row);
        else
            deleteRow(row);
    });
    // The row buttons from the keyboard (Ctrl+C copies, Delete removes the current row) and in
    // the row's context menu.
    auto *copy = new QAction(QStringLiteral("Copy transcript"), m_list);
    connect(copy, &QAction::triggered, this, [this] {
        if (m_list->currentIndex().isValid())
            copyRow(m_list->currentIndex().row());
    });
    auto *remove = new QAction(QStringLiteral("Delete transcript"), m_list);
    connect(remove, &QAction::triggered, this, [this] {
        if (m_list->currentIndex().isValid())
            deleteRow(m_list->currentIndex().row());
    });
    m_list->addActions({copy, remove});
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_list->installEventFilter(this);
    m_stack->addWidget(m_list);

    m_empty = makeEmptyState(m_stack, &m_emptyIcon, &m_emptyTitle, &m_emptyText);
    m_stack->addWidget(m_empty);

    connect(m_model, &DictationHistoryModel::resultsChanged, this, &DictationHistoryView::refreshState);
    refreshState();
}

void DictationHistoryView::setSearch(const QString &search) { m_model->setSearch(search); }

void DictationHistoryView::refreshState()
{
    if (m_model->storeIsEmpty()) {
        m_emptyIcon->setSymbol(QStringLiteral("waveform.badge.mic"));
        m_emptyTitle->setText(QStringLiteral("No transcripts yet"));
        m_emptyText->setText(QStringLiteral("Use ") + KeyboardShortcutSetting::defaultToggle().displayName() +
                             QStringLiteral(" to capture your first thought."));
        m_stack->setCurrentWidget(m_empty);
    } else if (m_model->rowCount() == 0) {
        m_emptyIcon->setSymbol(QStringLiteral("magnifyingglass"));
        m_emptyTitle->setText(QStringLiteral("No matching transcripts"));
        m_emptyText->setText(QStringLiteral("Try a different word."));
        m_stack->setCurrentWidget(m_empty);
    } else {
        m_stack->setCurrentWidget(m_list);
    }
}

QString DictationHistoryView::emptyTitle() const
{
    return m_stack->currentWidget() == m_empty ? m_emptyTitle->text() : QString();
}

void DictationHistoryView::copyRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QString text = m_model->item(row).text;
    if (m_context.pasteboard) {
        m_context.pasteboard->clear();
        m_context.pasteboard->setString(text);
    } else {
        QApplication::clipboard()->setText(text);
    }
}

void DictationHistoryView::deleteRow(int row)
{
    if (row < 0 || row >= m_model->rowCount() || !m_context.history)
        return;
    // A copy: the store's list changes under the reference.
    const HistoryItem item = m_model->item(row);
    m_context.history->deleteItem(item);
}

bool DictationHistoryView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress && m_list->currentIndex().isValid()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int row = m_list->currentIndex().row();
        if (key->matches(QKeySequence::Copy)) {
            copyRow(row);
            return true;
        }
        if (key->matches(QKeySequence::Delete) || key->key() == Qt::Key_Backspace) {
            deleteRow(row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
