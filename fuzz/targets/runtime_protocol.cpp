// One line of the runtime protocol, read by either side: a request by the runtime, an event by
// the program. What decodes must encode to a line that decodes to the same value.
#include "FuzzTarget.h"
#include "command/AgentRuntimeProtocol.h"
#include "runtime/RequestDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line = fuzzBytes(data, size);
    auto request = decodeRequestLine(line);
    if (auto *decoded = std::get_if<AgentRuntimeRequest>(&request)) {
        const auto again = AgentProtocol::decodeRequest(AgentProtocol::encodedLine(*decoded).chopped(1));
        const auto third = again ? AgentProtocol::decodeRequest(AgentProtocol::encodedLine(*again).chopped(1))
                                 : std::nullopt;
        if (!again || third != again)
            __builtin_trap();
    }
    if (const auto event = AgentProtocol::decodeEvent(line)) {
        const auto again = AgentProtocol::decodeEvent(AgentProtocol::encodedLine(*event).chopped(1));
        const auto third = again ? AgentProtocol::decodeEvent(AgentProtocol::encodedLine(*again).chopped(1))
                                 : std::nullopt;
        if (!again || third != again)
            __builtin_trap();
    }
    return 0;
}
