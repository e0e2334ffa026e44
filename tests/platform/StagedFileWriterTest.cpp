#include "platform/Sha256.h"
#include "platform/StagedFileWriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Many uneven chunks through the bounded queue, the sender waiting for room as the downloader does:
// the bytes written and the digest must both be the bytes in order, with the writing and the
// hashing thread each walking the queue at its own pace. The file is a pipe whose reader holds
// back until the sender has found the queue full, so holding back is always exercised.
TEST(StagedFileWriter, ManyChunksUnderBackPressureGiveTheBytesInOrderAndTheirDigest)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("staged"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    std::mutex lock;
    std::condition_variable room;
    int roomCalls = 0;
    bool drain = false;
    QByteArray received;
    std::thread reader([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        {
            std::unique_lock guard(lock);
            room.wait(guard, [&] { return drain; });
        }
        char buffer[1 << 16];
        ssize_t n;
        while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
            received.append(buffer, n);
        ::close(fd);
    });
    StagedFileWriter writer(path, true, [&] {
        const std::lock_guard guard(lock);
        ++roomCalls;
        room.notify_all();
    });
    const auto release = [&] {
        const std::lock_guard guard(lock);
        drain = true;
        room.notify_all();
    };
    if (const QString error = writer.open(); !error.isEmpty()) {
        ADD_FAILURE() << qPrintable(error);
        // Lets the reader's open return, so it can be joined.
        ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
        release();
        reader.join();
        return;
    }

    QByteArray all;
    auto *random = QRandomGenerator::global();
    int waits = 0;
    bool stuck = false;
    for (int i = 0; i < 150 && !stuck; ++i) {
        {
            // Room made after the queue was seen full must be announced.
            std::unique_lock guard(lock);
            const int before = roomCalls;
            if (writer.full()) {
                ++waits;
                drain = true;
                room.notify_all();
                stuck = !room.wait_for(guard, std::chrono::seconds(10), [&] { return roomCalls > before; });
            }
        }
        const qsizetype used = 1 + random->bounded(1 << 19);
        QByteArray chunk = writer.takeBuffer(used + random->bounded(2) * 1000);
        random->fillRange(reinterpret_cast<quint32 *>(chunk.data()), used / 4);
        all.append(chunk.constData(), used);
        writer.push(std::move(chunk), used);
    }
    release();
    const StagedFileWriter::Written written = writer.finish();
    reader.join();
    EXPECT_TRUE(written.error.isEmpty());
    EXPECT_EQ(written.size, all.size());
    Sha256 expected;
    expected.update(all);
    EXPECT_EQ(written.sha256, expected.finalHex());
    EXPECT_TRUE(received == all);
    EXPECT_FALSE(stuck) << "room made in the queue was not announced";
    EXPECT_GT(waits, 0);
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
