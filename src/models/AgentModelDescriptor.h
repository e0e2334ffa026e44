#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

struct AgentHardwareProfile;

// Who runs a writing model. `openAICompatible` is a chat-completions server of the user's own
// (llama-server, Ollama, LM Studio, vLLM), on this computer or another.
enum class AgentModelProvider { appleSystem, llamaCPP, openAI, openAICompatible };

QString agentModelProviderRawValue(AgentModelProvider provider);
std::optional<AgentModelProvider> agentModelProviderFromRawValue(const QString &raw);

struct AgentModelCapabilities {
    bool text = true;
    bool images = false;
    bool operator==(const AgentModelCapabilities &) const = default;
};

// One downloadable file of a local model.
struct AgentModelArtifact {
    enum class Role { model, visionProjector };

    QString fileName;
    QUrl url;
    qint64 byteSize = 0;
    QString sha256; // lower-case hex; empty for imported files
    Role role = Role::model;

    QJsonObject toJson() const;
    static std::optional<AgentModelArtifact> fromJson(const QJsonValue &value);
    bool operator==(const AgentModelArtifact &) const = default;
};

QString agentModelArtifactRoleRawValue(AgentModelArtifact::Role role);
std::optional<AgentModelArtifact::Role> agentModelArtifactRoleFromRawValue(const QString &raw);

// The verdict of one model on one machine.
enum class AgentModelHardwareFit { system, cloud, goodFit, limitedHeadroom, notRecommended, requiresAppleSilicon };

struct AgentMemoryGuidance {
    int minimumGB = 0;
    int recommendedGB = 0;
    bool operator==(const AgentMemoryGuidance &) const = default;
};

// Any writing model: the system model, curated and imported GGUF models, cloud models.
struct AgentModelDescriptor {
    QString id;
    QString name;
    QString officialName;
    QString organization;
    QString detail;
    QString sizeLabel;
    QString license;
    QString sourceRevision;
    AgentModelProvider provider = AgentModelProvider::llamaCPP;
    AgentModelCapabilities capabilities;
    QList<AgentModelArtifact> artifacts;
    bool isCustom = false;
    bool recommendedFor16GB = false;
    std::optional<int> minimumMemoryGB;
    std::optional<int> recommendedMemoryGB;
    // The server's API address (http://host:port/v1); only models of a server of the user's have one.
    std::optional<QString> baseURL;

    bool operator==(const AgentModelDescriptor &) const = default;

    // The nine curated entries, in display order.
    static const QList<AgentModelDescriptor> &catalog();
    static std::optional<AgentModelDescriptor> catalogEntry(const QString &id);

    std::optional<AgentModelArtifact> modelArtifact() const;
    std::optional<AgentModelArtifact> projectorArtifact() const;
    // Guidance from the download size; only local GGUF models have one.
    std::optional<AgentMemoryGuidance> inferredMemoryGuidance() const;
    int effectiveMinimumMemoryGB() const;
    int effectiveRecommendedMemoryGB() const;
    QString hardwareRequirementLabel() const;
    AgentModelHardwareFit hardwareFit(const AgentHardwareProfile &profile) const;

    QJsonObject toJson() const;
    // Every key is required except the two memory values and the server address, which may be
    // missing or null.
    static std::optional<AgentModelDescriptor> fromJson(const QJsonValue &value);
    // A stored list (custom-models.json); nothing unless every record decodes.
    static std::optional<QList<AgentModelDescriptor>> listFromJson(const QByteArray &bytes);
};
