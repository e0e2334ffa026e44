// custom-models.json, the list of imported models. What loads must save to a file that loads the same.
#include "FuzzTarget.h"
#include "models/AgentModelDescriptor.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QByteArray save(const QList<AgentModelDescriptor> &list)
{
    QJsonArray array;
    for (const auto &d : list)
        array.append(d.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto models = AgentModelDescriptor::listFromJson(fuzzBytes(data, size));
    if (!models)
        return 0;
    const auto saved = AgentModelDescriptor::listFromJson(save(*models));
    const auto again = saved ? AgentModelDescriptor::listFromJson(save(*saved)) : std::nullopt;
    if (!saved || saved->size() != models->size() || again != saved)
        __builtin_trap();
    return 0;
}
