#include "AgentModelDescriptor.h"

#include "AgentHardwareProfile.h"
#include "platform/Json.h"
#include "platform/RawValues.h"

#include <QJsonArray>
#include <QJsonDocument>

constexpr RawValueTable<AgentModelProvider, 4> kModelProviders{{
    {AgentModelProvider::appleSystem, "appleSystem"},
    {AgentModelProvider::llamaCPP, "llamaCPP"},
    {AgentModelProvider::openAI, "openAI"},
    {AgentModelProvider::openAICompatible, "openAICompatible"},
}};

QString agentModelProviderRawValue(AgentModelProvider provider) { return rawValueIn(kModelProviders, provider); }

std::optional<AgentModelProvider> agentModelProviderFromRawValue(const QString &raw) { return valueIn(kModelProviders, raw); }

constexpr RawValueTable<AgentModelArtifact::Role, 2> kArtifactRoles{{
    {AgentModelArtifact::Role::model, "model"},
    {AgentModelArtifact::Role::visionProjector, "visionProjector"},
}};

QString agentModelArtifactRoleRawValue(AgentModelArtifact::Role role) { return rawValueIn(kArtifactRoles, role); }

std::optional<AgentModelArtifact::Role> agentModelArtifactRoleFromRawValue(const QString &raw) { return valueIn(kArtifactRoles, raw); }

QJsonObject AgentModelArtifact::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("fileName"), fileName);
    o.insert(QStringLiteral("url"), url.toString(QUrl::FullyEncoded));
    o.insert(QStringLiteral("byteSize"), QJsonValue(byteSize));
    o.insert(QStringLiteral("sha256"), sha256);
    o.insert(QStringLiteral("role"), agentModelArtifactRoleRawValue(role));
    return o;
}

std::optional<AgentModelArtifact> AgentModelArtifact::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto fileName = Json::string(o, QStringLiteral("fileName"));
    const auto url = Json::string(o, QStringLiteral("url"));
    const auto size = Json::integer(o, QStringLiteral("byteSize"));
    const auto sha = Json::string(o, QStringLiteral("sha256"));
    const auto roleText = Json::string(o, QStringLiteral("role"));
    const auto role = roleText ? agentModelArtifactRoleFromRawValue(*roleText) : std::nullopt;
    if (!fileName || !url || !size || !sha || !role)
        return std::nullopt;
    const QUrl parsed(*url, QUrl::StrictMode);
    if (!parsed.isValid())
        return std::nullopt;
    return AgentModelArtifact{*fileName, parsed, *size, *sha, *role};
}

std::optional<AgentModelArtifact> AgentModelDescriptor::modelArtifact() const
{
    for (const auto &a : artifacts)
        if (a.role == AgentModelArtifact::Role::model)
            return a;
    return std::nullopt;
}

std::optional<AgentModelArtifact> AgentModelDescriptor::projectorArtifact() const
{
    for (const auto &a : artifacts)
        if (a.role == AgentModelArtifact::Role::visionProjector)
            return a;
    return std::nullopt;
}

std::optional<AgentMemoryGuidance> AgentModelDescriptor::inferredMemoryGuidance() const
{
    if (provider != AgentModelProvider::llamaCPP)
        return std::nullopt;
    qint64 total = 0;
    for (const auto &a : artifacts)
        total += a.byteSize;
    if (total <= 3000000000LL)
        return AgentMemoryGuidance{8, 8};
    if (total <= 6000000000LL)
        return AgentMemoryGuidance{8, 16};
    if (total <= 10000000000LL)
        return AgentMemoryGuidance{16, 24};
    return AgentMemoryGuidance{24, 32};
}

int AgentModelDescriptor::effectiveMinimumMemoryGB() const
{
    if (minimumMemoryGB)
        return *minimumMemoryGB;
    const auto guidance = inferredMemoryGuidance();
    return guidance ? guidance->minimumGB : 8;
}

int AgentModelDescriptor::effectiveRecommendedMemoryGB() const
{
    if (recommendedMemoryGB)
        return *recommendedMemoryGB;
    const auto guidance = inferredMemoryGuidance();
    return guidance ? guidance->recommendedGB : effectiveMinimumMemoryGB();
}

QString AgentModelDescriptor::hardwareRequirementLabel() const
{
    switch (provider) {
    case AgentModelProvider::appleSystem:
        return QStringLiteral("Requires Apple Intelligence");
    case AgentModelProvider::openAI:
        return QStringLiteral("Cloud model · internet required");
    case AgentModelProvider::openAICompatible:
        return QStringLiteral("Runs on your server");
    case AgentModelProvider::llamaCPP:
        break;
    }
    int recommended = 16;
    if (recommendedMemoryGB)
        recommended = *recommendedMemoryGB;
    else if (const auto guidance = inferredMemoryGuidance())
        recommended = guidance->recommendedGB;
    return QStringLiteral("Recommended: Apple silicon · ") + QString::number(recommended) + QStringLiteral(" GB+");
}

