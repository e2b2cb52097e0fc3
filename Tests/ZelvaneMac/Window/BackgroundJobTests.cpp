#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"

namespace zelvane {
namespace {

TEST(BackgroundJob, OnlyTheNewestGenerationIsAppliedAndTheOthersReportDropped) {
    qtWidgetApp();
    QObject receiver;
    JobGeneration generations;
    std::atomic<bool> release{false};
    int applied = -1, appliedCount = 0, droppedCount = 0;
    // The first job is held until the second one has been started, so it arrives superseded.
    runInBackground(
        &receiver, generations,
        [&] {
            while (!release.load()) std::this_thread::yield();
            return 1;
        },
        [&](int v) { applied = v, ++appliedCount; }, [&] { ++droppedCount; });
    runInBackground(&receiver, generations, [] { return 2; }, [&](int v) { applied = v, ++appliedCount; },
                    [&] { ++droppedCount; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return appliedCount == 1; }));
    release = true;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return droppedCount == 1; }));
    EXPECT_EQ(applied, 2);
    EXPECT_EQ(appliedCount, 1);
}

TEST(BackgroundJob, AResultForAReceiverThatWentAwayIsDroppedQuietly) {
    qtWidgetApp();
    JobGeneration generations;
    std::atomic<bool> finished{false};
    bool applied = false;
    {
        auto receiver = std::make_unique<QObject>();
        runInBackground(
            receiver.get(), generations,
            [&] {
                finished = true;
                return 7;
            },
            [&](int) { applied = true; });
    }
    ASSERT_TRUE(pumpWidgetsUntil([&] { return finished.load(); }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(applied);
}

}  // namespace
}  // namespace zelvane
