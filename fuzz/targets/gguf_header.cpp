// The GGUF header of a file the user picks for import.
#include "FuzzTarget.h"
#include "models/GGUFHeader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = fuzzBytes(data, size);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const auto header = GGUFHeader::read(buffer);
    // Whatever the file says, what is kept of it stays small.
    if (header.ok() && (header.value().architecture.size() > 4096 || header.value().name.size() > 4096))
        __builtin_trap();
    return 0;
}
