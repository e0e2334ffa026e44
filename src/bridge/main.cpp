// OrvelAppleBridge: one JSON request on standard input, one JSON response on standard output.
#include "Bridge.h"

namespace {

// Linux has no on-device system language model.
class NoOnDeviceModel final : public OnDeviceLanguageModel {
public:
    Availability availability() const override { return Availability::unavailable; }
    std::variant<QString, Failure> respond(const QString &, const QString &) override
    {
        return Failure{QStringLiteral("Apple Intelligence is unavailable.")};
    }
};

} // namespace

int main()
{
    NoOnDeviceModel model;
    return Bridge::run(model);
}
