// history.json as the user may have left it. What loads must save to a file that loads the same.
#include "FuzzTarget.h"
#include "speech/HistoryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto items = HistoryStore::decode(fuzzBytes(data, size));
    if (!items)
        return 0;
    // Saving rounds dates to whole seconds once; after that a save and a load change nothing.
    const auto saved = HistoryStore::decode(HistoryStore::encode(*items));
    const auto again = saved ? HistoryStore::decode(HistoryStore::encode(*saved)) : std::nullopt;
    if (!saved || saved->size() != items->size() || again != saved)
        __builtin_trap();
    return 0;
}
