#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <functional>

// The small shared views every screen is built from. Colours come from the window's Theme;
// style-sheet rules for the roles set here live in StyleSheets.

// A small dot, accent-coloured when active, muted otherwise.
class StatusDot final : public QWidget {
    Q_OBJECT
public:
    explicit StatusDot(bool active = false, QWidget *parent = nullptr);
    bool active() const { return m_active; }
    void setActive(bool active);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    bool m_active;
};

// A push button whose icon is a symbol recoloured to the button's text colour.
class SymbolButton : public QPushButton {
    Q_OBJECT
public:
    SymbolButton(const QString &role, const QString &title, const QString &symbol, std::function<void()> action,
                 QWidget *parent);
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    // Title and icon together, as most state changes swap both.
    void setContent(const QString &title, const QString &symbol);

protected:
    void changeEvent(QEvent *event) override;
    virtual QColor iconColor() const;
    void refreshIcon();

private:
    QString m_symbol;
};

// A low-emphasis button.
class QuietButton final : public SymbolButton {
    Q_OBJECT
public:
    QuietButton(const QString &title, const QString &symbol = {}, std::function<void()> action = {},
                QWidget *parent = nullptr);
};

// The main call to action; disabled, it does nothing.
class PrimaryButton final : public SymbolButton {
    Q_OBJECT
public:
    PrimaryButton(const QString &title, const QString &symbol = {}, std::function<void()> action = {},
                  QWidget *parent = nullptr);

protected:
    QColor iconColor() const override;
};

// The rounded card surface behind grouped content; give it a layout.
class CardBackground final : public QFrame {
    Q_OBJECT
public:
    explicit CardBackground(QWidget *parent = nullptr);
    // Drawn with an accent border, to lead the eye to it.
    bool highlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    bool m_highlighted = false;
};

// A small upper-case caption above a large title and an optional subtitle.
class SectionHeading final : public QWidget {
    Q_OBJECT
public:
    SectionHeading(const QString &eyebrow, const QString &title, const QString &subtitle = {},
                   QWidget *parent = nullptr);
    QString eyebrow() const;
    QString title() const;
    QString subtitle() const;
    void setSubtitle(const QString &subtitle);

private:
    QLabel *m_eyebrow;
    QLabel *m_title;
    QLabel *m_subtitle;
};

// A symbol shown as a picture, in the text, secondary or accent colour.
class SymbolLabel final : public QLabel {
    Q_OBJECT
public:
    enum class Tone { text, secondary, accent, onAccent, error };
    SymbolLabel(const QString &symbol, int size, Tone tone = Tone::text, QWidget *parent = nullptr);
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    void setTone(Tone tone);

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    QString m_symbol;
    int m_size;
    Tone m_tone;
};

// A label with a style-sheet role ("eyebrow", "title", "secondary", "badge" …).
QLabel *roleLabel(const QString &role, const QString &text, QWidget *parent = nullptr);
