#include "platform/Json.h"
#include "platform/QtPasteboard.h"
#include "platform/QtScheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

TEST(Json, ConventionsForIdsAndDates)
{
    const QUuid id = QUuid::fromString(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
    EXPECT_EQ(Json::uuidString(id), QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    EXPECT_EQ(Json::parseUuid(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e")), id);
    EXPECT_EQ(Json::parseUuid(QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}")), std::nullopt);
    EXPECT_EQ(Json::parseUuid(QJsonValue(5)), std::nullopt);

    const QDateTime local(QDate(2026, 3, 1), QTime(10, 20, 30, 999), QTimeZone(3600));
    EXPECT_EQ(Json::dateString(local), QStringLiteral("2026-03-01T09:20:30Z"));
    const auto parsed = Json::parseDate(QStringLiteral("2026-03-01T09:20:30Z"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, Json::truncatedToSeconds(local));
    EXPECT_EQ(Json::parseDate(QStringLiteral("yesterday")), std::nullopt);
}

TEST(Json, TypedReadersTreatNullAndWrongTypesAsAbsent)
{
    const QJsonObject o{{"s", "text"}, {"n", QJsonValue::Null}, {"b", true}, {"i", 3}, {"f", 2.5}};
    EXPECT_EQ(Json::string(o, "n"), std::nullopt);
    EXPECT_EQ(Json::string(o, "b"), std::nullopt);
    EXPECT_EQ(Json::integer(o, "i"), 3);
    EXPECT_EQ(Json::integer(o, "f"), std::nullopt);
    EXPECT_EQ(Json::number(o, "f"), 2.5);
    EXPECT_EQ(Json::compact(QJsonObject{{"b", 1}, {"a", "x"}}), QByteArray(R"({"a":"x","b":1})"));
}

TEST(QtScheduler, RunsAfterTheDelayAndStopsWhenTheHandleGoes)
{
    QtScheduler s;
    bool fired = false;
    int ticks = 0;
    const double start = s.now();
    auto once = s.after(0.02, [&] { fired = true; });
    auto cancelled = s.after(0.01, [&] { ADD_FAILURE() << "cancelled timer fired"; });
    cancelled.reset();
    auto repeating = s.every(0.01, [&] { ++ticks; });
    QElapsedTimer guard;
    guard.start();
    while ((!fired || ticks < 3) && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_TRUE(fired);
    EXPECT_GE(ticks, 3);
    EXPECT_GE(s.now() - start, 0.02);
    repeating.reset();
    const int after = ticks;
    guard.restart();
    while (guard.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ticks, after);
}

TEST(QtScheduler, ActionMayDropItsOwnHandle)
{
    QtScheduler s;
    std::unique_ptr<ScheduledTask> task;
    bool ran = false;
    task = s.after(0, [&] {
        task.reset();
        ran = true;
    });
    QElapsedTimer guard;
    guard.start();
    while (!ran && guard.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_TRUE(ran);
}

TEST(QtPasteboard, SnapshotRestoresEveryType)
{
    QtPasteboard board;
    PasteboardContents original;
    original.items = {{{QStringLiteral("text/plain"), QByteArray("plain words")},
                       {QStringLiteral("text/html"), QByteArray("<b>rich</b>")},
                       {QStringLiteral("application/x-orvel-test"), QByteArray("\x01\x02", 2)}}};
    board.write(original);
    const PasteboardContents snapshot = board.contents();
    EXPECT_EQ(snapshot.items.value(0).value(QStringLiteral("application/x-orvel-test")), QByteArray("\x01\x02", 2));

    board.setString(QStringLiteral("transcript"));
    board.write(snapshot);
    EXPECT_EQ(board.string(), QStringLiteral("plain words"));
    EXPECT_EQ(board.contents().items.value(0).value(QStringLiteral("text/html")), QByteArray("<b>rich</b>"));
    board.clear();
    EXPECT_EQ(board.string(), std::nullopt);
}
