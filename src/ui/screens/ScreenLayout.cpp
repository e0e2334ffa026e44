#include "ui/screens/ScreenLayout.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace ScreenLayout {

namespace {
int em(const QWidget *w) { return w->fontMetrics().height(); }

// The freedesktop names standing in for the symbols these screens use.
QString themeName(const QString &symbolName)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("keyboard"), QStringLiteral("input-keyboard")},
        {QStringLiteral("hand.tap.fill"), QStringLiteral("input-mouse")},
        {QStringLiteral("escape"), QStringLiteral("process-stop")},
        {QStringLiteral("doc.on.clipboard"), QStringLiteral("edit-paste")},
        {QStringLiteral("speaker.wave.2.fill"), QStringLiteral("audio-volume-high")},
        {QStringLiteral("wand.and.stars"), QStringLiteral("tools-wizard")},
        {QStringLiteral("camera.viewfinder"), QStringLiteral("camera-photo")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("circle.lefthalf.filled"), QStringLiteral("preferences-desktop-theme")},
        {QStringLiteral("arrow.up.and.down.and.arrow.left.and.right"), QStringLiteral("transform-move")},
        {QStringLiteral("arrow.counterclockwise"), QStringLiteral("edit-undo")},
        {QStringLiteral("mic.fill"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("cursorarrow.motionlines"), QStringLiteral("preferences-desktop-accessibility")},
        {QStringLiteral("rectangle.inset.filled.and.person.filled"), QStringLiteral("video-display")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-ok")},
        {QStringLiteral("lock.fill"), QStringLiteral("changes-prevent")},
        {QStringLiteral("lock.shield.fill"), QStringLiteral("security-high")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("security-high")},
        {QStringLiteral("textformat"), QStringLiteral("format-text-bold")},
        {QStringLiteral("xmark"), QStringLiteral("edit-delete")},
        {QStringLiteral("text.book.closed"), QStringLiteral("accessories-dictionary")},
        {QStringLiteral("trash"), QStringLiteral("user-trash")},
        {QStringLiteral("internaldrive"), QStringLiteral("drive-harddisk")},
        {QStringLiteral("key"), QStringLiteral("dialog-password")},
    };
    return names.value(symbolName);
}
} // namespace

QIcon symbol(const QString &name) { return QIcon::fromTheme(themeName(name)); }

QString shortcutName(const KeyboardShortcutSetting &shortcut) { return shortcut.displayName(); }

QVBoxLayout *page(QWidget *screen, QScrollArea **scrollOut)
{
    auto *outer = new QVBoxLayout(screen);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(screen);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("screenContent"));
    auto *column = new QVBoxLayout(content);
    const int m = em(screen);
    column->setContentsMargins(2 * m, 2 * m, 2 * m, 2 * m);
    column->setSpacing(m);
    scroll->setWidget(content);
    outer->addWidget(scroll);
    if (scrollOut)
        *scrollOut = scroll;
    return column;
}

QWidget *heading(const QString &captionText, const QString &title, const QString &subtitle)
{
    auto *box = new QWidget;
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    auto *c = caption(captionText.toUpper());
    auto *t = new QLabel(title);
    QFont big = t->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    t->setFont(big);
    t->setAccessibleName(title);
    v->addWidget(c);
    v->addWidget(t);
    v->addWidget(wrapping(subtitle));
    return box;
}

QLabel *sectionTitle(const QString &text)
{
    auto *l = new QLabel(text);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.15);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QFrame *card(QVBoxLayout **rows)
{
    auto *frame = new QFrame;
    frame->setObjectName(QStringLiteral("card"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAutoFillBackground(true);
    frame->setBackgroundRole(QPalette::Base);
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
    if (!symbolName.isEmpty()) {
        auto *icon = new QLabel;
        icon->setPixmap(symbol(symbolName).pixmap(QSize(m * 5 / 4, m * 5 / 4)));
        icon->setFixedWidth(m * 3 / 2);
        h->addWidget(icon);
    }
    auto *texts = new QVBoxLayout;
    texts->setSpacing(0);
    auto *t = new QLabel(title);
    QFont f = t->font();
    f.setBold(true);
    t->setFont(f);
    texts->addWidget(t);
    if (!explanation.isEmpty()) {
        auto *e = caption(explanation);
        e->setObjectName(QStringLiteral("explanation"));
        texts->addWidget(e);
    }
    h->addLayout(texts, 1);
    if (control) {
        h->addWidget(control, 0, Qt::AlignRight | Qt::AlignVCenter);
        if (!control->accessibleName().size())
            control->setAccessibleName(title);
    }
    return box;
}

QWidget *note(const QString &symbolName, const QString &text, QLabel **labelOut)
{
    auto *box = new QWidget;
    auto *h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    const int m = em(box);
    auto *icon = new QLabel;
    icon->setPixmap(symbol(symbolName).pixmap(QSize(m, m)));
    icon->setAlignment(Qt::AlignTop);
    h->addWidget(icon);
    auto *label = wrapping(text);
    h->addWidget(label, 1);
    if (labelOut)
        *labelOut = label;
    return box;
}

QLabel *caption(const QString &text)
{
    auto *l = new QLabel(text);
    l->setWordWrap(true);
    l->setForegroundRole(QPalette::PlaceholderText);
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
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace ScreenLayout
