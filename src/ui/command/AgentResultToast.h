#pragma once

#include <QWidget>

class AppState;
class QLabel;
class QPainterPath;
class QPushButton;

// The small card shown at the top right after a Command run: the start of the result and
// "Open", "Dismiss" and, while the result waits to be pasted, "Paste". It floats like the
// overlay and never takes the focus.
class AgentResultToast final : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 350;
    static constexpr int panelHeight = 116;

    explicit AgentResultToast(AppState &state, QWidget *parent = nullptr);

    QPushButton *openButton() const { return m_open; }
    QPushButton *dismissButton() const { return m_dismiss; }
    QPushButton *pasteButton() const { return m_paste; }
    QPushButton *closeButton() const { return m_close; }
    QString shownResult() const;
    // Without a compositor the clear corners would paint black: the window is cut to the card.
    void setCutToCard(bool cut);

signals:
    void dismissRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPainterPath cardShape() const;
    void refresh();
    bool dark() const;

    AppState &m_state;
    QLabel *m_title;
    QLabel *m_result;
    QPushButton *m_close;
    QPushButton *m_open;
    QPushButton *m_dismiss;
    QPushButton *m_paste;
};
