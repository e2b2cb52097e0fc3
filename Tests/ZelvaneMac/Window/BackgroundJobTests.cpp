#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "OnScopeExit.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"

namespace zelvane {
namespace {

// What jobs held up by a test share with it. The jobs keep it alive, and the test lets them go on
// every way out: a job must neither wait for good nor write into a frame that is gone.
struct Held {
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> sawCancel{false};
};

std::shared_ptr<Held> makeHeld() { return std::make_shared<Held>(); }
void letGo(const std::shared_ptr<Held>& held) { held->release = true; }

TEST(BackgroundJob, OnlyTheNewestGenerationIsAppliedAndTheOthersReportDropped) {
    qtWidgetApp();
    QObject receiver;
    JobGeneration generations;
    const auto held = makeHeld();
    testsupport::OnScopeExit letGoOnEveryWayOut([held] { letGo(held); });
    int applied = -1, appliedCount = 0, droppedCount = 0;
    // The first job is held until the second one has been started, so it arrives superseded.
    runInBackground(
        &receiver, generations,
        [held] {
            while (!held->release.load()) std::this_thread::yield();
            return 1;
        },
        [&](int v) { applied = v, ++appliedCount; }, [&] { ++droppedCount; });
    runInBackground(&receiver, generations, [] { return 2; }, [&](int v) { applied = v, ++appliedCount; },
                    [&] { ++droppedCount; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return appliedCount == 1; }));
    letGo(held);
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
    const auto first = makeHeld();
    int applied = -1, droppedCount = 0;
    runInBackground(
        &receiver, generations,
        [first](const CancelFlag& cancel) {
            first->started = true;
            // Without the flag this job would never end.
            while (!cancel.isSet()) std::this_thread::yield();
            first->sawCancel = true;
            return 1;
        },
        [&](int v) { applied = v; }, [&] { ++droppedCount; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return first->started.load(); }));
    runInBackground(
        &receiver, generations, [](const CancelFlag& cancel) { return cancel.isSet() ? -2 : 2; },
        [&](int v) { applied = v; }, [&] { ++droppedCount; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return applied != -1 && droppedCount == 1; }));
    EXPECT_TRUE(first->sawCancel.load());
    EXPECT_EQ(applied, 2);

    // An owner that goes away (with its receiver) stops what it started.
    const auto ownedJob = makeHeld();
    {
        QObject ownedReceiver;
        JobGeneration owned;
        runInBackground(
            &ownedReceiver, owned,
            [ownedJob](const CancelFlag& cancel) {
                ownedJob->started = true;
                while (!cancel.isSet()) std::this_thread::yield();
                ownedJob->finished = true;
                return 0;
            },
            [](int) {});
        ASSERT_TRUE(pumpWidgetsUntil([&] { return ownedJob->started.load(); }));
    }
    ASSERT_TRUE(pumpWidgetsUntil([&] { return ownedJob->finished.load(); }));
}

// Jobs that stand alone (folder icons, file actions): none supersedes another, each result is
// applied, and one whose receiver went away is dropped.
TEST(BackgroundJob, StandAloneJobsAreAllAppliedWhileTheirReceiverLives) {
    qtWidgetApp();
    QObject receiver;
    const auto held = makeHeld();
    testsupport::OnScopeExit letGoOnEveryWayOut([held] { letGo(held); });
    std::vector<int> applied;
    runInBackground(
        &receiver,
        [held] {
            while (!held->release.load()) std::this_thread::yield();
            return 1;
        },
        [&](int v) { applied.push_back(v); });
    runInBackground(&receiver, [] { return 2; }, [&](int v) { applied.push_back(v); });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return applied.size() == 1; }));
    letGo(held);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return applied.size() == 2; }));
    EXPECT_EQ(applied, (std::vector<int>{2, 1}));

    bool appliedLate = false;
    {
        QObject shortLived;
        runInBackground(
            &shortLived,
            [held] {
                while (!held->release.load()) std::this_thread::yield();
                held->finished = true;
                return 3;
            },
            [&](int) { appliedLate = true; });
    }
    ASSERT_TRUE(pumpWidgetsUntil([&] { return held->finished.load(); }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(appliedLate);
}

}  // namespace
}  // namespace zelvane
