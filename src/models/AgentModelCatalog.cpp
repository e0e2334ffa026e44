// The curated writing models, with every value pinned.
#include "AgentModelDescriptor.h"

#include "speech/SpeechModel.h"

namespace {

using Role = AgentModelArtifact::Role;

AgentModelArtifact artifact(const char *fileName, const char *path, qint64 byteSize, const char *sha256, Role role)
{
    const QUrl url(SpeechModel::modelHost() + QString::fromLatin1(path) + QStringLiteral("?download=true"));
    return {QString::fromLatin1(fileName), url, byteSize, QString::fromLatin1(sha256), role};
}

AgentModelDescriptor entry(const char *id, const char *name, const char *officialName, const char *organization,
                           const char *detail, const char *sizeLabel, const char *license, const char *revision,
                           AgentModelProvider provider, bool images, bool for16, std::optional<int> minimum,
                           std::optional<int> recommended, QList<AgentModelArtifact> artifacts = {})
{
    AgentModelDescriptor d;
    d.id = QString::fromLatin1(id);
    d.name = QString::fromUtf8(name);
    d.officialName = QString::fromUtf8(officialName);
    d.organization = QString::fromUtf8(organization);
    d.detail = QString::fromUtf8(detail);
    d.sizeLabel = QString::fromUtf8(sizeLabel);
    d.license = QString::fromUtf8(license);
    d.sourceRevision = QString::fromLatin1(revision);
    d.provider = provider;
    d.capabilities = {true, images};
    d.artifacts = std::move(artifacts);
    d.isCustom = false;
    d.recommendedFor16GB = for16;
    d.minimumMemoryGB = minimum;
    d.recommendedMemoryGB = recommended;
    return d;
}

QList<AgentModelDescriptor> buildCatalog()
{
    constexpr auto apple = AgentModelProvider::appleSystem;
    constexpr auto llama = AgentModelProvider::llamaCPP;
    constexpr auto openAI = AgentModelProvider::openAI;
    constexpr auto none = std::nullopt;
    return {
        entry("apple-system", "Apple On-Device", "SystemLanguageModel", "Apple",
              "The private system model built into macOS. No extra download.", "Built in", "System", "macOS 26",
              apple, false, true, none, none),
        entry("qwen3-4b-q4", "Qwen Writer", "Qwen3 4B Q4_K_M", "Qwen",
              "A compact multilingual writing model with strong instruction following.", "2.5 GB", "Apache 2.0",
              "2f3b082b1356a6123f7ed71e65aea340da25d53c", llama, false, true, 8, 16,
              {artifact("Qwen3-4B-Q4_K_M.gguf",
                        "/ggml-org/Qwen3-4B-GGUF/resolve/2f3b082b1356a6123f7ed71e65aea340da25d53c/Qwen3-4B-Q4_K_M.gguf",
                        2497280640, "ab27b9bfa375a178d6cba48f3ad892b94b7739659dcc7aae8058ce0ffed6b328", Role::model)}),
        entry("qwen25-vl-3b-q4", "Qwen Vision", "Qwen2.5-VL 3B Q4_K_M", "Qwen",
              "A small multimodal model for writing with an attached app-window screenshot.", "2.8 GB", "Apache 2.0",
              "5037fcf163dd95d1e41d1974465f0898ed108ca2", llama, true, true, 8, 16,
              {artifact("Qwen2.5-VL-3B-Instruct-Q4_K_M.gguf",
                        "/ggml-org/Qwen2.5-VL-3B-Instruct-GGUF/resolve/5037fcf163dd95d1e41d1974465f0898ed108ca2/"
                        "Qwen2.5-VL-3B-Instruct-Q4_K_M.gguf",
                        1929901056, "d02fe9b69ad8cadbbd228e387667af66612c44bed29ffc8eb1e7caf9ac486c12", Role::model),
               artifact("mmproj-Qwen2.5-VL-3B-Instruct-Q8_0.gguf",
                        "/ggml-org/Qwen2.5-VL-3B-Instruct-GGUF/resolve/5037fcf163dd95d1e41d1974465f0898ed108ca2/"
                        "mmproj-Qwen2.5-VL-3B-Instruct-Q8_0.gguf",
                        844757728, "980c9b2f78c04e6cff93d277ada09e768394f112d75db3b4e9dea8a69f9fb904",
                        Role::visionProjector)}),
        entry("deepseek-r1-15b-q4", "DeepSeek Compact", "DeepSeek R1 Distill Qwen 1.5B Q4", "DeepSeek",
              "The smallest curated option for more deliberate rewriting tasks.", "1.1 GB", "MIT",
              "fc9d48f477cfe8f983fa5e41557ecd47e619fef4", llama, false, true, 8, 8,
              {artifact("deepseek-r1-distill-qwen-1.5b-q4_0.gguf",
                        "/ggml-org/DeepSeek-R1-Distill-Qwen-1.5B-Q4_0-GGUF/resolve/"
                        "fc9d48f477cfe8f983fa5e41557ecd47e619fef4/deepseek-r1-distill-qwen-1.5b-q4_0.gguf",
                        1066227008, "0d3f4820ee66ab44884b8176f17371eb1baa1d63df15740ffd5873d9e03e8978", Role::model)}),
        entry("gemma4-e2b-q4", "Gemma 4 E2B", "Gemma 4 E2B IT Q4_0", "Google",
              "The fastest Gemma 4 option for responsive local writing and screenshots.", "3.4 GB", "Apache 2.0",
              "b4243c156154b6dca9324415f8c7ccc098b4aed1", llama, true, true, 8, 8,
              {artifact("gemma-4-E2B-it-Q4_0.gguf",
                        "/ggml-org/gemma-4-E2B-it-GGUF/resolve/b4243c156154b6dca9324415f8c7ccc098b4aed1/"
                        "gemma-4-E2B-it-Q4_0.gguf",
                        2841481184, "8e30dff3ac4c8434c49a7036fa15564bdbb6044e42bf04550bf1a096ad7e6a52", Role::model),
               artifact("mmproj-gemma-4-E2B-it-Q8_0.gguf",
                        "/ggml-org/gemma-4-E2B-it-GGUF/resolve/b4243c156154b6dca9324415f8c7ccc098b4aed1/"
                        "mmproj-gemma-4-E2B-it-Q8_0.gguf",
                        557368064, "9406f99c16d68cda4f1f0552192dcc99021ea1fc6d2fd50b1dc3ccf30d04b292",
                        Role::visionProjector)}),
        entry("gemma4-e4b-q4", "Gemma 4 E4B", "Gemma 4 E4B IT Q4_0", "Google",
              "The higher-quality Gemma 4 edge model for capable local writing and screenshots.", "5.2 GB",
              "Apache 2.0", "b8093469224f83f5c38f691eb906c380e9e63114", llama, true, true, 8, 16,
              {artifact("gemma-4-E4B-it-Q4_0.gguf",
                        "/ggml-org/gemma-4-E4B-it-GGUF/resolve/b8093469224f83f5c38f691eb906c380e9e63114/"
                        "gemma-4-E4B-it-Q4_0.gguf",
                        4590807392, "a555b900214b477d8880e7832e0b8925e139b0159640036b09fe472b6f2097f2", Role::model),
               artifact("mmproj-gemma-4-E4B-it-Q8_0.gguf",
                        "/ggml-org/gemma-4-E4B-it-GGUF/resolve/b8093469224f83f5c38f691eb906c380e9e63114/"
                        "mmproj-gemma-4-E4B-it-Q8_0.gguf",
                        559874816, "197f49a93027f9843772bd24a6a9e0be2a32a788de5a3def330e9c585d86edd1",
                        Role::visionProjector)}),
        entry("openai-luna", "Luna", "gpt-5.6-luna", "OpenAI",
              "Fast, economical cloud writing for everyday drafts and edits.", "Paid API", "OpenAI API", "GPT-5.6",
              openAI, true, false, none, none),
        entry("openai-terra", "Terra", "gpt-5.6-terra", "OpenAI",
              "Balanced cloud speed and quality for richer rewriting work.", "Paid API", "OpenAI API", "GPT-5.6",
              openAI, true, false, none, none),
        entry("openai-sol", "Sol", "gpt-5.6-sol", "OpenAI",
              "The quality-first cloud model for the most complex writing tasks.", "Paid API", "OpenAI API", "GPT-5.6",
              openAI, true, false, none, none),
    };
}

} // namespace

const QList<AgentModelDescriptor> &AgentModelDescriptor::catalog()
{
    static const QList<AgentModelDescriptor> entries = buildCatalog();
    return entries;
}
