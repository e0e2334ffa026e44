#pragma once

#include <QScrollArea>

class QVBoxLayout;

// A screen's scrolling column: content is added to column(), top to bottom, with the
// screen's margins; the column never scrolls sideways.
class ScreenColumn : public QScrollArea {
    Q_OBJECT
public:
    explicit ScreenColumn(QWidget *parent = nullptr);
    QVBoxLayout *column() const { return m_column; }

private:
    QVBoxLayout *m_column;
};
