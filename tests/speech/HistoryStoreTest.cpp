#include "TempDataHome.h"
#include "TestFiles.h"
#include "speech/AppPaths.h"
#include "platform/StoreFile.h"
#include "speech/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

HistoryItem item(const char *uuid, const char *date, const char *text, double duration = 1.5,
                 const char *model = "pocket")
{
    HistoryItem i;
    i.id = QUuid::fromString(QLatin1String(uuid));
    i.createdAt = QDateTime::fromString(QLatin1String(date), Qt::ISODate);
    i.text = QString::fromUtf8(text);
    i.duration = duration;
    i.modelID = QLatin1String(model);
    return i;
}

const char *kA = "11111111-2222-3333-4444-555555555555";
const char *kB = "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE";
const char *kC = "0F0F0F0F-0000-4000-8000-000000000001";

} // namespace

TEST(HistoryStore, FileFormatIsPrettySortedWithUpperCaseIdsAndWholeSecondDates)
{
    TempDataHome home;
    HistoryStore store;
    // The first start has nothing and writes nothing.
    EXPECT_TRUE(store.items().isEmpty());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));
    HistoryItem kept = item(kB, "2026-03-01T09:30:00Z", "with audio", 2.25, "studio");
    kept.id = QUuid::fromString(QStringLiteral("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee"));
    kept.createdAt = QDateTime::fromString(QStringLiteral("2026-03-01T10:30:00.750+01:00"), Qt::ISODate);
    kept.audioFileName = QStringLiteral("kept.wav");
    store.insertFront(item(kA, "2026-02-01T08:00:00Z", "plain"));
    store.insertFront(kept);
    ASSERT_TRUE(store.save().ok());

    const QByteArray expected = R"([
    {
        "audioFileName": "kept.wav",
        "createdAt": "2026-03-01T09:30:00Z",
        "duration": 2.25,
        "id": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE",
        "modelID": "studio",
        "text": "with audio"
    },
    {
        "createdAt": "2026-02-01T08:00:00Z",
        "duration": 1.5,
        "id": "11111111-2222-3333-4444-555555555555",
        "modelID": "pocket",
        "text": "plain"
    }
]
)";
    EXPECT_EQ(readFile(AppPaths::history()).toStdString(), expected.toStdString());

    HistoryStore again;
    ASSERT_EQ(again.items().size(), 2);
    EXPECT_EQ(again.items()[0].audioFileName, std::optional<QString>(QStringLiteral("kept.wav")));
    EXPECT_EQ(again.items()[0].createdAt, QDateTime::fromString(QStringLiteral("2026-03-01T09:30:00Z"), Qt::ISODate));
    EXPECT_EQ(again.items()[1], store.items()[1]);
    // Null is an absent audio file name.
    const auto nullAudio = HistoryStore::decode(
        R"([{"id":"11111111-2222-3333-4444-555555555555","createdAt":"2026-01-01T00:00:00Z","text":"t","duration":1,"modelID":"m","audioFileName":null}])");
    ASSERT_TRUE(nullAudio.has_value());
    EXPECT_FALSE((*nullAudio)[0].audioFileName.has_value());
}

TEST(HistoryStore, LoadsNewestFirstKeepingTheOrderOfEqualTimes)
{
    TempDataHome home;
    HistoryStore writer;
    writer.insertFront(item(kA, "2026-01-01T00:00:00Z", "old"));
    writer.insertFront(item(kB, "2026-05-01T00:00:00Z", "tie first"));
    writer.insertFront(item(kC, "2026-05-01T00:00:00Z", "tie second"));
    // Written out of order on purpose.
    QList<HistoryItem> shuffled = {writer.items()[2], writer.items()[1], writer.items()[0]};
    writeFile(AppPaths::history(), HistoryStore::encode(shuffled));

    HistoryStore store;
    QStringList texts;
    for (const auto &i : store.items())
        texts << i.text;
    EXPECT_EQ(texts, (QStringList{"tie first", "tie second", "old"}));
}

