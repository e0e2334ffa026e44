#include "models/GGUFHeader.h"

#include "platform/StoreFile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cstring>

namespace {

// Metadata value types of the format.
enum ValueType : quint32 {
    u8 = 0, i8, u16, i16, u32, i32, f32, boolean, string, array, u64, i64, f64, typeCount
};

// Names and texts longer than this are not kept (they are still skipped correctly).
constexpr quint64 kMaxKeptString = 4096;
// The format allows at most four dimensions per tensor.
constexpr quint32 kMaxDimensions = 4;

qint64 fixedSize(quint32 type)
{
    switch (type) {
    case u8: case i8: case boolean: return 1;
    case u16: case i16: return 2;
    case u32: case i32: case f32: return 4;
    case u64: case i64: case f64: return 8;
    default: return 0;
    }
}

struct Failure {
    QString reason;
};

class Reader {
public:
    Reader(QIODevice &device, const GGUFHeader::Stopped &stopped)
        : m_device(device), m_size(device.size()), m_stopped(stopped)
    {
    }

    // A header may hold hundreds of millions of entries that each fit the file; the caller can
    // give up on it.
    void entry()
    {
        if (m_stopped && (++m_entries & 0xFFFF) == 0 && m_stopped())
            throw Failure{GGUFHeader::stoppedMessage};
    }

    quint64 remaining() const { return quint64(m_size - m_device.pos()); }

    template <typename T>
    T scalar()
    {
        T value{};
        char bytes[sizeof(T)];
        if (m_device.read(bytes, sizeof(T)) != qint64(sizeof(T)))
            throw Failure{QStringLiteral("Its header is cut short.")};
        std::memcpy(&value, bytes, sizeof(T)); // the format is little-endian, as is every supported CPU
        return value;
    }

    void skip(quint64 bytes)
    {
        if (bytes > remaining() || !m_device.seek(m_device.pos() + qint64(bytes)))
            throw Failure{QStringLiteral("Its header is cut short.")};
    }

    // Reads a length-prefixed string; a text longer than kMaxKeptString is skipped and returned empty.
    QByteArray text()
    {
        const auto length = scalar<quint64>();
        if (length > remaining())
            throw Failure{QStringLiteral("Its header is cut short.")};
        if (length > kMaxKeptString) {
            skip(length);
            return {};
        }
        const QByteArray bytes = m_device.read(qint64(length));
        if (quint64(bytes.size()) != length)
            throw Failure{QStringLiteral("Its header is cut short.")};
        return bytes;
    }

    void skipValue(quint32 type, bool inArray = false)
    {
        if (const qint64 size = fixedSize(type)) {
            skip(quint64(size));
            return;
        }
        if (type == string) {
            skip(scalar<quint64>());
            return;
        }
        if (type == array && !inArray) {
            const auto elementType = scalar<quint32>();
            const auto count = scalar<quint64>();
            if (elementType >= typeCount)
                throw Failure{QStringLiteral("Its metadata holds a value of unknown type %1.").arg(elementType)};
            if (elementType == array)
                throw Failure{QStringLiteral("Its metadata nests lists, which GGUF models do not use.")};
            const qint64 size = fixedSize(elementType);
            // Even an empty string takes its 8-byte length, so the count is bounded by what is left.
            const quint64 least = size ? quint64(size) : 8;
            if (count > remaining() / least)
                throw Failure{QStringLiteral("Its header declares more entries than the file holds.")};
            if (size) {
                skip(count * quint64(size));
                return;
            }
            for (quint64 i = 0; i < count; ++i) {
                entry();
                skip(scalar<quint64>());
            }
            return;
        }
        throw Failure{QStringLiteral("Its metadata holds a value of unknown type %1.").arg(type)};
    }

private:
    QIODevice &m_device;
    qint64 m_size;
    const GGUFHeader::Stopped &m_stopped;
    quint64 m_entries = 0;
};

} // namespace

Result<GGUFHeader, QString> GGUFHeader::read(QIODevice &device, const Stopped &stopped)
{
    using Outcome = Result<GGUFHeader, QString>;
    if (!device.isReadable() || device.isSequential())
        return Outcome::failure(QStringLiteral("It cannot be read."));
    Reader in(device, stopped);
    GGUFHeader header;
    try {
        char magic[4];
        if (device.read(magic, 4) != 4 || std::memcmp(magic, "GGUF", 4) != 0)
            return Outcome::failure(QStringLiteral("It does not begin with “GGUF”."));
        header.version = in.scalar<quint32>();
        // Version 1 used 32-bit counts and is no longer loaded by llama.cpp.
        if (header.version < 2 || header.version > 3)
            return Outcome::failure(QStringLiteral("Its GGUF version %1 is not supported.").arg(header.version));
        header.tensorCount = in.scalar<quint64>();
        header.metadataCount = in.scalar<quint64>();
        // The smallest metadata entry (an empty key and a byte) takes 13 bytes, the smallest tensor
        // entry (an empty name, no dimensions, type and offset) 24.
        if (header.metadataCount > in.remaining() / 13 || header.tensorCount > in.remaining() / 24)
            return Outcome::failure(QStringLiteral("Its header declares more entries than the file holds."));

        for (quint64 i = 0; i < header.metadataCount; ++i) {
            in.entry();
            const QByteArray key = in.text();
            const auto type = in.scalar<quint32>();
            if ((key == "general.architecture" || key == "general.name") && type == string) {
                QString value = QString::fromUtf8(in.text());
                (key == "general.architecture" ? header.architecture : header.name) = value;
                continue;
            }
            if (key == "tokenizer.chat_template")
                header.hasChatTemplate = true;
            in.skipValue(type);
        }
        for (quint64 i = 0; i < header.tensorCount; ++i) {
            in.entry();
            in.skip(in.scalar<quint64>()); // name
            const auto dimensions = in.scalar<quint32>();
            if (dimensions > kMaxDimensions)
                return Outcome::failure(QStringLiteral("Its tensor list is damaged."));
            in.skip(quint64(dimensions) * 8 + 4 + 8); // sizes, element type, offset
        }
    } catch (const Failure &failure) {
        return Outcome::failure(failure.reason);
    }
    if (header.architecture.isEmpty())
        return Outcome::failure(QStringLiteral("It does not name its model architecture."));
    return header;
}

namespace {

// The error names the file, for the user.
Result<int, QString> openRegular(const QString &path)
{
    auto fd = RegularFile::open(path);
    if (!fd)
        return Result<int, QString>::failure(QStringLiteral("“%1” could not be read: %2.")
                                                 .arg(QFileInfo(path).fileName(), fd.error()));
    return fd;
}

} // namespace

Result<GGUFHeader, QString> GGUFHeader::readFile(const QString &path, const Stopped &stopped)
{
    const auto fd = openRegular(path);
    if (!fd)
        return Result<GGUFHeader, QString>::failure(fd.error());
    QFile file;
    if (!file.open(fd.value(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return Result<GGUFHeader, QString>::failure(file.errorString());
    return read(file, stopped);
}

Result<bool, QString> GGUFHeader::hasMagic(const QString &path)
{
    const auto fd = openRegular(path);
    if (!fd)
        return Result<bool, QString>::failure(fd.error());
    QFile file;
    if (!file.open(fd.value(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return Result<bool, QString>::failure(file.errorString());
    char magic[4];
    return file.read(magic, 4) == 4 && std::memcmp(magic, "GGUF", 4) == 0;
}
