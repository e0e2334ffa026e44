#include "platform/Sha256.h"
#include "platform/StagedFileWriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

// Many uneven chunks through the bounded queue, the sender waiting for room as the downloader does:
// the file and the digest must both be the bytes in order, with the writing and the hashing
// thread each walking the queue at its own pace.
TEST(StagedFileWriter, ManyChunksUnderBackPressureGiveTheBytesInOrderAndTheirDigest)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("staged"));
    std::mutex lock;
    std::condition_variable room;
    int roomCalls = 0;
    StagedFileWriter writer(path, true, [&] {
        const std::lock_guard guard(lock);
        ++roomCalls;
        room.notify_all();
    });
    ASSERT_TRUE(writer.open().isEmpty());

    QByteArray all;
    auto *random = QRandomGenerator::global();
    QByteArray pool(1 << 20, Qt::Uninitialized);
    random->fillRange(reinterpret_cast<quint32 *>(pool.data()), pool.size() / 4);
    int waits = 0;
    for (int i = 0; i < 150; ++i) {
        {
            // Room made after the queue was seen full must be announced.
            std::unique_lock guard(lock);
            const int before = roomCalls;
            if (writer.full()) {
                ++waits;
                ASSERT_TRUE(room.wait_for(guard, std::chrono::seconds(5), [&] { return roomCalls > before; }));
            }
        }
        // Copied from a random pool, so the sender always outpaces the hashing and the queue fills.
        const qsizetype used = 1 + random->bounded(1 << 19);
        QByteArray chunk = writer.takeBuffer(used + random->bounded(2) * 1000);
        std::memcpy(chunk.data(), pool.constData() + random->bounded(pool.size() - used), size_t(used));
        all.append(chunk.constData(), used);
        writer.push(std::move(chunk), used);
    }
    const StagedFileWriter::Written written = writer.finish();
    EXPECT_TRUE(written.error.isEmpty());
    EXPECT_EQ(written.size, all.size());
    Sha256 expected;
    expected.update(all);
    EXPECT_EQ(written.sha256, expected.finalHex());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == all);
    EXPECT_GT(waits, 0) << "the queue never filled, so holding back went untested";
}

// A disk that refuses the bytes: the failure is reported, nothing counts as written, and neither
// thread is left waiting (finish returns; the destructor after it too).
TEST(StagedFileWriter, FailedWriteIsReportedAndTheRestIsDropped)
{
    StagedFileWriter writer(QStringLiteral("/dev/full"), true, [] {});
    ASSERT_TRUE(writer.open().isEmpty());
    for (int i = 0; i < 5; ++i) {
        QByteArray chunk = writer.takeBuffer(1 << 16);
        writer.push(std::move(chunk), 1 << 16);
    }
    const StagedFileWriter::Written written = writer.finish();
    EXPECT_FALSE(written.error.isEmpty());
    EXPECT_TRUE(writer.failed());
    EXPECT_LT(written.size, 5 << 16);
}

// Dropped mid-transfer (the program quits): the destructor stops both threads without waiting for
// the queue to be written.
TEST(StagedFileWriter, DestroyedWithChunksQueuedStopsAtOnce)
{
    QTemporaryDir dir;
    auto writer = std::make_unique<StagedFileWriter>(dir.filePath(QStringLiteral("staged")), true, [] {});
    ASSERT_TRUE(writer->open().isEmpty());
    for (int i = 0; i < 3; ++i) {
        QByteArray chunk = writer->takeBuffer(4 << 20);
        writer->push(std::move(chunk), 4 << 20);
    }
    writer.reset();
    SUCCEED();
}
