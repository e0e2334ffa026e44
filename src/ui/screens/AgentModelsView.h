#pragma once

#include "models/AgentHardwareProfile.h"
#include "models/AgentModelDescriptor.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class AgentModelStore;
class AppState;
class ModelServersCard;
class OpenAIKeyCard;
class QComboBox;
class QLabel;
class QVBoxLayout;
namespace ModelRowParts {
class ErrorLine;
}

// The writing models of Command: local models with hardware guidance, downloads, removal and
// GGUF imports, the cloud models with the API key, and the speech model Command listens with.
class AgentModelsView final : public QWidget {
    Q_OBJECT

public:
    // The machine is read once, here; tests pass their own.
    explicit AgentModelsView(AppState &state, std::optional<AgentHardwareProfile> profile = std::nullopt,
                             QWidget *parent = nullptr);
    ~AgentModelsView() override;

    const AgentHardwareProfile &hardwareProfile() const { return m_hardwareProfile; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    OpenAIKeyCard *keyCard() const { return m_keyCard; }
    ModelServersCard *serversCard() const { return m_serversCard; }
    QString hardwareRecommendation() const;
    static QString hardwareRecommendationText(const AgentHardwareProfile &profile);
    // The local model the summary line recommends and the "best" badge marks; empty when no
    // downloaded model runs on this machine.
    static QString recommendedLocalModelID(const AgentHardwareProfile &profile);
    static QString fitText(AgentModelHardwareFit fit);

    void select(const AgentModelDescriptor &descriptor);
    bool isSelected(const AgentModelDescriptor &descriptor) const;
    QCoro::Task<> download(AgentModelDescriptor descriptor);
    void remove(const AgentModelDescriptor &descriptor);
    // What the open-file sheet hands back: picks the model and projector, then imports.
    QCoro::Task<> importChosenFiles(QStringList files);
    // Opens the open-file sheet.
    void chooseGGUF();
    QFileDialog *importDialog() const { return m_importDialog; }
    bool isImporting() const { return m_importing; }

signals:
    void errorMessageChanged();

private:
    void setErrorMessage(std::optional<QString> message);
    void rebuildRows();
    void refresh();
    QWidget *makeRow(const AgentModelDescriptor &descriptor);
    QWidget *section(const QString &title, const QString &detail, QVBoxLayout **rows);

    AppState &m_state;
    AgentModelStore &m_store;
    AgentHardwareProfile m_hardwareProfile;
    std::optional<QString> m_errorMessage;
    bool m_importing = false;
    ModelRowParts::ErrorLine *m_error;
    QVBoxLayout *m_localRows;
    QVBoxLayout *m_cloudRows;
    QWidget *m_importProgress;
    QLabel *m_importProgressText;
    QWidget *m_importWarning;
    QLabel *m_importWarningText;
    QComboBox *m_speechModel;
    OpenAIKeyCard *m_keyCard;
    ModelServersCard *m_serversCard;
    QPointer<QFileDialog> m_importDialog;
    QList<std::function<void()>> m_refreshers;
    int m_shownRevision = -1;
};
