#pragma once

#include <QWidget>

class AgentModelsView;
class AppState;
class QAbstractButton;
class SpeechModelsView;

enum class ModelsArea { dictation, agent };

// The Models section: a picker between the speech models of Dictation and the writing models
// of Command. The Command area is made the first time it is shown.
class ModelsScreen final : public QWidget {
    Q_OBJECT

public:
    explicit ModelsScreen(AppState &state, QWidget *parent = nullptr);

    ModelsArea area() const { return m_area; }
    void setArea(ModelsArea area);
    SpeechModelsView *speechModels() const { return m_speech; }
    AgentModelsView *agentModels() const { return m_agent; }

private:
    AppState &m_state;
    ModelsArea m_area = ModelsArea::dictation;
    QAbstractButton *m_dictationChoice;
    QAbstractButton *m_agentChoice;
    class QVBoxLayout *m_areaColumn;
    SpeechModelsView *m_speech;
    AgentModelsView *m_agent = nullptr;
};
