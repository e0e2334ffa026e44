#pragma once

#include "speech/SpeechModel.h"

#include <QFrame>

class ModelGlyph;
class QLabel;
class QProgressBar;
class SymbolLabel;

// A selectable card for one speech model: glyph, name, detail, ratings, install state and a
// radio mark. Click, Space or Enter choose it.
class OnboardingModelCard final : public QFrame {
    Q_OBJECT
public:
    OnboardingModelCard(const SpeechModel &model, QWidget *parent = nullptr);

    const SpeechModel &model() const { return m_model; }
    void setChosen(bool chosen);
    bool chosen() const { return m_chosen; }
    // Installed → "Ready"; downloading → the progress; else "Download".
    void setInstallState(bool installed, std::optional<double> progress);
    QString stateText() const;

signals:
    void chosenByUser(const QString &modelID);

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    SpeechModel m_model;
    bool m_chosen = false;
    QLabel *m_state;
    QProgressBar *m_progress;
    SymbolLabel *m_radio;
};
