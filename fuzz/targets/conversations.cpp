// conversations.json as the user may have left it. What loads must save to a file that loads the same.
#include "FuzzTarget.h"
#include "command/AgentConversation.h"
#include "platform/Json.h"

#include <QJsonDocument>

namespace {

std::optional<QList<AgentConversation>> load(const QByteArray &bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    return doc.isArray() ? agentConversationsFromJson(doc.array()) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto conversations = load(fuzzBytes(data, size));
    if (!conversations)
        return 0;
    const auto saved = load(Json::filePretty(agentConversationsToJson(*conversations)));
    const auto again = saved ? load(Json::filePretty(agentConversationsToJson(*saved))) : std::nullopt;
    if (!saved || saved->size() != conversations->size() || again != saved)
        __builtin_trap();
    return 0;
}
