#include "platform/QtPasteboard.h"
#include "platform/QtScheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

// Json's conventions are walked by the stores' and the protocol's tests.
TEST(QtScheduler, RunsAfterTheDelayStopsWhenTheHandleGoesAndMayBeDroppedByItsAction)
{
    QtScheduler s;
    bool fired = false;
    int ticks = 0;
    const double start = s.now();
    auto once = s.after(0.02, [&] { fired = true; });
    auto cancelled = s.after(0.01, [&] { ADD_FAILURE() << "cancelled timer fired"; });
    cancelled.reset();
    auto repeating = s.every(0.01, [&] { ++ticks; });
    // An action may drop its own handle.
    bool ran = false;
    std::unique_ptr<ScheduledTask> self = s.after(0, [&] {
        self.reset();
        ran = true;
    });
    QElapsedTimer guard;
    guard.start();
    while ((!fired || !ran || ticks < 3) && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_TRUE(fired);
    EXPECT_TRUE(ran);
    EXPECT_GE(ticks, 3);
    EXPECT_GE(s.now() - start, 0.02);
    repeating.reset();
    const int after = ticks;
    guard.restart();
    while (guard.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ticks, after);
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
