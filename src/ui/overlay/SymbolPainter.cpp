#include "SymbolPainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <QtMath>

namespace SymbolPainter {

namespace {

// Points are given in a 0…1 square and mapped into the box's largest centred square.
class Frame {
public:
    explicit Frame(const QRectF &box)
    {
        const double side = qMin(box.width(), box.height());
        m_origin = QPointF(box.center().x() - side / 2, box.center().y() - side / 2);
        m_side = side;
    }
    QPointF at(double x, double y) const { return m_origin + QPointF(x * m_side, y * m_side); }
    double len(double v) const { return v * m_side; }
    QRectF rect(double x, double y, double w, double h) const { return QRectF(at(x, y), QSizeF(len(w), len(h))); }

private:
    QPointF m_origin;
    double m_side = 0;
};

QPen strokePen(const QColor &color, double width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    return pen;
}

void polyline(QPainter &p, const Frame &f, std::initializer_list<QPointF> points)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF &pt : points) {
        const QPointF mapped = f.at(pt.x(), pt.y());
        if (first)
            path.moveTo(mapped);
        else
            path.lineTo(mapped);
        first = false;
    }
    p.drawPath(path);
}

void star(QPainter &p, const Frame &f, double cx, double cy, double r)
{
    QPainterPath path;
    for (int i = 0; i < 8; ++i) {
        const double radius = i % 2 == 0 ? r : r * 0.3;
        const double angle = M_PI / 4 * i - M_PI / 2;
        const QPointF pt = f.at(cx + radius * std::cos(angle), cy + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    p.fillPath(path, p.pen().color());
}

const QStringList &names()
{
    static const QStringList all{
        QStringLiteral("waveform"),   QStringLiteral("circle.fill"),   QStringLiteral("ellipsis"),
        QStringLiteral("checkmark"),  QStringLiteral("exclamationmark"), QStringLiteral("xmark"),
        QStringLiteral("wand.and.stars"), QStringLiteral("text.bubble"), QStringLiteral("text.quote"),
        QStringLiteral("photo"),      QStringLiteral("camera"),        QStringLiteral("mic.fill"),
        QStringLiteral("stop.fill"),  QStringLiteral("arrow.up"),      QStringLiteral("mic")};
    return all;
}

} // namespace

bool knows(const QString &name) { return names().contains(name); }

void draw(QPainter &p, const QString &name, const QRectF &box, const QColor &color)
{
    const Frame f(box);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double w = qMax(1.2, f.len(0.13));
    p.setPen(strokePen(color, w));
    p.setBrush(Qt::NoBrush);

    if (name == QLatin1String("waveform")) {
        const double heights[] = {0.3, 0.6, 0.9, 0.5, 0.75, 0.35};
        for (int i = 0; i < 6; ++i) {
            const double x = 0.12 + i * 0.152;
            p.drawLine(f.at(x, 0.5 - heights[i] / 2), f.at(x, 0.5 + heights[i] / 2));
        }
    } else if (name == QLatin1String("circle.fill")) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(f.rect(0.2, 0.2, 0.6, 0.6));
    } else if (name == QLatin1String("ellipsis")) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(f.at(0.2 + i * 0.3, 0.5), f.len(0.08), f.len(0.08));
    } else if (name == QLatin1String("checkmark")) {
        polyline(p, f, {{0.18, 0.52}, {0.4, 0.74}, {0.82, 0.28}});
    } else if (name == QLatin1String("exclamationmark")) {
        p.drawLine(f.at(0.5, 0.16), f.at(0.5, 0.6));
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(f.at(0.5, 0.82), w * 0.62, w * 0.62);
    } else if (name == QLatin1String("xmark")) {
        p.drawLine(f.at(0.24, 0.24), f.at(0.76, 0.76));
        p.drawLine(f.at(0.76, 0.24), f.at(0.24, 0.76));
    } else if (name == QLatin1String("wand.and.stars")) {
        p.drawLine(f.at(0.16, 0.86), f.at(0.62, 0.4));
        star(p, f, 0.72, 0.28, 0.2);
        star(p, f, 0.3, 0.26, 0.12);
        star(p, f, 0.82, 0.7, 0.1);
    } else if (name == QLatin1String("text.bubble")) {
        QPainterPath bubble;
        bubble.addRoundedRect(f.rect(0.1, 0.14, 0.8, 0.56), f.len(0.14), f.len(0.14));
        p.drawPath(bubble);
        polyline(p, f, {{0.3, 0.7}, {0.24, 0.88}, {0.46, 0.7}});
        p.drawLine(f.at(0.28, 0.36), f.at(0.72, 0.36));
        p.drawLine(f.at(0.28, 0.5), f.at(0.58, 0.5));
    } else if (name == QLatin1String("text.quote")) {
        p.drawLine(f.at(0.36, 0.26), f.at(0.86, 0.26));
        p.drawLine(f.at(0.36, 0.5), f.at(0.86, 0.5));
        p.drawLine(f.at(0.36, 0.74), f.at(0.7, 0.74));
        p.drawLine(f.at(0.14, 0.22), f.at(0.14, 0.78));
    } else if (name == QLatin1String("photo")) {
        QPainterPath frame;
        frame.addRoundedRect(f.rect(0.1, 0.18, 0.8, 0.64), f.len(0.1), f.len(0.1));
        p.drawPath(frame);
        polyline(p, f, {{0.18, 0.72}, {0.4, 0.5}, {0.56, 0.64}, {0.66, 0.56}, {0.82, 0.72}});
        p.drawEllipse(f.at(0.66, 0.36), f.len(0.06), f.len(0.06));
    } else if (name == QLatin1String("camera")) {
        QPainterPath body;
        body.addRoundedRect(f.rect(0.08, 0.28, 0.84, 0.56), f.len(0.1), f.len(0.1));
        p.drawPath(body);
        polyline(p, f, {{0.34, 0.28}, {0.4, 0.16}, {0.6, 0.16}, {0.66, 0.28}});
        p.drawEllipse(f.at(0.5, 0.56), f.len(0.14), f.len(0.14));
    } else if (name == QLatin1String("mic.fill") || name == QLatin1String("mic")) {
        if (name == QLatin1String("mic.fill"))
            p.setBrush(color);
        p.drawRoundedRect(f.rect(0.36, 0.08, 0.28, 0.5), f.len(0.14), f.len(0.14));
        p.setBrush(Qt::NoBrush);
        QPainterPath cup;
        cup.moveTo(f.at(0.22, 0.44));
        cup.cubicTo(f.at(0.22, 0.84), f.at(0.78, 0.84), f.at(0.78, 0.44));
        p.drawPath(cup);
        p.drawLine(f.at(0.5, 0.76), f.at(0.5, 0.92));
    } else if (name == QLatin1String("stop.fill")) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRoundedRect(f.rect(0.22, 0.22, 0.56, 0.56), f.len(0.08), f.len(0.08));
    } else if (name == QLatin1String("arrow.up")) {
        p.drawLine(f.at(0.5, 0.84), f.at(0.5, 0.18));
        polyline(p, f, {{0.24, 0.42}, {0.5, 0.16}, {0.76, 0.42}});
    }
    p.restore();
}

QIcon icon(const QString &name, const QColor &color)
{
    QIcon out;
    for (int size : {16, 18, 22, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        draw(p, name, QRectF(0, 0, size, size), color);
        p.end();
        out.addPixmap(pixmap);
    }
    return out;
}

} // namespace SymbolPainter
