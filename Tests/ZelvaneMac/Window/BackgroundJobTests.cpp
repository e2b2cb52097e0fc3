#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

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

// A job that takes its cancel flag stops once a newer job supersedes it, instead of running to
// the end for a result nobody takes; jobs that do not take it run as before.
TEST(BackgroundJob, ASupersededJobSeesItsCancelFlagAndANewerOneDoesNot) {
    qtWidgetApp();
    QObject receiver;
    JobGeneration generations;
    std::atomic<bool> started{false};
    std::atomic<bool> firstSawCancel{false};
    int applied = -1, droppedCount = 0;
    runInBackground(
        &receiver, generations,
        [&](const CancelFlag& cancel) {
            started = true;
            // Without the flag this job would never end.
            while (!cancel.isSet()) std::this_thread::yield();
            firstSawCancel = true;
            return 1;
        },
        [&](int v) { applied = v; }, [&] { ++droppedCount; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return started.load(); }));
    runInBackground(
        &receiver, generations, [](const CancelFlag& cancel) { return cancel.isSet() ? -2 : 2; },
        [&](int v) { applied = v; }, [&] { ++droppedCount; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return applied != -1 && droppedCount == 1; }));
    EXPECT_TRUE(firstSawCancel.load());
    EXPECT_EQ(applied, 2);

    // An owner that goes away (with its receiver) stops what it started.
    std::atomic<bool> stopped{false};
    {
        QObject ownedReceiver;
        JobGeneration owned;
        std::atomic<bool> running{false};
        runInBackground(
            &ownedReceiver, owned,
            [&](const CancelFlag& cancel) {
                running = true;
                while (!cancel.isSet()) std::this_thread::yield();
                stopped = true;
                return 0;
            },
            [](int) {});
        ASSERT_TRUE(pumpWidgetsUntil([&] { return running.load(); }));
    }
    ASSERT_TRUE(pumpWidgetsUntil([&] { return stopped.load(); }));
}

// Jobs that stand alone (folder icons, file actions): none supersedes another, each result is
// applied, and one whose receiver went away is dropped.
TEST(BackgroundJob, StandAloneJobsAreAllAppliedWhileTheirReceiverLives) {
    qtWidgetApp();
    QObject receiver;
    std::atomic<bool> release{false};
    std::vector<int> applied;
    runInBackground(
        &receiver,
        [&] {
            while (!release.load()) std::this_thread::yield();
            return 1;
        },
        [&](int v) { applied.push_back(v); });
    runInBackground(&receiver, [] { return 2; }, [&](int v) { applied.push_back(v); });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return applied.size() == 1; }));
    release = true;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return applied.size() == 2; }));
    EXPECT_EQ(applied, (std::vector<int>{2, 1}));

    std::atomic<bool> finished{false};
    bool appliedLate = false;
    {
        QObject shortLived;
        runInBackground(
            &shortLived,
            [&] {
                while (!release.load()) std::this_thread::yield();
                finished = true;
                return 3;
            },
            [&](int) { appliedLate = true; });
    }
    ASSERT_TRUE(pumpWidgetsUntil([&] { return finished.load(); }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(appliedLate);
}

}  // namespace
}  // namespace zelvane
