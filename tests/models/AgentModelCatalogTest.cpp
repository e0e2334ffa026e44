#include "app/PlatformWording.h"
#include "models/AgentHardwareProfile.h"
#include "models/AgentModelDescriptor.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

const AgentModelDescriptor &model(const char *id)
{
    for (const auto &d : AgentModelDescriptor::catalog())
        if (d.id == QLatin1String(id))
            return d;
    static AgentModelDescriptor none;
    ADD_FAILURE() << "no catalog entry " << id;
    return none;
}

AgentHardwareProfile machine(int gb) { return {QStringLiteral("Test CPU"), gb, false}; }

AgentModelDescriptor imported(qint64 bytes)
{
    AgentModelDescriptor d;
    d.id = QStringLiteral("custom-x");
    d.provider = AgentModelProvider::llamaCPP;
    d.isCustom = true;
    d.artifacts = {{QStringLiteral("x.gguf"), QUrl(QStringLiteral("file:///x.gguf")), bytes, QString(),
                    AgentModelArtifact::Role::model}};
    return d;
}

} // namespace

// Every curated download pins its revision and checksum; vision models, and only they, carry a projector.
TEST(AgentModelCatalog, CuratedDownloadsArePinnedAndConsistent)
{
    for (const auto &d : AgentModelDescriptor::catalog()) {
        for (const auto &a : d.artifacts) {
            EXPECT_TRUE(a.url.toString().contains(QStringLiteral("/resolve/") + d.sourceRevision + QLatin1Char('/')))
                << a.url.toString().toStdString();
            EXPECT_TRUE(a.url.toString().endsWith(QStringLiteral("/") + a.fileName + QStringLiteral("?download=true")));
            EXPECT_EQ(a.sha256.size(), 64);
            EXPECT_EQ(a.sha256, a.sha256.toLower());
        }
        if (d.provider != AgentModelProvider::llamaCPP) {
            EXPECT_TRUE(d.artifacts.isEmpty()) << d.id.toStdString();
        } else {
            EXPECT_EQ(d.sourceRevision.size(), 40);
            EXPECT_EQ(d.projectorArtifact().has_value(), d.capabilities.images) << d.id.toStdString();
        }
    }
}

TEST(AgentModelGuidance, InferredFromDownloadSizeAndFitToTheMachine)
{
    EXPECT_EQ(imported(3000000000).inferredMemoryGuidance(), (AgentMemoryGuidance{8, 8}));
    EXPECT_EQ(imported(3000000001).inferredMemoryGuidance(), (AgentMemoryGuidance{8, 16}));
    const auto seven = imported(7000000000);
    EXPECT_EQ(seven.inferredMemoryGuidance(), (AgentMemoryGuidance{16, 24}));
    EXPECT_EQ(seven.hardwareFit(machine(24)), AgentModelHardwareFit::goodFit);
    EXPECT_EQ(seven.hardwareFit(machine(16)), AgentModelHardwareFit::limitedHeadroom);
    EXPECT_EQ(seven.hardwareFit(machine(8)), AgentModelHardwareFit::notRecommended);
    EXPECT_EQ(imported(12000000000).inferredMemoryGuidance(), (AgentMemoryGuidance{24, 32}));
    // Stored values win over the inferred ones, each on its own.
    auto tuned = seven;
    tuned.recommendedMemoryGB = 12;
    EXPECT_EQ(tuned.effectiveMinimumMemoryGB(), 16);
    EXPECT_EQ(tuned.effectiveRecommendedMemoryGB(), 12);
    // System and cloud models never infer guidance, even with artifacts.
    auto cloud = seven;
    cloud.provider = AgentModelProvider::openAI;
    EXPECT_FALSE(cloud.inferredMemoryGuidance());
    EXPECT_EQ(cloud.hardwareFit(machine(4)), AgentModelHardwareFit::cloud);
    EXPECT_FALSE(model("apple-system").inferredMemoryGuidance());
    EXPECT_EQ(model("apple-system").hardwareFit(machine(4)), AgentModelHardwareFit::system);
}