AgentModelHardwareFit AgentModelDescriptor::hardwareFit(const AgentHardwareProfile &profile) const
{
    if (provider == AgentModelProvider::appleSystem)
        return AgentModelHardwareFit::system;
    // A server's model is judged by its server, not by this machine's memory.
    if (provider == AgentModelProvider::openAI || provider == AgentModelProvider::openAICompatible)
        return AgentModelHardwareFit::cloud;
    if (AgentHardwareProfile::localModelsNeedAppleSilicon && !profile.isAppleSilicon)
        return AgentModelHardwareFit::requiresAppleSilicon;
    const int minimum = effectiveMinimumMemoryGB();
    const int recommended = effectiveRecommendedMemoryGB();
    if (profile.memoryGB < minimum)
        return AgentModelHardwareFit::notRecommended;
    if (profile.memoryGB < recommended)
        return AgentModelHardwareFit::limitedHeadroom;
    return AgentModelHardwareFit::goodFit;
}

QJsonObject AgentModelDescriptor::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), id);
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("officialName"), officialName);
    o.insert(QStringLiteral("organization"), organization);
    o.insert(QStringLiteral("detail"), detail);
    o.insert(QStringLiteral("sizeLabel"), sizeLabel);
    o.insert(QStringLiteral("license"), license);
    o.insert(QStringLiteral("sourceRevision"), sourceRevision);
    o.insert(QStringLiteral("provider"), agentModelProviderRawValue(provider));
    o.insert(QStringLiteral("capabilities"),
             QJsonObject{{QStringLiteral("text"), capabilities.text}, {QStringLiteral("images"), capabilities.images}});
    QJsonArray list;
    for (const auto &a : artifacts)
        list.append(a.toJson());
    o.insert(QStringLiteral("artifacts"), list);
    o.insert(QStringLiteral("isCustom"), isCustom);
    o.insert(QStringLiteral("recommendedFor16GB"), recommendedFor16GB);
    Json::insertOptional(o, QStringLiteral("minimumMemoryGB"), minimumMemoryGB);
    Json::insertOptional(o, QStringLiteral("recommendedMemoryGB"), recommendedMemoryGB);
    Json::insertOptional(o, QStringLiteral("baseURL"), baseURL);
    return o;
}

namespace {

// Missing or null is absent; present but not a whole number fails.
bool optionalInt(const QJsonObject &o, const QString &key, std::optional<int> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return true;
    const auto n = Json::integer(o, key);
    if (!n || *n < INT32_MIN || *n > INT32_MAX)
        return false;
    out = int(*n);
    return true;
}

} // namespace

std::optional<AgentModelDescriptor> AgentModelDescriptor::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    AgentModelDescriptor d;
    const std::pair<const char *, QString *> strings[] = {
        {"id", &d.id},           {"name", &d.name},       {"officialName", &d.officialName},
        {"organization", &d.organization}, {"detail", &d.detail}, {"sizeLabel", &d.sizeLabel},
        {"license", &d.license}, {"sourceRevision", &d.sourceRevision},
    };
    for (const auto &[key, target] : strings) {
        const auto s = Json::string(o, QLatin1String(key));
        if (!s)
            return std::nullopt;
        *target = *s;
    }
    const auto providerText = Json::string(o, QStringLiteral("provider"));
    const auto provider = providerText ? agentModelProviderFromRawValue(*providerText) : std::nullopt;
    const QJsonValue caps = o.value(QStringLiteral("capabilities"));
    const auto text = caps.isObject() ? Json::boolean(caps.toObject(), QStringLiteral("text")) : std::nullopt;
    const auto images = caps.isObject() ? Json::boolean(caps.toObject(), QStringLiteral("images")) : std::nullopt;
    const auto isCustom = Json::boolean(o, QStringLiteral("isCustom"));
    const auto for16 = Json::boolean(o, QStringLiteral("recommendedFor16GB"));
    const QJsonValue artifacts = o.value(QStringLiteral("artifacts"));
    if (!provider || !text || !images || !isCustom || !for16 || !artifacts.isArray() ||
        !optionalInt(o, QStringLiteral("minimumMemoryGB"), d.minimumMemoryGB) ||
        !optionalInt(o, QStringLiteral("recommendedMemoryGB"), d.recommendedMemoryGB) ||
        !Json::optionalString(o, QStringLiteral("baseURL"), d.baseURL))
        return std::nullopt;
    for (const QJsonValue &element : artifacts.toArray()) {
        auto artifact = AgentModelArtifact::fromJson(element);
        if (!artifact)
            return std::nullopt;
        d.artifacts.append(*artifact);
    }
    d.provider = *provider;
    d.capabilities = {*text, *images};
    d.isCustom = *isCustom;
    d.recommendedFor16GB = *for16;
    return d;
}

std::optional<AgentModelDescriptor> AgentModelDescriptor::catalogEntry(const QString &id)
{
    for (const auto &d : catalog())
        if (d.id == id)
            return d;
    return std::nullopt;
}

std::optional<QList<AgentModelDescriptor>> AgentModelDescriptor::listFromJson(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<AgentModelDescriptor> decoded;
    for (const QJsonValue &element : doc.array()) {
        auto d = fromJson(element);
        if (!d)
            return std::nullopt;
        decoded << *d;
    }
    return decoded;
}
