#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The fuzzer's bytes, not copied; valid for one call.
inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}
