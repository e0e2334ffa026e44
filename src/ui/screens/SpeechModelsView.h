#pragma once

#include "speech/SpeechModel.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class AppState;
class ModelStore;
class QToolButton;
namespace ModelRowParts {
class ErrorLine;
}

// The local speech-to-text models: the two recommended cards, the collapsible table of every
// model, downloads with progress and cancel, selection and removal.
class SpeechModelsView final : public QWidget {
    Q_OBJECT

public:
    explicit SpeechModelsView(AppState &state, QWidget *parent = nullptr);
    ~SpeechModelsView() override;

    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const std::optional<SpeechModel> &pendingRemoval() const { return m_pendingRemoval; }
    bool showsAllModels() const { return m_showsAllModels; }
    void setShowsAllModels(bool shown);
    // The removal question while it is open.
    QMessageBox *removalConfirmation() const { return m_confirmation; }

    // Downloads the model and selects it once it is installed.
    QCoro::Task<> downloadAndSelect(SpeechModel model);
    void cancelDownload(const SpeechModel &model);
    void select(const SpeechModel &model);
    void askToRemove(const SpeechModel &model);

signals:
    void errorMessageChanged();

private:
    QWidget *makeCard(const SpeechModel &model);
    QWidget *makeTable();
    // The actions of one card or table row, kept up to date with the store and the selection.
    QWidget *makeActions(const SpeechModel &model, bool compact);
    void setErrorMessage(std::optional<QString> message);
    void refresh();

    AppState &m_state;
    QPointer<ModelStore> m_store;
    std::optional<QString> m_errorMessage;
    std::optional<SpeechModel> m_pendingRemoval;
    bool m_showsAllModels = false;
    ModelRowParts::ErrorLine *m_error;
    QToolButton *m_allModelsToggle;
    QWidget *m_table;
    // Each card and table row updates its own controls in place, so focus stays where it is.
    QList<std::function<void()>> m_refreshers;
    QPointer<QMessageBox> m_confirmation;
};
