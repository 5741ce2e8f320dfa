// The window's rebuilds of reported tables: one per table for the reports of one event-loop turn,
// spaced while records stream in, and none lost.
#include "app/table_refreshes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <thread>

#include "tests/app/app_fixture.h"

namespace {

using namespace std::chrono_literals;

class TableRefreshesTest : public ::testing::Test {
  protected:
    void SetUp() override { app_test::Application(); }

    // Runs the events until `count` rebuilds happened or 20 s passed.
    void WaitForRebuilds(qsizetype count) {
        const QDeadlineTimer deadline(20000);
        while (rebuilt.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }

    QStringList rebuilt;
    std::atomic<bool> streaming = false;
    TableRefreshes refreshes{[this](const QString& name) { rebuilt << name; },
                             [this] { return streaming.load(); }, 2s, nullptr};
};

TEST_F(TableRefreshesTest, ReportsOfOneTurnFromAnyThreadRebuildEachTableOnceInTheirOrder) {
    std::thread client([this] {
        for (int i = 0; i < 50; ++i) {
            refreshes.Report(QStringLiteral("gps"));
            refreshes.Report(i % 2 == 0 ? QStringLiteral("gpsug") : QStringLiteral("gps"));
        }
    });
    client.join();
    refreshes.Report(QStringLiteral("gpeople"));
    EXPECT_TRUE(rebuilt.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(rebuilt, QStringList({"gps", "gpsug", "gpeople"}));

    // Without an import the next report is rebuilt at the next turn, however soon it comes.
    refreshes.Report(QStringLiteral("gps"));
    QCoreApplication::processEvents();
    EXPECT_EQ(rebuilt.size(), 4);
}

TEST_F(TableRefreshesTest, WhileRecordsStreamInTheRebuildsAreSpacedAndTheLastReportsStillRebuilt) {
    streaming = true;
    refreshes.Report(QStringLiteral("gps"));
    QCoreApplication::processEvents();
    ASSERT_EQ(rebuilt, QStringList({"gps"}));

    // Within the gap after that batch the next reports wait, then come as one batch.
    for (int i = 0; i < 20; ++i) {
        refreshes.Report(QStringLiteral("gps"));
        QCoreApplication::processEvents();
    }
    refreshes.Report(QStringLiteral("gpsug"));
    QCoreApplication::processEvents();
    EXPECT_EQ(rebuilt.size(), 1);
    WaitForRebuilds(3);
    EXPECT_EQ(rebuilt, QStringList({"gps", "gps", "gpsug"}));
}

}  // namespace
