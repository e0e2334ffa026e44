// The GGUF header of a file the user picks for import. Whatever the header declares, no single
// read asks for more than the longest text kept, and what is kept stays that small.
#include "FuzzTarget.h"
#include "models/GGUFHeader.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

class WatchedBytes final : public QIODevice {
public:
    explicit WatchedBytes(QByteArray bytes) : m_bytes(std::move(bytes)) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    qint64 size() const override { return m_bytes.size(); }
    bool isSequential() const override { return false; }
    qint64 largestRead = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        largestRead = std::max(largestRead, maxSize);
        const qint64 n = std::min<qint64>(maxSize, m_bytes.size() - pos());
        if (n <= 0)
            return n < 0 ? -1 : 0;
        std::memcpy(data, m_bytes.constData() + pos(), size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    WatchedBytes device(fuzzBytes(data, size));
    const auto header = GGUFHeader::read(device);
    if (device.largestRead > 4096)
        __builtin_trap();
    if (header.ok() && (header.value().architecture.size() > 4096 || header.value().name.size() > 4096))
        __builtin_trap();
    if (!header.ok() && header.error().isEmpty())
        __builtin_trap();
    return 0;
}
