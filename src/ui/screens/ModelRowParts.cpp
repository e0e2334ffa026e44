#include "ui/screens/ModelRowParts.h"

#include "ui/components/ScreenLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace ModelRowParts {

QLabel *badge(const QString &text, bool accented)
{
    QLabel *l = roleLabel(accented ? QStringLiteral("badge") : QStringLiteral("plainBadge"), text);
    l->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return l;
}

QLabel *columnCaption(const QString &text) { return roleLabel(QStringLiteral("eyebrow"), text); }

QLabel *boldLabel(const QString &text)
{
    auto *l = new QLabel(text);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QWidget *fact(const QString &symbolName, const QString &text, QLabel **label)
{
    auto *box = new QWidget;
    auto *h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(box->fontMetrics().height() / 4);
    const QIcon icon = ScreenLayout::symbol(symbolName);
    if (!icon.isNull()) {
        const int e = box->fontMetrics().height();
        auto *picture = new QLabel;
        picture->setPixmap(icon.pixmap(QSize(e, e)));
        h->addWidget(picture);
    }
    auto *l = new QLabel(text);
    h->addWidget(l);
    if (label)
        *label = l;
    return box;
}

ErrorLine::ErrorLine(const QString &objectName, QWidget *parent) : QWidget(parent)
{
    setObjectName(objectName);
    auto *h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(ScreenLayout::note(QStringLiteral("exclamationmark.triangle"), QString(), &m_text));
    hide();
}

void ErrorLine::setMessage(const std::optional<QString> &message)
{
    m_text->setText(message.value_or(QString()));
    setVisible(message.has_value());
}

QString ErrorLine::text() const { return m_text->text(); }

} // namespace ModelRowParts

ModelActions::ModelActions(const QString &modelName, Form form, QWidget *parent)
    : QWidget(parent), m_form(form), m_name(modelName)
{
    auto *h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    m_progress = new QLabel;
    m_active = ModelRowParts::badge(QStringLiteral("ACTIVE"), true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setAccessibleName(QStringLiteral("Cancel download of ") + modelName);
    m_primary = new QPushButton;
    if (form == Form::full) {
        m_remove = new QPushButton(ScreenLayout::symbol(QStringLiteral("trash")), QStringLiteral("Remove"));
    } else {
        auto *icon = new QToolButton;
        icon->setIcon(ScreenLayout::symbol(QStringLiteral("trash")));
        icon->setText(QStringLiteral("Remove ") + modelName);
        icon->setToolTip(icon->text());
        // Without an icon theme the name stands in for the picture.
        icon->setToolButtonStyle(icon->icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
        icon->setAutoRaise(true);
        m_remove = icon;
    }
    m_remove->setAccessibleName(QStringLiteral("Remove ") + modelName);
    m_active->setVisible(false);
    for (QWidget *w : std::initializer_list<QWidget *>{m_progress, m_active, m_cancel, m_primary})
        h->addWidget(w, 0, Qt::AlignVCenter);
    if (form == Form::full)
        h->addStretch();
    h->addWidget(m_remove, 0, Qt::AlignVCenter);
    if (form == Form::compact)
        h->addStretch();

    connect(m_cancel, &QPushButton::clicked, this, &ModelActions::cancelRequested);
    connect(m_remove, &QAbstractButton::clicked, this, &ModelActions::removeRequested);
    connect(m_primary, &QPushButton::clicked, this, [this] {
        if (m_installed)
            emit useRequested();
        else
            emit downloadRequested();
    });
    showStatus({});
}

void ModelActions::showStatus(const Status &s)
{
    m_installed = s.installed;
    const int percent = int(std::lround(std::clamp(s.progress, 0.0, 1.0) * 100));
    m_cancel->setVisible(s.downloading);
    if (m_form == Form::full) {
        m_progress->setVisible(s.downloading);
        m_progress->setText(QStringLiteral("Downloading %1%").arg(percent));
        m_primary->setVisible(!s.downloading);
        m_primary->setText(s.installed ? (s.selected ? QStringLiteral("Selected") : QStringLiteral("Use model"))
                                       : QStringLiteral("Download"));
        m_primary->setEnabled(s.installed ? !s.selected : s.downloadable);
        m_remove->setVisible(s.installed && s.removable && !s.downloading);
    } else {
        m_progress->hide();
        m_active->setVisible(s.installed && s.selected);
        m_primary->setVisible(!(s.installed && s.selected));
        m_primary->setText(s.installed      ? QStringLiteral("Use")
                           : s.downloading ? QStringLiteral("Download %1%").arg(percent)
                                           : QStringLiteral("Download"));
        m_primary->setEnabled(s.installed || (s.downloadable && !s.downloading));
        m_remove->setVisible(s.installed && s.removable && !s.downloading);
    }
    // Assistive technology hears which model the button acts on.
    m_primary->setAccessibleName((s.installed ? m_primary->text() : QStringLiteral("Download")) + QLatin1Char(' ') + m_name);
}
