#include "ui/screens/ShortcutRecorderWidget.h"

#include "app/PlatformWording.h"
#include "ui/components/ScreenLayout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

ShortcutRecorderWidget::ShortcutRecorderWidget(bool requiresModifier, QWidget *parent) : QWidget(parent)
{
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("shortcutButton"));
    m_button->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Ctrl+Alt+Shift+Space")) + 24);
    m_button->installEventFilter(this);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignRight);
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_message->hide();
    v->addWidget(m_button, 0, Qt::AlignRight);
    v->addWidget(m_message);

    m_recorder = std::make_unique<ShortcutRecorder>(
        [this](const KeyboardShortcutSetting &s) {
            m_shortcut = s;
            m_taken = false;
            emit shortcutRecorded(s);
        },
        requiresModifier, [this](bool capturing) { emit captureDidChange(capturing); },
        [] { QApplication::beep(); });

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (isCapturing())
            stopCapturing();
        else
            startCapturing();
    });
    refresh();
}

ShortcutRecorderWidget::~ShortcutRecorderWidget()
{
    // Ending a capture while the widget goes away still hands the shortcuts back.
    m_button->removeEventFilter(this);
    m_recorder.reset();
}

void ShortcutRecorderWidget::setShortcut(const KeyboardShortcutSetting &shortcut)
{
    m_shortcut = shortcut;
    refresh();
}

void ShortcutRecorderWidget::setTaken(bool taken)
{
    m_taken = taken;
    refresh();
}

void ShortcutRecorderWidget::startCapturing()
{
    m_recorder->startCapturing();
    m_button->setFocus(Qt::OtherFocusReason);
    refresh();
}

void ShortcutRecorderWidget::stopCapturing()
{
    m_recorder->stopCapturing();
    refresh();
}

QString ShortcutRecorderWidget::message() const { return m_message->isHidden() ? QString() : m_message->text(); }

void ShortcutRecorderWidget::refresh()
{
    const QString name = ScreenLayout::shortcutName(m_shortcut);
    QString text;
    if (isCapturing()) {
        m_button->setText(QStringLiteral("Type shortcut…"));
        text = m_recorder->validationMessage() ? PlatformWording::adapt(*m_recorder->validationMessage()) : QString();
    } else {
        m_button->setText(name);
        if (m_taken)
            text = QStringLiteral("%1 is taken by another program. Click to record another.").arg(name);
    }
    m_button->setAccessibleName(name);
    m_button->setAccessibleDescription(text);
    m_button->setDown(isCapturing());
    // The window's style sheet colours a taken shortcut for the light or dark appearance.
    const bool showsTaken = m_taken && !isCapturing();
    if (m_button->property("taken").toBool() != showsTaken) {
        m_button->setProperty("taken", showsTaken);
        m_button->style()->unpolish(m_button);
        m_button->style()->polish(m_button);
    }
    m_message->setText(text);
    m_message->setHidden(text.isEmpty());
}

bool ShortcutRecorderWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_button || !isCapturing())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // The window's own shortcuts (Ctrl+Q …) must not fire while a combination is typed.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers m = key->modifiers();
        const auto down = ShortcutRecorder::fromQtKey(key->key(), m & Qt::MetaModifier, m & Qt::AltModifier,
                                                      m & Qt::ControlModifier, m & Qt::ShiftModifier,
                                                      key->isAutoRepeat());
        // A modifier on its own is the start of a combination, not a key.
        if (down)
            m_recorder->handleKeyDown(*down);
        refresh();
        return true;
    }
    case QEvent::KeyRelease:
        return true;
    case QEvent::FocusOut:
        stopCapturing();
        return false;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
