#include "Components.h"

#include "Palette.h"
#include "Symbols.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

StatusDot::StatusDot(bool active, QWidget *parent) : QWidget(parent), m_active(active)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StatusDot::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    update();
}

QSize StatusDot::sizeHint() const
{
    const int d = qMax(8, fontMetrics().height() / 2);
    return {d, d};
}

void StatusDot::paintEvent(QPaintEvent *)
{
    const Theme theme = Theme::of(this);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor muted = theme.secondaryText;
    muted.setAlphaF(0.45f);
    p.setBrush(m_active ? theme.accent : muted);
    const int d = qMin(width(), height());
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

SymbolButton::SymbolButton(const QString &role, const QString &title, const QString &symbol,
                           std::function<void()> action, QWidget *parent)
    : QPushButton(title, parent), m_symbol(symbol)
{
    setProperty("role", role);
    setCursor(Qt::PointingHandCursor);
    setAutoDefault(false);
    if (action)
        connect(this, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
    refreshIcon();
}

void SymbolButton::setSymbol(const QString &symbol)
{
    if (m_symbol == symbol)
        return;
    m_symbol = symbol;
    refreshIcon();
}

void SymbolButton::setContent(const QString &title, const QString &symbol)
{
    setText(title);
    setSymbol(symbol);
}

QColor SymbolButton::iconColor() const { return Theme::of(this).text; }

void SymbolButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        refreshIcon();
}

void SymbolButton::refreshIcon()
{
    if (m_symbol.isEmpty()) {
        setIcon(QIcon());
        return;
    }
    QColor color = iconColor();
    if (!isEnabled())
        color.setAlphaF(0.45f);
    const int size = qMax(14, fontMetrics().height() - 2);
    setIcon(Symbols::icon(m_symbol, color, size));
    setIconSize(QSize(size, size));
}

QuietButton::QuietButton(const QString &title, const QString &symbol, std::function<void()> action, QWidget *parent)
    : SymbolButton(QStringLiteral("quiet"), title, symbol, std::move(action), parent)
{
}

PrimaryButton::PrimaryButton(const QString &title, const QString &symbol, std::function<void()> action,
                             QWidget *parent)
    : SymbolButton(QStringLiteral("primary"), title, symbol, std::move(action), parent)
{
    setSymbol(QString());
    setSymbol(symbol); // again, now that iconColor() is this class's
}

QColor PrimaryButton::iconColor() const { return Theme::of(this).onAccent; }

CardBackground::CardBackground(QWidget *parent) : QFrame(parent)
{
    setProperty("role", QStringLiteral("card"));
    setAttribute(Qt::WA_StyledBackground, false);
}

void CardBackground::setHighlighted(bool highlighted)
{
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    update();
}

void CardBackground::paintEvent(QPaintEvent *)
{
    const Theme theme = Theme::of(this);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The accent is too pale to outline a light card; there the border is the text colour.
    const qreal border = m_highlighted ? 2.5 : 1.0;
    p.setPen(QPen(m_highlighted ? (theme.dark ? theme.accent : theme.text) : theme.cardBorder, border));
    p.setBrush(theme.card);
    const qreal radius = qMax(10, fontMetrics().height() * 3 / 4);
    const qreal inset = border / 2;
    p.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius, radius);
}

QLabel *roleLabel(const QString &role, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setProperty("role", role);
    label->setTextFormat(Qt::PlainText);
    return label;
}

SectionHeading::SectionHeading(const QString &eyebrow, const QString &title, const QString &subtitle, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_eyebrow = roleLabel(QStringLiteral("eyebrow"), eyebrow.toUpper(), this);
    m_title = roleLabel(QStringLiteral("title"), title, this);
    m_subtitle = roleLabel(QStringLiteral("subtitle"), subtitle, this);
    m_subtitle->setWordWrap(true);
    m_subtitle->setVisible(!subtitle.isEmpty());
    layout->addWidget(m_eyebrow);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
}

QString SectionHeading::eyebrow() const { return m_eyebrow->text(); }
QString SectionHeading::title() const { return m_title->text(); }
QString SectionHeading::subtitle() const { return m_subtitle->text(); }

void SectionHeading::setSubtitle(const QString &subtitle)
{
    m_subtitle->setText(subtitle);
    m_subtitle->setVisible(!subtitle.isEmpty());
}

SymbolLabel::SymbolLabel(const QString &symbol, int size, Tone tone, QWidget *parent)
    : QLabel(parent), m_symbol(symbol), m_size(size), m_tone(tone)
{
    setFixedSize(size, size);
    setAlignment(Qt::AlignCenter);
    refresh();
}

void SymbolLabel::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    refresh();
}

void SymbolLabel::setTone(Tone tone)
{
    m_tone = tone;
    refresh();
}

void SymbolLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

void SymbolLabel::refresh()
{
    const Theme theme = Theme::of(this);
    QColor color = theme.text;
    switch (m_tone) {
    case Tone::text: break;
    case Tone::secondary: color = theme.secondaryText; break;
    case Tone::accent: color = theme.dark ? theme.accent : Palette::orvel(); break;
    case Tone::onAccent: color = theme.onAccent; break;
    case Tone::error: color = Palette::orvelError(); break;
    }
    setPixmap(Symbols::pixmap(m_symbol, color, m_size, devicePixelRatioF()));
}
