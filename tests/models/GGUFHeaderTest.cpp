// The GGUF header reader on real, damaged and hostile input.
#include "../speech/TestFiles.h"
#include "models/GGUFHeader.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

namespace {

QByteArray tinyModel() { return readFile(QStringLiteral(ORVEL_TINY_GGUF)); }

// Reads unbuffered, so every read the parser asks for arrives here as asked, and keeps the largest.
class WatchedBytes : public QIODevice {
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

Result<GGUFHeader, QString> parse(const QByteArray &bytes)
{
    WatchedBytes device(bytes);
    return GGUFHeader::read(device);
}

void putU64(QByteArray &bytes, qsizetype at, quint64 value) { std::memcpy(bytes.data() + at, &value, 8); }
void putU32(QByteArray &bytes, qsizetype at, quint32 value) { std::memcpy(bytes.data() + at, &value, 4); }

// A header with one metadata entry whose value is given raw.
QByteArray oneEntry(quint32 type, const QByteArray &value)
{
    QByteArray b("GGUF");
    b += QByteArray(20, '\0');
    putU32(b, 4, 3);
    putU64(b, 16, 1);
    QByteArray key("general.architecture");
    QByteArray len(8, '\0');
    putU64(len, 0, key.size());
    QByteArray t(4, '\0');
    putU32(t, 0, type);
    return b + len + key + t + value;
}

QByteArray text(const QByteArray &s)
{
    QByteArray len(8, '\0');
    putU64(len, 0, s.size());
    return len + s;
}

} // namespace

TEST(GGUFHeader, ReadsTheTestModelsHeader)
{
    const QByteArray model = tinyModel();
    ASSERT_FALSE(model.isEmpty());
    WatchedBytes device(model);
    const auto header = GGUFHeader::read(device);
    ASSERT_TRUE(header.ok()) << header.error().toStdString();
    EXPECT_EQ(header.value().version, 3u);
    EXPECT_EQ(header.value().tensorCount, 21u);
    EXPECT_EQ(header.value().metadataCount, 21u);
    EXPECT_EQ(header.value().architecture, QStringLiteral("llama"));
    EXPECT_EQ(header.value().name, QStringLiteral("Tiny Test Chat"));
    EXPECT_TRUE(header.value().hasChatTemplate);
    // The vocabulary is skipped, not loaded.
    EXPECT_LE(device.largestRead, 4096);
    EXPECT_TRUE(GGUFHeader::hasMagic(QStringLiteral(ORVEL_TINY_GGUF)).value());
    EXPECT_FALSE(GGUFHeader::hasMagic(QStringLiteral("/nonexistent/model.gguf")).ok());
}

TEST(GGUFHeader, RejectsDamagedAndHostileHeadersWithAReason)
{
    const QByteArray model = tinyModel();
    QByteArray wrongMagic = model;
    wrongMagic[0] = 'g';
    QByteArray versionOne = model;
    putU32(versionOne, 4, 1);
    QByteArray hugeTensors = model;
    putU64(hugeTensors, 8, ~0ULL);
    QByteArray hugeEntries = model;
    putU64(hugeEntries, 16, 1ULL << 60);
    QByteArray hugeKey = model;
    putU64(hugeKey, 24, 1ULL << 62);

    QByteArray bigCount(8, '\0'), arrayHead(12, '\0');
    putU32(arrayHead, 0, 8); // strings
    putU64(arrayHead, 4, 1ULL << 40);
    QByteArray nested(12, '\0');
    putU32(nested, 0, 9);
    putU64(nested, 4, 1);

    const struct {
        const char *name;
        QByteArray bytes;
        QString reason;
    } cases[] = {
        {"empty", QByteArray(), QStringLiteral("It does not begin with “GGUF”.")},
        {"wrong magic", wrongMagic, QStringLiteral("It does not begin with “GGUF”.")},
        {"old version", versionOne, QStringLiteral("Its GGUF version 1 is not supported.")},
        {"header only", model.left(10), QStringLiteral("Its header is cut short.")},
        {"huge tensor count", hugeTensors, QStringLiteral("Its header declares more entries than the file holds.")},
        {"huge entry count", hugeEntries, QStringLiteral("Its header declares more entries than the file holds.")},
        {"huge key length", hugeKey, QStringLiteral("Its header is cut short.")},
        {"huge string array", oneEntry(9, arrayHead), QStringLiteral("Its header declares more entries than the file holds.")},
        {"nested arrays", oneEntry(9, nested + QByteArray(64, '\0')), QStringLiteral("Its metadata nests lists, which GGUF models do not use.")},
        {"unknown type", oneEntry(77, QByteArray(64, '\0')), QStringLiteral("Its metadata holds a value of unknown type 77.")},
        {"no architecture", oneEntry(4, QByteArray(4, '\0')), QStringLiteral("It does not name its model architecture.")},
        {"architecture cut", oneEntry(8, text("llama").left(9)), QStringLiteral("Its header is cut short.")},
    };
    for (const auto &c : cases) {
        const auto header = parse(c.bytes);
        ASSERT_FALSE(header.ok()) << c.name;
        EXPECT_EQ(header.error(), c.reason) << c.name;
    }
    EXPECT_EQ(parse(oneEntry(8, text("llama"))).value().architecture, QStringLiteral("llama"));

    // Every cut through the metadata and tensor list fails cleanly; the data section is not read.
    const qsizetype headerEnd = model.indexOf("blk.1.ffn_down.weight") + 21 + 4 + 16 + 12;
    for (qsizetype cut = 0; cut < headerEnd; cut += 7)
        EXPECT_FALSE(parse(model.left(cut)).ok()) << cut;
    EXPECT_TRUE(parse(model.left(headerEnd)).ok());
}