TEST(HistoryStore, EveryUnreadableFileIsKeptAsideUnderItsOwnNameAndTheUserIsTold)
{
    TempDataHome home;
    const QByteArray good = HistoryStore::encode({item(kA, "2026-01-01T00:00:00Z", "fine")});
    QJsonArray array = QJsonDocument::fromJson(good).array();
    QJsonObject bad = array[0].toObject();
    bad.remove(QStringLiteral("modelID"));
    array.append(bad);
    const QByteArray first = QJsonDocument(array).toJson();

    const QByteArray broken[] = {first, "not json", "{}", "[1]",
                                 R"([{"id":"not-a-uuid","createdAt":"2026-01-01T00:00:00Z","text":"t","duration":1,"modelID":"m"}])",
                                 R"([{"id":"11111111-2222-3333-4444-555555555555","createdAt":"yesterday","text":"t","duration":1,"modelID":"m"}])",
                                 R"([{"id":"11111111-2222-3333-4444-555555555555","createdAt":"2026-01-01T00:00:00Z","text":"t","duration":"1","modelID":"m"}])"};
    for (const QByteArray &bytes : broken)
        EXPECT_FALSE(HistoryStore::decode(bytes).has_value()) << bytes.toStdString();

    // Twice broken, twice kept: the second copy never replaces the first.
    for (const QByteArray &bytes : {first, QByteArray("not json")}) {
        writeFile(AppPaths::history(), bytes);
        HistoryStore store;
        EXPECT_TRUE(store.items().isEmpty());
        EXPECT_EQ(readFile(AppPaths::history()), bytes); // untouched until a save
        store.insertFront(item(kB, "2026-02-01T00:00:00Z", "new"));
        EXPECT_TRUE(store.save().ok());
    }
    const QString aside = AppPaths::history() + QStringLiteral(".unreadable");
    EXPECT_EQ(readFile(aside), first);
    EXPECT_EQ(readFile(aside + QStringLiteral("-2")), QByteArray("not json"));
    const QString told = StorageNotices::instance().texts().join(QLatin1Char('\n'));
    EXPECT_TRUE(told.contains(aside) && told.contains(aside + QStringLiteral("-2"))) << told.toStdString();
    HistoryStore reloaded;
    ASSERT_EQ(reloaded.items().size(), 1);
    EXPECT_EQ(reloaded.items()[0].text, QStringLiteral("new"));
}

TEST(HistoryStore, DeleteRemovesTheItemAndOnlyItsOwnAudioFileAndRewritesTheFile)
{
    TempDataHome home;
    HistoryStore store;
    HistoryItem a = item(kA, "2026-01-01T00:00:00Z", "a");
    a.audioFileName = QStringLiteral("a.wav");
    HistoryItem b = item(kB, "2026-01-02T00:00:00Z", "b");
    b.audioFileName = QStringLiteral("../outside.txt");
    store.insertFront(a);
    store.insertFront(b);
    store.insertFront(a); // the same id twice: both go
    ASSERT_TRUE(store.save().ok());
    writeFile(AppPaths::recordings() + QStringLiteral("/a.wav"), "RIFF");
    writeFile(AppPaths::root() + QStringLiteral("/outside.txt"), "keep me");
    // Deleting an unknown item still rewrites a file changed behind the store's back.
    writeFile(AppPaths::history(), "[]");
    store.deleteItem(item(kC, "2026-01-01T00:00:00Z", "c"));
    EXPECT_EQ(HistoryStore::decode(readFile(AppPaths::history()))->size(), 3);

    QSignalSpy changed(&store, &HistoryStore::itemsChanged);
    store.deleteItem(a);
    ASSERT_EQ(store.items().size(), 1);
    EXPECT_EQ(store.items()[0].id, b.id);
    EXPECT_FALSE(QFile::exists(AppPaths::recordings() + QStringLiteral("/a.wav")));
    EXPECT_EQ(changed.count(), 1);

    // A name from the file that points outside the recordings folder is never followed.
    store.deleteItem(b);
    EXPECT_TRUE(store.items().isEmpty());
    EXPECT_TRUE(QFile::exists(AppPaths::root() + QStringLiteral("/outside.txt")));
    EXPECT_EQ(HistoryStore::decode(readFile(AppPaths::history()))->size(), 0);
}

// What stands at the path is never read past its size nor replaced: a folder or a FIFO stays,
// the items wait in memory and are saved once the path is free; a link is moved aside, never
// followed (a link to /dev/zero once kept the program reading at start-up).
TEST(HistoryStore, APathThatIsNoFileIsNeverReplacedAndTheItemsWaitInMemory)
{
    TempDataHome home;
    (void)AppPaths::prepare();
    const QString path = AppPaths::history();
    for (const bool fifo : {false, true}) {
        if (fifo)
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            writeFile(path + QStringLiteral("/inside.txt"), "mine");
        HistoryStore store;
        store.insertFront(item(kA, "2026-01-01T00:00:00Z", "waiting"));
        const auto saved = store.save();
        ASSERT_FALSE(saved.ok());
        EXPECT_TRUE(saved.error().contains(path)) << saved.error().toStdString();
        EXPECT_TRUE(StorageNotices::instance().texts().contains(saved.error()));
        EXPECT_TRUE(fifo ? QFileInfo(path).exists() && !QFileInfo(path).isFile()
                         : readFile(path + QStringLiteral("/inside.txt")) == "mine");
        EXPECT_EQ(store.items().size(), 1);

        // Freed, the next save writes what memory holds and the message goes.
        fifo ? QFile::remove(path) : QDir(path).removeRecursively();
        ASSERT_TRUE(store.save().ok());
        EXPECT_FALSE(StorageNotices::instance().texts().contains(saved.error()));
        EXPECT_EQ(HistoryStore::decode(readFile(path))->size(), 1);
        QFile::remove(path);
    }

    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    HistoryStore store;
    EXPECT_TRUE(store.items().isEmpty());
    store.insertFront(item(kA, "2026-01-01T00:00:00Z", "after the link"));
    ASSERT_TRUE(store.save().ok());
    EXPECT_EQ(QFileInfo(path + QStringLiteral(".unreadable")).symLinkTarget(), QStringLiteral("/dev/zero"));
    EXPECT_EQ(HistoryStore::decode(readFile(path))->size(), 1);
}