TEST(AgentModelJson, AbsentGuidanceReadsAsAbsentAndBrokenRecordsFail)
{
    // Stored imports reload equal (AgentModelStoreTest, GGUFImportTest); here what must not load.
    QJsonObject o = model("apple-system").toJson();
    EXPECT_FALSE(o.contains(QStringLiteral("minimumMemoryGB")));
    const auto back = AgentModelDescriptor::fromJson(o);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->minimumMemoryGB);
    EXPECT_FALSE(back->recommendedMemoryGB);
    o.insert(QStringLiteral("minimumMemoryGB"), QJsonValue::Null);
    EXPECT_TRUE(AgentModelDescriptor::fromJson(o));

    const QJsonObject good = model("qwen3-4b-q4").toJson();
    QJsonObject badRole = good.value(QStringLiteral("artifacts")).toArray()[0].toObject();
    badRole[QStringLiteral("role")] = QStringLiteral("weights");
    const std::pair<const char *, QJsonValue> broken[] = {
        {"artifacts", QJsonValue::Undefined}, {"artifacts", QJsonArray{badRole}}, {"minimumMemoryGB", 7.5}};
    for (const auto &[key, value] : broken) {
        QJsonObject bad = good;
        bad.insert(QLatin1String(key), value); // Undefined removes the key
        EXPECT_FALSE(AgentModelDescriptor::fromJson(bad)) << key;
    }
    // Byte sizes beyond 32 bits survive.
    EXPECT_EQ(AgentModelDescriptor::fromJson(model("gemma4-e4b-q4").toJson())->artifacts[0].byteSize, 4590807392);
}

TEST(AgentHardwareProfile, MemoryRoundsToNearestGibibyteAndChipNameComesFromCpuInfo)
{
    EXPECT_EQ(AgentHardwareProfile::memoryGBFromBytes(17716740096ULL), 17); // 16.5 GiB
    EXPECT_EQ(AgentHardwareProfile::memoryGBFromBytes(17716740095ULL), 16);
    EXPECT_EQ(AgentHardwareProfile::memoryGBFromBytes(0), 1);

    const QByteArray cpuinfo = "processor\t: 0\nvendor_id\t: GenuineIntel\n"
                               "model name\t: Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz\n\n"
                               "processor\t: 1\nmodel name\t: Other\n";
    EXPECT_EQ(AgentHardwareProfile::chipNameFromCpuInfo(cpuinfo),
              QStringLiteral("Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz"));
    // A kernel that names no model still gets a true name, never the macOS fallback.
    const QString unnamed = AgentHardwareProfile::chipNameFromCpuInfo("processor : 0\nmodel name :\nBogoMIPS : 48.00\n");
    EXPECT_FALSE(unnamed.isEmpty());
    EXPECT_FALSE(unnamed.contains(QStringLiteral("Apple")));

    const auto here = AgentHardwareProfile::current();
    EXPECT_GE(here.memoryGB, 1);
    EXPECT_FALSE(here.chipName.isEmpty());
    EXPECT_FALSE(here.isAppleSilicon);
}

// What the Models screen shows of the writing models, once through the wording table, states
// nothing that is only true on a Mac.
TEST(AgentModelWording, ShownModelTextsNameNoMacOSFact)
{
    QStringList shown{
        QStringLiteral("This model is larger than 8 GB and may cause memory pressure on a 16 GB Mac."),
        QStringLiteral("The bundled llama-server is missing, so this model cannot be validated."),
        AgentHardwareProfile::current().summary(),
        imported(7000000000).hardwareRequirementLabel(),
    };
    for (const auto &d : AgentModelDescriptor::catalog())
        shown << d.detail << d.hardwareRequirementLabel();
    const QStringList macFacts{QStringLiteral("Mac"), QStringLiteral("macOS"), QStringLiteral("Apple silicon"), QStringLiteral("Keychain"),
                               QStringLiteral("bundled")};
    for (const QString &text : std::as_const(shown)) {
        const QString adapted = PlatformWording::adapt(text);
        for (const QString &fact : macFacts)
            EXPECT_FALSE(adapted.contains(fact)) << adapted.toStdString();
    }
    EXPECT_EQ(PlatformWording::adapt(imported(7000000000).hardwareRequirementLabel()), QStringLiteral("Recommended: 24 GB+"));
}
