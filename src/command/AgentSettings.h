#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// Where Command writes: on this machine, with a cloud model of the user's OpenAI account, or on
// an OpenAI-compatible server of the user's.
enum class AgentWritingProvider { local, openAI, openAICompatible };
inline constexpr AgentWritingProvider allAgentWritingProviders[] = {
    AgentWritingProvider::local, AgentWritingProvider::openAI, AgentWritingProvider::openAICompatible};

QString agentWritingProviderRawValue(AgentWritingProvider provider);
std::optional<AgentWritingProvider> agentWritingProviderFromRawValue(const QString &raw);

// The user's Command preferences. A default-constructed value is the fresh one (cloud first).
struct AgentSettings {
    AgentWritingProvider writingProvider = AgentWritingProvider::openAI;
    QString selectedModelID = QStringLiteral("apple-system");
    QString selectedOpenAIModelID = QStringLiteral("openai-luna");
    // The model of one of the user's servers, used when the provider is `openAICompatible`.
    QString selectedServerModelID;
    QString speechModelID = QStringLiteral("pocket");
    bool includeSelectedText = true;
    bool copyResult = true;
    bool automaticPaste = true;
    bool safelyReplaceRefinements = true;
    bool showCompletionNotification = true;
    bool playCompletionSound = true;
    QString personalContext;
    QString trustedInstructions = defaultTrustedInstructions();

    static constexpr int personalContextLimit = 20000;

    static QString defaultTrustedInstructions();
    // The default of earlier versions; stored copies of it are upgraded when read.
    static QString earlierDefaultTrustedInstructions();

    static AgentSettings fresh() { return {}; }

    QJsonObject toJson() const;
    // Every key may be missing (older versions wrote fewer); a missing provider reads as local.
    // A present key of the wrong type fails the whole value.
    static std::optional<AgentSettings> fromJson(const QJsonObject &object);
    // What start-up does with the stored bytes: fresh settings when they do not decode.
    static AgentSettings fromStoredData(const QByteArray &data);
    QByteArray storedData() const;

    bool operator==(const AgentSettings &) const = default;
};
