// Without libFuzzer: the ordinary test build runs a target over every file of its corpus, so
// inputs that once crashed stay tested. A fault aborts the test under the sanitizers.
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(FuzzCorpus, EveryFileIsDecodedWithoutFault)
{
    int files = 0;
    QDirIterator it(QStringLiteral(ORVEL_FUZZ_CORPUS), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        ++files;
    }
    EXPECT_GT(files, 0);
    std::printf("replayed %d files\n", files);
}
