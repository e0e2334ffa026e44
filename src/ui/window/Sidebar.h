#pragma once

#include "app/CaptureStatus.h"
#include "window/WindowContext.h"

#include <QMap>
#include <QWidget>

class QButtonGroup;
class QLabel;
class QPushButton;
class StatusDot;

// The mark, one row per section, the shortcut hints and the readiness footer.
class Sidebar final : public QWidget {
    Q_OBJECT
public:
    Sidebar(const WindowContext &context, QWidget *parent = nullptr);

    QPushButton *row(AppSection section) const { return m_rows.value(section); }
    QStringList hints() const;
    QString footerText() const;
    bool footerActive() const;

    // Sidebar width: 228 at the common desktop font size, wider with larger fonts.
    static int preferredWidth(const QFont &font);

private:
    void refreshSelection();
    void refreshHints();
    void refreshFooter();

    WindowContext m_context;
    QMap<AppSection, QPushButton *> m_rows;
    QList<QLabel *> m_hints;
    StatusDot *m_dot;
    QLabel *m_footer;
};
