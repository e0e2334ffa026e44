// The bridge with a stand-in model answering "<instructions>|<prompt>", or failing on "fail".
#include "Bridge.h"

namespace {

class ScriptedModel final : public OnDeviceLanguageModel {
public:
    Availability availability() const override { return Availability::available; }
    std::variant<QString, Failure> respond(const QString &instructions, const QString &prompt) override
    {
        if (prompt == QLatin1String("fail"))
            return Failure{QStringLiteral("The model refused.")};
        return instructions + QLatin1Char('|') + prompt;
    }
};

} // namespace

int main()
{
    ScriptedModel model;
    return Bridge::run(model);
}
