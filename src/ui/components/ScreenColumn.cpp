#include "ScreenColumn.h"

#include <QVBoxLayout>

ScreenColumn::ScreenColumn(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *inner = new QWidget(this);
    inner->setObjectName(QStringLiteral("screen"));
    m_column = new QVBoxLayout(inner);
    const int margin = qMax(28, fontMetrics().height() * 2);
    m_column->setContentsMargins(margin, margin, margin, margin);
    m_column->setSpacing(qMax(16, fontMetrics().height()));
    setWidget(inner);
}
