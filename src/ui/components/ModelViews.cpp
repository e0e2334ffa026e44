#include "ModelViews.h"

#include "Palette.h"
#include "Symbols.h"
#include "speech/ResourceLocator.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QPainterPath starPath(const QRectF &box)
{
    QPainterPath path;
    const QPointF c = box.center();
    const qreal outer = box.width() / 2, inner = outer * 0.45;
    for (int i = 0; i < 10; ++i) {
        const qreal r = (i % 2) ? inner : outer;
        const qreal a = -M_PI / 2 + i * M_PI / 5;
        const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// Bar heights of the mark's waveform, as in the application icon.
constexpr qreal kBars[] = {0.34, 0.68, 1.0, 0.56, 0.82, 0.42};

} // namespace

ModelRating::ModelRating(const QString &label, int value, bool compact, QWidget *parent)
    : QWidget(parent), m_label(label), m_value(qBound(1, value, 5)), m_compact(compact)
{
    setAccessibleName(spokenText(label, m_value, compact));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString ModelRating::spokenText(const QString &label, int value, bool compact)
{
    return compact ? label + QStringLiteral(", ") + QString::number(value) +
                         QStringLiteral(" out of 5 relative to available models")
                   : label + QStringLiteral(": ") + QString::number(value) +
                         QStringLiteral(" out of 5 relative to the models in Orvel Raza");
}

qreal ModelRating::starSize() const
{
    // Points, so the stars keep their size on any screen.
    return (m_compact ? 8.0 : 9.0) * logicalDpiY() / 72.0;
}

void ModelRating::setLabelShown(bool shown)
{
    m_labelShown = shown;
    updateGeometry();
    update();
}

int ModelRating::labelWidth() const { return m_labelShown ? fontMetrics().horizontalAdvance(m_label) + 6 : 0; }

QSize ModelRating::sizeHint() const
{
    const qreal s = starSize();
    return QSize(labelWidth() + qCeil(5 * s + 4 * 2), qMax(fontMetrics().height(), qCeil(s)));
}

void ModelRating::paintEvent(QPaintEvent *)
{
    const Theme theme = Theme::of(this);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(theme.secondaryText);
    if (m_labelShown)
        p.drawText(QRect(0, 0, labelWidth(), height()), Qt::AlignVCenter | Qt::AlignLeft, m_label);
    const qreal s = starSize();
    qreal x = labelWidth();
    const qreal y = (height() - s) / 2.0;
    QColor outline = theme.secondaryText;
    outline.setAlphaF(0.32f);
    for (int i = 1; i <= 5; ++i, x += s + 2) {
        const QPainterPath star = starPath(QRectF(x, y, s, s));
        if (m_value >= i) {
            // The accent reads poorly on paper; a dark edge keeps the filled stars visible.
            p.setPen(theme.dark ? Qt::NoPen : QPen(QColor(0, 0, 0, 90), 0.8));
            p.setBrush(theme.accent);
        } else {
            p.setPen(QPen(outline, 1));
            p.setBrush(Qt::NoBrush);
        }
        p.drawPath(star);
    }
}

ModelGlyph::ModelGlyph(const SpeechModel &model, int size, QWidget *parent)
    : QWidget(parent), m_model(model), m_size(size)
{
    setFixedSize(size, size);
}

void ModelGlyph::setModel(const SpeechModel &model)
{
    m_model = model;
    update();
}

void ModelGlyph::paintEvent(QPaintEvent *)
{
    const Theme theme = Theme::of(this);
    const QColor accent = m_model.accentRGB().value_or(theme.secondaryText);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRoundedRect(rect(), m_size * 0.26, m_size * 0.26);
    const int inner = qRound(m_size * 0.56);
    const QPixmap pm = Symbols::pixmap(m_model.symbolName(), Qt::white, inner, devicePixelRatioF());
    p.drawPixmap((m_size - inner) / 2, (m_size - inner) / 2, pm);
}

BrandMark::BrandMark(int size, QWidget *parent) : QWidget(parent)
{
    setFixedSize(size, size);
    setAccessibleName(QStringLiteral("Orvel Raza"));
}

void BrandMark::paintEvent(QPaintEvent *)
{
    const qreal size = qMin(width(), height());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::orvel());
    p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.28, size * 0.28);
    const qreal area = size * 0.6, left = size * 0.2;
    const qreal pitch = area / 6, barWidth = pitch * 0.56;
    p.setBrush(Palette::orvelSignal());
    for (int i = 0; i < 6; ++i) {
        const qreal h = qMax(barWidth, kBars[i] * area);
        const QRectF bar(left + pitch * (i + 0.5) - barWidth / 2, (size - h) / 2, barWidth, h);
        p.drawRoundedRect(bar, barWidth / 2, barWidth / 2);
    }
}

ProviderLogo::ProviderLogo(const QString &organization, int width, int height, QWidget *parent)
    : QWidget(parent), m_organization(organization)
{
    setFixedSize(width, height);
    setAccessibleName(organization + QStringLiteral(" model provider"));
    const QString name = imageName(organization);
    if (!name.isEmpty())
        if (const auto path = ResourceLocator::file(name))
            m_image = QPixmap(*path);
}

QString ProviderLogo::imageName(const QString &organization)
{
    const QString org = organization.toLower();
    if (org == QLatin1String("openai"))
        return QStringLiteral("provider-openai.png");
    if (org == QLatin1String("nvidia"))
        return QStringLiteral("provider-nvidia.png");
    return {};
}

void ProviderLogo::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_image.isNull()) {
        const QSize fitted = m_image.size().scaled(size(), Qt::KeepAspectRatio);
        p.drawPixmap(QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted), m_image);
        return;
    }
    const Theme theme = Theme::of(this);
    const int d = qMin(width(), height());
    const QRect disc((width() - d) / 2, (height() - d) / 2, d, d);
    p.setPen(Qt::NoPen);
    p.setBrush(theme.selection);
    p.drawEllipse(disc);
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(qMax(6, d / 2));
    p.setFont(f);
    p.setPen(theme.text);
    p.drawText(disc, Qt::AlignCenter, m_organization.left(1).toUpper());
}
