#pragma once

#include "speech/SpeechModel.h"
#include "window/WindowContext.h"

#include <QList>
#include <QWidget>

#include <optional>

class OnboardingModelCard;
class PrimaryButton;
class QLabel;
class QStackedWidget;
class QuietButton;
class QVBoxLayout;

// The four first-start pages: welcome, microphone, Accessibility, and the first speech model.
class OnboardingView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int steps = 4;

    OnboardingView(const WindowContext &context, QWidget *parent = nullptr);

    int step() const { return m_step; }
    void setStep(int step);
    QString chosenModelID() const { return m_chosenModelID; }
    void setChosenModelID(const QString &id);
    std::optional<SpeechModel> chosenModel() const;
    bool canFinish() const;
    std::optional<QString> downloadError() const { return m_downloadError; }
    bool showsMoreModels() const { return m_showsMoreModels; }
    void setShowsMoreModels(bool shows);

    QuietButton *backButton() const { return m_back; }
    PrimaryButton *continueButton() const { return m_continue; }
    PrimaryButton *finishButton() const { return m_finish; }
    QWidget *page(int step) const;
    // The permission page's button (step 1 or 2) and its "ready" line.
    PrimaryButton *permissionButton(int step) const;
    QLabel *permissionReady(int step) const;
    QList<OnboardingModelCard *> modelCards() const { return m_cards; }

    // Finishes when the chosen model is installed, otherwise downloads it and then finishes.
    void finishOrDownload();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *makeWelcome();
    QWidget *makePermission(int step);
    QWidget *makeModels();
    void refreshFrame();
    void refreshPermissions();
    void refreshModels();
    void finish();

    WindowContext m_context;
    int m_step = 0;
    QString m_chosenModelID = QStringLiteral("pocket");
    std::optional<QString> m_downloadError;
    bool m_showsMoreModels = false;

    QList<QLabel *> m_indicator;
    QStackedWidget *m_pages;
    QuietButton *m_back;
    PrimaryButton *m_continue;
    PrimaryButton *m_finish = nullptr;
    PrimaryButton *m_permissionButtons[2] = {};
    QLabel *m_permissionReady[2] = {};
    QList<OnboardingModelCard *> m_cards;
    QWidget *m_moreModels = nullptr;
    QuietButton *m_moreToggle = nullptr;
    QLabel *m_error = nullptr;
};
