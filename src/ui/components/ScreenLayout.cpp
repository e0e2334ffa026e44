#include "components/ScreenLayout.h"

#include "components/Components.h"
#include "components/Palette.h"
#include "components/ScreenColumn.h"
#include "components/Symbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ScreenLayout {

namespace {
int em(const QWidget *w) { return w->fontMetrics().height(); }
} // namespace

QIcon symbol(const QString &name) { return Symbols::icon(name, Theme::of(nullptr).text, 16); }

QString shortcutName(const KeyboardShortcutSetting &shortcut) { return shortcut.displayName(); }

QVBoxLayout *page(QWidget *screen, QScrollArea **scrollOut)
{
    auto *outer = new QVBoxLayout(screen);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new ScreenColumn(screen);
    outer->addWidget(scroll);
    if (scrollOut)
        *scrollOut = scroll;
    return scroll->column();
}

QWidget *heading(const QString &captionText, const QString &title, const QString &subtitle)
{
    return new SectionHeading(captionText, title, subtitle);
}

QLabel *sectionTitle(const QString &text) { return roleLabel(QStringLiteral("heading"), text); }

CardBackground *card(QVBoxLayout **rows)
{
    auto *frame = new CardBackground;
    auto *v = new QVBoxLayout(frame);
    const int m = em(frame);
    v->setContentsMargins(m, m * 3 / 4, m, m * 3 / 4);
    v->setSpacing(m / 2);
    if (rows)
        *rows = v;
    return frame;
}

QWidget *row(const QString &symbolName, const QString &title, const QString &explanation, QWidget *control)
{
    auto *box = new QWidget;
    auto *h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    const int m = em(box);
    h->setSpacing(m * 3 / 4);
    if (!symbolName.isEmpty())
        h->addWidget(new SymbolLabel(symbolName, m * 5 / 4, SymbolLabel::Tone::secondary), 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(0);
    auto *t = roleLabel(QStringLiteral("rowTitle"), title);
    texts->addWidget(t);
    if (!explanation.isEmpty()) {
        auto *e = caption(explanation);
        e->setObjectName(QStringLiteral("explanation"));
        texts->addWidget(e);
    }
    h->addLayout(texts, 1);
    if (control) {
        h->addWidget(control, 0, Qt::AlignRight | Qt::AlignVCenter);
        if (control->accessibleName().isEmpty())
            control->setAccessibleName(title);
    }
    return box;
}

QWidget *note(const QString &symbolName, const QString &text, QLabel **labelOut)
{
    auto *box = new QWidget;
    auto *h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    // Without a picture the text starts at the edge rather than after a gap.
    if (!Symbols::sourceFile(symbolName).isEmpty())
        h->addWidget(new SymbolLabel(symbolName, em(box), SymbolLabel::Tone::secondary), 0, Qt::AlignTop);
    auto *label = wrapping(text);
    h->addWidget(label, 1);
    if (labelOut)
        *labelOut = label;
    return box;
}

QLabel *caption(const QString &text)
{
    auto *l = roleLabel(QStringLiteral("secondary"), text);
    l->setWordWrap(true);
    return l;
}

QLabel *wrapping(const QString &text)
{
    auto *l = new QLabel(text);
    l->setWordWrap(true);
    return l;
}

QFrame *divider()
{
    auto *line = new QFrame;
    line->setProperty("role", QStringLiteral("divider"));
    line->setFrameShape(QFrame::NoFrame);
    line->setFixedHeight(1);
    return line;
}

} // namespace ScreenLayout
